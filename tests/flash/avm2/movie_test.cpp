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

// Plays a one-frame movie whose frame holds w's code (run at once) in control; the
// lines its scripts traced.
std::vector<std::string> RunOneFrame(FlashControl& control, const AbcWriter& w) {
  testing::Bytes block;
  testing::PutU32(block, 0);
  testing::PutString(block, "block");
  testing::PutBytes(block, w.Finish());
  testing::Bytes tags = testing::FileAttributes(true);
  testing::PutBytes(tags, testing::Tag(82, block));
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::End());
  std::vector<std::string> lines;
  control.OnTrace = [&](const std::string& line) { lines.push_back(line); };
  EXPECT_TRUE(control.LoadMovieData(testing::MakeMovie(tags, 100, 100, 1, 10)));
  control.OnTrace = nullptr;
  return lines;
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
  FlashControl control;
  EXPECT_EQ(RunOneFrame(control, w), std::vector<std::string>{"caught"});
}

}  // namespace
// A loop that builds strings makes garbage far faster than frames end: the script
// collects while it runs, and what its frames hold survives (a string only in a local
// register, an object only on the operand stack, the function object a closure runs as,
// whose scope chain it reads after the loop).
TEST(Avm2Movie, ALongScriptCollectsItsGarbageAndKeepsWhatItsFramesHold) {
  AbcWriter w;
  const std::uint32_t trace = w.Name("trace");
  const std::uint32_t length = w.Name("length");
  auto op = [](testing::Bytes& code, std::uint8_t byte, std::uint32_t operand) {
    code.push_back(byte);
    AbcWriter::U30(code, operand);
  };
  // function () { var s = ""; for (var i = 0; i < 2000; i++) s += <64 characters>;
  //               trace("loop done"); return s.length }   (no scope of its own)
  testing::Bytes loop;
  op(loop, 0x2C, w.String(""));
  loop.insert(loop.end(), {0xD5, 0x24, 0x00, 0xD6, 0x10});  // setlocal1 pushbyte 0 setlocal2 jump
  const std::size_t jumpAt = loop.size();
  AbcWriter::S24(loop, 0);
  const std::size_t body = loop.size();
  loop.insert(loop.end(), {0x09, 0xD1});  // label getlocal1
  op(loop, 0x2C, w.String(std::string(64, 'x')));
  loop.insert(loop.end(), {0xA0, 0xD5});  // add setlocal1
  op(loop, 0xC2, 2);                      // inclocal_i 2
  const std::size_t condition = loop.size();
  loop.insert(loop.end(), {0xD2, 0x25});  // getlocal2 pushshort 2000
  AbcWriter::U30(loop, 2000);
  loop.push_back(0x15);  // iflt body
  AbcWriter::S24(loop, static_cast<std::int32_t>(body) - static_cast<std::int32_t>(loop.size() + 3));
  testing::Bytes jump;
  AbcWriter::S24(jump, static_cast<std::int32_t>(condition - (jumpAt + 3)));
  std::copy(jump.begin(), jump.end(), loop.begin() + static_cast<std::ptrdiff_t>(jumpAt));
  op(loop, 0x5D, trace);
  op(loop, 0x2C, w.String("loop done"));
  op(loop, 0x4F, trace);
  loop.push_back(1);
  loop.push_back(0xD1);
  op(loop, 0x66, length);
  loop.push_back(0x48);  // returnvalue
  const std::uint32_t garbage = w.Method(loop);
  // local1 = "kept" + "-" + 7; the stack holds {a: "on" + " stack"} while the closure
  // runs; then trace(local1), trace(that object's a), trace(the closure's result).
  testing::Bytes code = {0xD0, 0x30};
  op(code, 0x2C, w.String("kept"));
  op(code, 0x2C, w.String("-"));
  code.insert(code.end(), {0xA0, 0x24, 0x07, 0xA0, 0xD5});
  op(code, 0x2C, w.String("a"));
  op(code, 0x2C, w.String("on"));
  op(code, 0x2C, w.String(" stack"));
  code.push_back(0xA0);
  op(code, 0x55, 1);        // newobject 1
  op(code, 0x40, garbage);  // newfunction
  code.push_back(0x20);     // pushnull (the receiver)
  op(code, 0x41, 0);        // call 0
  code.push_back(0xD6);     // setlocal2
  op(code, 0x66, w.Name("a"));
  code.push_back(0xD7);     // setlocal3
  for (const std::uint8_t getlocal : {0xD1, 0xD3, 0xD2}) {
    op(code, 0x5D, trace);
    code.push_back(getlocal);
    op(code, 0x4F, trace);
    code.push_back(1);
  }
  code.push_back(0x47);
  w.Script(w.Method(code));
  FlashControl control;
  EXPECT_EQ(RunOneFrame(control, w), (std::vector<std::string>{"loop done", "kept-7", "on stack", "128000"}));
  // The loop made 2000 strings of up to 128000 bytes, 128 MB in all: collected as it
  // went, not at the frame's end only.
  const gc::Heap& heap = control.Engine()->Heap();
  EXPECT_GE(heap.CollectionCount(), 3u);
  EXPECT_LT(heap.Bytes(), std::size_t{40} << 20);
}

}  // namespace vantrel::flash::avm2
