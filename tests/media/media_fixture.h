// A media context over a temporary home: cache, user and Flash folders of its own.
#pragma once

#include <filesystem>
#include <string>

#include "media/media_context.h"
#include "support/temp_home.h"

namespace vantrel::testing {

struct MediaFixture {
  TempHome home;
  media::MediaContext context;

  MediaFixture() {
    context.CachePath = home.Path() + "cache/";
    context.UserPath = home.Path() + "user/";
    context.FlashPath = home.Path() + "flash/";
    std::filesystem::create_directories(context.CachePath);
    std::filesystem::create_directories(context.UserPath);
    context.TimeOfDay = [] { return std::string("14:03:59"); };
  }
  std::string Write(const std::string& name, const std::string& bytes) { return home.WriteFile(name, bytes); }
};

}  // namespace vantrel::testing
