// The player's own limits on a tick's scripts, as every build but the fuzzing one has
// them (the fuzz build cuts them so that endless loops stay cheap per input).
#include <gtest/gtest.h>

#include <string>

#include "flash/movie_test_support.h"

namespace vantrel::flash {
namespace {

using testing::Actions;
using testing::Bytes;
using testing::PutBytes;

TEST(TickBudget, AnEndlessCountingLoopRunsTheWholeBudgetThenTheMovieGoesOn) {
  // Frame 1: `for (;;) i = i + 1` as six actions a round (two pushes, get, increment,
  // set, jump back); frame 2 traces. A loop stopped by the count of actions gets
  // exactly budget / 6 rounds; one stopped by the second of processor time (slow
  // sanitizer builds) fewer, but never a tenth as few.
  Actions loop;
  loop.PushString("i").PushString("i").GetVariable().Op(0x50).SetVariable();
  const int back = -static_cast<int>(loop.Data().size() + 5);
  loop.OpWith(0x99, {static_cast<std::uint8_t>(back & 0xFF), static_cast<std::uint8_t>((back >> 8) & 0xFF)});
  Bytes tags = Actions().PushString("i").PushNumber(0).SetVariable().Raw(loop.Data()).Tag();
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, Actions().TraceString("frame 2").Stop().Tag());
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  auto run = StartMovie(tags, 2);
  ASSERT_TRUE(run->player);
  const double rounds = std::stod(RootVariable(*run, "i"));
  constexpr double kFullRounds = Player::kInstructionsPerTick / 6.0;
  EXPECT_LE(rounds, kFullRounds + 1);
  EXPECT_GT(rounds, kFullRounds / 10);
  run->player->Tick();
  EXPECT_EQ(run->traces, std::vector<std::string>{"frame 2"});
}

}  // namespace
}  // namespace vantrel::flash
