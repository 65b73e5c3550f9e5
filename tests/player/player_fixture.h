// A player wired to test doubles in a temporary home: real identification, a real
// options file, fake control, window, shell, dialogs, browser and host.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/log.h"
#include "core/options.h"
#include "core/paths.h"
#include "media/media_context.h"
#include "player/player.h"
#include "player_fakes.h"
#include "support/player_fixtures.h"
#include "support/temp_home.h"

namespace vantrel::player::testing {

class PlayerTest : public ::testing::Test {
 protected:
  PlayerTest() {
    paths = core::LayoutPaths(home.Path() + "app/", "Vantrel");
    for (const std::string& folder : {paths.AppPath, paths.MediaPath, paths.FlashPath, paths.UserPath, paths.CachePath})
      std::filesystem::create_directories(folder);
    options = std::make_unique<core::OptionsStore>(home.Path() + "options.conf");
    media.CachePath = paths.CachePath;
    media.UserPath = paths.UserPath;
    media.FlashPath = paths.FlashPath;
    media.Options = options.get();
  }

  // The player, made on first use so a test can set options and fakes first.
  Player& P() {
    if (!player) {
      PlayerServices services;
      services.paths = paths;
      services.options = options.get();
      services.log = &log;
      services.media = &media;
      services.isGenericProjector = [this](const std::string& path) { return genericProjectors.count(path) != 0; };
      services.flash = &flash;
      services.window = &window;
      services.shell = &shell;
      services.dialogs = &dialogs;
      services.browser = &browser;
      services.host = &host;
      services.web = web;
      services.random = [this] {
        if (randomValues.empty()) return 0.0;
        const double value = randomValues.front();
        randomValues.erase(randomValues.begin());
        return value;
      };
      services.logObserver = [this](std::string_view line) { lines.emplace_back(line); };
      player = std::make_unique<Player>(std::move(services));
    }
    return *player;
  }

  // Writes a movie and returns its path.
  std::string Movie(const std::string& name, const vantrel::testing::MovieSpec& spec = {}) {
    return home.WriteFile(name, vantrel::testing::MakeMovie(spec));
  }

  // Loads path through the loading road as the playlist does.
  void Load(std::string path, bool browserPage = false) {
    std::string caption;
    P().LoadFlash(path, caption, browserPage);
  }

  bool Logged(const std::string& line) const {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  vantrel::testing::TempHome home;
  core::Paths paths;
  std::unique_ptr<core::OptionsStore> options;
  core::ExecutionLog log;
  media::MediaContext media;
  std::set<std::string> genericProjectors;
  std::vector<double> randomValues;
  std::vector<std::string> lines;
  FakeFlash flash;
  FakeWindow window;
  FakeShell shell;
  FakeDialogs dialogs;
  FakeBrowser browser;
  FakeHost host;
  WebPort* web = nullptr;  // set before the first P() to fetch web addresses
  std::unique_ptr<Player> player;
};

}  // namespace vantrel::player::testing
