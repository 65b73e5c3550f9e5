// ActionScript 3 movies in the player: DoABC blocks run when their frame comes, in file
// order, on the player's clock; the trace goes where the host's trace goes.
#include <gtest/gtest.h>

#include "abc_writer.h"
#include "flash/control/flash_control.h"
#include "flash/display/player.h"
#include "flash/character/definition.h"
#include "flash/swf/movie_loader.h"
#include "support/swf_movie_writer.h"

namespace vantrel::flash::avm2 {
namespace {

using testing::AbcWriter;

// A DoABC2 tag whose script traces text when it runs (eagerly: flags 0).
testing::Bytes TracingBlock(const std::string& text, std::uint32_t flags = 0) {
  AbcWriter w;
  const std::uint32_t trace = w.Name("trace");
  testing::Bytes code = {0xD0, 0x30, 0x5D};
  AbcWriter::U30(code, trace);
  code.push_back(0x2C);
  AbcWriter::U30(code, w.String(text));
  code.push_back(0x4F);
  AbcWriter::U30(code, trace);
  code.push_back(1);
  code.push_back(0x47);
  w.Script(w.Method(code));
  testing::Bytes body;
  testing::PutU32(body, flags);
  testing::PutString(body, "block");
  testing::PutBytes(body, w.Finish());
  return testing::Tag(82, body);
}

TEST(Avm2Movie, BlocksRunWhenTheirFrameComesAndTheModelKeepsThem) {
  testing::Bytes tags = testing::FileAttributes(true);
  testing::PutBytes(tags, TracingBlock("first"));
  testing::PutBytes(tags, TracingBlock("lazy", 1));
  testing::PutBytes(tags, TracingBlock("second"));
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, TracingBlock("frame 2"));
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::End());
  const testing::Bytes swf = testing::MakeMovie(tags, 100, 100, 2, 10);

  const auto movie = LoadMovieFromBytes(swf, nullptr);
  ASSERT_TRUE(movie);
  EXPECT_TRUE(movie->actionScript3);
  ASSERT_EQ(movie->root.frames.size(), 2u);
  ASSERT_EQ(movie->root.frames[0].abc.size(), 3u);
  EXPECT_EQ(movie->root.frames[0].abc[1].flags, 1u);
  EXPECT_EQ(movie->root.frames[0].abc[1].name, "block");

  FlashControl control;
  std::vector<std::string> lines;
  control.OnTrace = [&](const std::string& line) { lines.push_back(line); };
  ASSERT_TRUE(control.LoadMovieData(swf));
  for (int i = 0; i < 2 && lines.size() < 3; ++i) control.Tick();
  EXPECT_EQ(lines, (std::vector<std::string>{"first", "second", "frame 2"}));
  // The loop back to frame 1 does not run its blocks again.
  control.Tick();
  control.Tick();
  EXPECT_EQ(lines.size(), 3u);
}

// The movie's script host is the ActionScript 3 machine's: the sprites its timeline
// places join the frame loop through it and play, and no object gets a script cell of
// the ActionScript 1/2 machine.
TEST(Avm2Movie, TheTimelinesSpritesPlayThroughTheMoviesHost) {
  testing::Bytes sprite;
  for (int i = 0; i < 3; ++i) testing::PutBytes(sprite, testing::ShowFrame());
  testing::PutBytes(sprite, testing::End());
  testing::Bytes tags = testing::FileAttributes(true);
  testing::PutBytes(tags, testing::DefineSprite(5, 3, sprite));
  testing::Place place;
  place.character = 5;
  place.name = "clip";
  testing::PutBytes(tags, testing::PlaceObject2(place));
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::End());
  FlashControl control;
  ASSERT_TRUE(control.LoadMovieData(testing::MakeMovie(tags, 100, 100, 2, 10)));
  MovieClip& root = control.Engine()->Root();
  auto* clip = static_cast<MovieClip*>(root.ChildByName("clip", true));
  ASSERT_NE(clip, nullptr);
  EXPECT_EQ(clip->CurrentFrame(), 0);
  control.Tick();
  EXPECT_EQ(clip->CurrentFrame(), 1);
  control.Tick();
  EXPECT_EQ(clip->CurrentFrame(), 2);
  EXPECT_EQ(root.ScriptCell(), nullptr);
  EXPECT_EQ(clip->ScriptCell(), nullptr);
}

