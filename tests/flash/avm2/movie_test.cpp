// ActionScript 3 movies in the player: DoABC blocks run when their frame comes, in file
// order, on the player's clock; the trace goes where the host's trace goes.
#include <gtest/gtest.h>

#include "abc_writer.h"
#include "flash/flash_control.h"
#include "flash/movie_loader.h"
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

}  // namespace
}  // namespace vantrel::flash::avm2
