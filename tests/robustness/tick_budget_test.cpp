// The player's own limits on a tick's scripts, as every build but the fuzzing one has
// them (the fuzz build cuts them so that endless loops stay cheap per input).
#include <gtest/gtest.h>

#include <string>

#include "flash/movie_test_support.h"
#include "flash/script/script_clock.h"

namespace vantrel::flash {
namespace {

using testing::Actions;
using testing::Bytes;
using testing::PutBytes;

TEST(TickBudget, AnEndlessCountingLoopRunsTheMoviesTimeThenTheMovieGoesOn) {
  // ScriptLimits gives the movie's scripts one second a frame. Frame 1:
  // `for (;;) i = i + 1`; frame 2 traces. The loop ends after a second of processor
  // time (whatever the machine's speed), then the next frame runs.
  Actions loop;
  loop.PushString("i").PushString("i").GetVariable().Op(0x50).SetVariable();
  const int back = -static_cast<int>(loop.Data().size() + 5);
  loop.OpWith(0x99, {static_cast<std::uint8_t>(back & 0xFF), static_cast<std::uint8_t>((back >> 8) & 0xFF)});
  Bytes tags = testing::Tag(65, {0, 1, 1, 0});
  PutBytes(tags, Actions().PushString("i").PushNumber(0).SetVariable().Raw(loop.Data()).Tag());
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, Actions().TraceString("frame 2").Stop().Tag());
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  const double start = ThreadCpuSeconds();
  auto run = StartMovie(tags, 2);
  ASSERT_TRUE(run->player);
  const double seconds = ThreadCpuSeconds() - start;
  EXPECT_GE(seconds, 1.0);
  EXPECT_LT(seconds, 3.0);
  EXPECT_GT(std::stod(RootVariable(*run, "i")), 1000);
  run->player->Tick();
  EXPECT_EQ(run->traces, std::vector<std::string>{"frame 2"});
}

}  // namespace
}  // namespace vantrel::flash
