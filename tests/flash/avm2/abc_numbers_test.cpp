// Integer constants of ABC files as compilers write them.
#include <gtest/gtest.h>

#include "abc_writer.h"
#include "flash/avm2/abc.h"

namespace vantrel::flash::avm2 {
namespace {

TEST(Avm2Abc, IntConstantsKeepTheirBitsWhateverTheirLength) {
  testing::AbcWriter w;
  // 0x100000 takes three bytes with the top bit of the last one set: still positive.
  for (const std::int32_t v : {63, 64, 0x100000, 0x200000, 0x7FFFFFFF, -1, -0x100000, INT32_MIN}) w.Int(v);
  w.Script(w.Method({0x47}));
  std::string error;
  const auto file = ParseAbc(w.Finish(), &error);
  ASSERT_TRUE(file) << error;
  EXPECT_EQ(file->ints, (std::vector<std::int32_t>{0, 63, 64, 0x100000, 0x200000, 0x7FFFFFFF, -1, -0x100000, INT32_MIN}));
}

}  // namespace
}  // namespace vantrel::flash::avm2