TEST(Avm2Movie, ACorruptBlockIsReportedAndTheMovieGoesOn) {
  testing::Bytes tags = testing::FileAttributes(true);
  testing::PutBytes(tags, testing::Tag(82, {0, 0, 0, 0, 'x', 0, 16, 0, 46, 0, 5}));
  testing::PutBytes(tags, TracingBlock("after"));
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::End());
  FlashControl control;
  std::vector<std::string> lines;
  control.OnTrace = [&](const std::string& line) { lines.push_back(line); };
  ASSERT_TRUE(control.LoadMovieData(testing::MakeMovie(tags, 100, 100, 1, 10)));
  control.Tick();
  control.Tick();
  // The refusal is printed in the trace output, as the debugger player does.
  EXPECT_EQ(lines, (std::vector<std::string>{"VerifyError: Error #1107: The ABC data is corrupt, attempt to read out of bounds.",
                                             "after"}));
}

// A lazy block whose script loops for ever, declaring the method `name`: the script
// runs when the document class `name` is looked up, from outside any script.
testing::Bytes EndlessLazyBlock(const std::string& name) {
  AbcWriter w;
  testing::Bytes loop = {0xD0, 0x30, 0x09, 0x10};  // getlocal0, pushscope, label, jump back
  AbcWriter::S24(loop, -5);
  testing::Bytes empty = {0x47};
  const std::uint32_t method = w.Method(empty);
  w.Script(w.Method(loop), {{w.Name(name), method}});
  testing::Bytes body;
  testing::PutU32(body, 1);
  testing::PutString(body, "endless");
  testing::PutBytes(body, w.Finish());
  return testing::Tag(82, body);
}

// Whatever stops a script ends at the machine's door, whichever door the player used:
// a script halted by the movie's time limit while the player looked up the document
// class (it used to leave the machine and end the process) reports the reference's
// #1502, and the next frame runs.
TEST(Avm2Movie, AScriptHaltedWhileThePlayerLooksUpAClassEndsThereAndTheMovieGoesOn) {
  testing::Bytes tags = testing::FileAttributes(true);
  testing::PutBytes(tags, testing::Tag(65, {0, 1, 1, 0}));  // ScriptLimits: one second
  testing::PutBytes(tags, EndlessLazyBlock("Test"));
  testing::PutBytes(tags, testing::Tag(76, {1, 0, 0, 0, 'T', 'e', 's', 't', 0}));  // SymbolClass 0 -> Test
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, TracingBlock("frame 2"));
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::End());
  FlashControl control;
  std::vector<std::string> lines;
  control.OnTrace = [&](const std::string& line) { lines.push_back(line); };
  ASSERT_TRUE(control.LoadMovieData(testing::MakeMovie(tags, 100, 100, 2, 10)));
  control.Tick();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "Error: Error #1502: A script has executed for longer than the default timeout period of 15 seconds.");
  EXPECT_EQ(lines[1], "frame 2");
}

// Calls nested past the limit throw #1023 to the script; making that error is a call
// too, and at the limit it used to overflow again without end (a crash).
TEST(Avm2Movie, EndlessRecursionIsAnErrorTheScriptCanCatch) {
  AbcWriter w;
  const std::uint32_t f = w.Name("f");
  // function f() { f(); }   script: try { f() } catch (e) { trace("caught") }
  testing::Bytes recurse = {0xD0, 0x30, 0x5D};
  AbcWriter::U30(recurse, f);
  recurse.push_back(0x4F);
  AbcWriter::U30(recurse, f);
  recurse.push_back(0);
  recurse.push_back(0x47);
  const std::uint32_t method = w.Method(recurse);
  const std::uint32_t trace = w.Name("trace");
  testing::Bytes code = {0xD0, 0x30, 0x5D};
  AbcWriter::U30(code, f);
  code.push_back(0x4F);
  AbcWriter::U30(code, f);
  code.push_back(0);
  const auto to = static_cast<std::uint32_t>(code.size());
  code.push_back(0x47);
  const auto target = static_cast<std::uint32_t>(code.size());
  code.insert(code.end(), {0xD0, 0x30, 0x5D});
  AbcWriter::U30(code, trace);
  code.push_back(0x2C);
  AbcWriter::U30(code, w.String("caught"));
  code.push_back(0x4F);
  AbcWriter::U30(code, trace);
  code.push_back(1);
  code.push_back(0x47);
  w.Script(w.Method(code, {{2, to, target, 0, 0}}), {{f, method}});
  testing::Bytes body;
  testing::PutU32(body, 0);
  testing::PutString(body, "recursion");
  testing::PutBytes(body, w.Finish());
  testing::Bytes tags = testing::FileAttributes(true);
  testing::PutBytes(tags, testing::Tag(82, body));
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::End());
  FlashControl control;
  std::vector<std::string> lines;
  control.OnTrace = [&](const std::string& line) { lines.push_back(line); };
  ASSERT_TRUE(control.LoadMovieData(testing::MakeMovie(tags, 100, 100, 1, 10)));
  EXPECT_EQ(lines, std::vector<std::string>{"caught"});
}

}  // namespace
}  // namespace vantrel::flash::avm2
