// Helpers of the engine's tests: movies made with the SWF writer, loaded and started.
#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <initializer_list>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "flash/avm1/movie_host.h"
#include "flash/control/script_hosts.h"
#include "flash/display/player.h"
#include "flash/render/renderer.h"
#include "flash/character/definition.h"
#include "flash/swf/movie_loader.h"
#include "support/swf_movie_writer.h"

namespace vantrel::testing {

// Pushes target (a path such as "_root.a") as an object.
inline void PushTarget(Actions& a, const char* target) { a.PushString(target).GetVariable(); }
// tellTarget(path): SetTarget with the path; an empty one goes back.
inline void SetTarget(Actions& a, const std::string& path) {
  Bytes data(path.begin(), path.end());
  data.push_back(0);
  a.OpWith(0x8B, data);
}

// target.method(numbers...), result dropped.
inline void Call(Actions& a, const char* target, const char* method, std::initializer_list<double> args) {
  for (auto it = std::rbegin(args); it != std::rend(args); ++it) a.PushNumber(*it);
  a.PushNumber(static_cast<double>(args.size()));
  PushTarget(a, target);
  a.PushString(method).Op(0x52).Op(0x17);
}

}  // namespace vantrel::testing

namespace vantrel::flash {

struct RunningMovie {
  std::shared_ptr<Movie> movie;
  std::unique_ptr<MovieRuntime> player;
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
  running->player = std::make_unique<MovieRuntime>(running->movie, hooks, MakeScriptHost);
  running->player->Tick();  // the first frame, as a loaded movie shows it
  return running;
}

// A one-frame movie whose frame runs actions, after that frame.
inline std::unique_ptr<RunningMovie> StartFrameScript(const testing::Actions& actions, int version = 8) {
  testing::Bytes tags;
  testing::PutBytes(tags, actions.Tag());
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::End());
  return StartMovie(tags, 1, version);
}

// The running movie's stage drawn into a 100 x 100 image at the quality.
inline QImage DrawStage(const std::unique_ptr<RunningMovie>& run, Quality quality = Quality::Low) {
  QImage image(100, 100, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  if (!run->player) return image;
  QPainter painter(&image);
  ViewOptions options;
  options.quality = quality;
  RenderMovie(painter, image.size(), *run->player, options);
  return image;
}

// A root variable as the script machine prints it ("" for undefined before SWF 7).
inline std::string RootVariable(RunningMovie& run, const std::string& name) {
  auto& machine = avm1::HostOf(*run.player).Machine();
  const int version = run.player->SwfVersion();
  return machine.ToStringAt(machine.GetVariableFrom(avm1::ScriptObjectOf(&run.player->Root()), name, version), version);
}

// The object the file places at depth (its own numbering) on clip; null when none.
inline DisplayObject* ObjectAt(const MovieClip& clip, int depth) { return clip.ChildAt(depth - 16384); }

// Depths of the root's display list as the file numbers them, in order.
inline std::vector<int> Depths(const MovieClip& clip) {
  std::vector<int> out;
  for (const auto& [depth, object] : clip.Children()) out.push_back(depth + 16384);
  return out;
}

// A movie whose one frame places an edit-text field "f" (DefineEditText without a font)
// of widthPx x heightPx pixels at depth 1 with text; flags are the two flag bytes
// (high byte first) besides "has text".
struct FieldSpec {
  int widthPx = 100, heightPx = 20;
  std::uint8_t flagsHigh = 0, flagsLow = 0;
  std::string text;
  int version = 8;
  std::string variable;  // the variable the field is bound to
  testing::Bytes actions;  // tags after the placement (a frame's actions)
};
inline std::unique_ptr<RunningMovie> StartFieldMovie(const FieldSpec& spec) {
  testing::Bytes body;
  testing::PutU16(body, 1);
  testing::PutBytes(body, testing::RectRecord(0, spec.widthPx * 20, 0, spec.heightPx * 20));
  testing::PutU8(body, static_cast<std::uint8_t>(0x80 | spec.flagsHigh));
  testing::PutU8(body, spec.flagsLow);
  testing::PutString(body, spec.variable);
  testing::PutString(body, spec.text);
  testing::Bytes tags;
  testing::PutBytes(tags, testing::Tag(37, body));
  testing::Place place;
  place.depth = 1;
  place.character = 1;
  place.name = "f";
  testing::PutBytes(tags, testing::PlaceObject2(place));
  testing::PutBytes(tags, spec.actions);
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::End());
  return StartMovie(tags, 1, spec.version);
}

}  // namespace vantrel::flash
