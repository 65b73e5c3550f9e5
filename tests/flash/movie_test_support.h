// Helpers of the engine's tests: movies made with the SWF writer, loaded and started.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "flash/movie_loader.h"
#include "flash/movie_player.h"
#include "support/swf_movie_writer.h"

namespace vantrel::flash {

struct RunningMovie {
  std::shared_ptr<Movie> movie;
  std::unique_ptr<MoviePlayer> player;
  std::vector<std::string> traces;
  std::vector<std::pair<std::string, std::string>> commands;
};

inline std::unique_ptr<RunningMovie> StartMovie(const testing::Bytes& tags, int frames, int version = 8) {
  auto running = std::make_unique<RunningMovie>();
  std::string error;
  running->movie = LoadMovieFromBytes(testing::MakeMovie(tags, 100, 100, frames, version), &error);
  EXPECT_TRUE(running->movie) << error;
  if (!running->movie) return running;
  PlayerHooks hooks;
  RunningMovie* raw = running.get();
  hooks.trace = [raw](const std::string& line) { raw->traces.push_back(line); };
  hooks.fsCommand = [raw](const std::string& c, const std::string& a) { raw->commands.emplace_back(c, a); };
  running->player = std::make_unique<MoviePlayer>(running->movie, hooks);
  running->player->Start();
  return running;
}

// Depths of the root's display list, in order.
inline std::vector<int> Depths(const MovieClip& clip) {
  std::vector<int> out;
  for (const auto& [depth, object] : clip.DisplayList()) out.push_back(depth);
  return out;
}

}  // namespace vantrel::flash
