// The generated movies must be well-formed SWF files: the header's length and frame
// count agree with the tags, every tag lies inside the file, and objects are placed
// only from characters defined before them.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <vector>

#include "app/make_movies/movies.h"
#include "app/make_movies/swf_builder.h"

namespace vantrel::make_movies {
namespace {

struct Walk {
  bool ok = false;
  int frames = 0;
  int headerFrames = 0;
  double frameRate = 0;
  int widthPx = 0, heightPx = 0;
  int placements = 0;
  bool endSeen = false;
  std::string problem;
};

std::uint32_t U16(const std::vector<std::uint8_t>& b, std::size_t at) { return b[at] | (b[at + 1] << 8); }

Walk WalkMovie(const std::vector<std::uint8_t>& b) {
  Walk w;
  if (b.size() < 21 || b[0] != 'F' || b[1] != 'W' || b[2] != 'S') return w.problem = "signature", w;
  const std::uint32_t length = U16(b, 4) | (U16(b, 6) << 16);
  if (length != b.size()) return w.problem = "length", w;
  const int bits = b[8] >> 3;
  auto field = [&](int index) {
    std::int64_t v = 0;
    for (int i = 0; i < bits; ++i) {
      const int bit = 5 + bits * index + i;
      v = (v << 1) | ((b[8 + bit / 8] >> (7 - bit % 8)) & 1);
    }
    if (v & (1ll << (bits - 1))) v -= (1ll << bits);
    return v;
  };
  w.widthPx = static_cast<int>((field(1) - field(0)) / 20);
  w.heightPx = static_cast<int>((field(3) - field(2)) / 20);
  std::size_t pos = 8 + (5 + 4 * bits + 7) / 8;
  w.frameRate = U16(b, pos) / 256.0;
  w.headerFrames = static_cast<int>(U16(b, pos + 2));
  pos += 4;
  std::set<std::uint32_t> defined;
  while (pos + 2 <= b.size()) {
    const std::uint32_t head = U16(b, pos);
    pos += 2;
    const std::uint32_t code = head >> 6;
    std::size_t size = head & 0x3F;
    if (size == 0x3F) {
      if (pos + 4 > b.size()) return w.problem = "long header", w;
      size = U16(b, pos) | (U16(b, pos + 2) << 16);
      pos += 4;
    }
    if (pos + size > b.size()) return w.problem = "tag past end", w;
    if (code == 0) {
      w.endSeen = true;
      pos += size;
      break;
    }
    if (code == 1) ++w.frames;
    if (code == 32) defined.insert(U16(b, pos));
    if (code == 26) {
      const std::uint8_t flags = b[pos];
      if ((flags & 0x02) && !defined.count(U16(b, pos + 3))) return w.problem = "undefined character", w;
      ++w.placements;
    }
    pos += size;
  }
  if (pos != b.size()) return w.problem = "bytes after End", w;
  w.ok = w.endSeen;
  return w;
}

TEST(MakeMovies, EveryMovieIsWellFormed) {
  const auto movies = AllMovies();
  ASSERT_EQ(movies.size(), 6u);
  for (const MovieFile& movie : movies) {
    const Walk w = WalkMovie(movie.bytes);
    EXPECT_TRUE(w.ok) << movie.relativePath << ": " << w.problem;
    EXPECT_EQ(w.frames, w.headerFrames) << movie.relativePath;
    EXPECT_GT(w.widthPx, 0) << movie.relativePath;
  }
}

TEST(MakeMovies, DemoIsAnAnimatedLoopAndTheSameOnEveryRun) {
  const auto first = MakeOrbitsMovie();
  EXPECT_EQ(first, MakeOrbitsMovie());
  const Walk w = WalkMovie(first);
  ASSERT_TRUE(w.ok) << w.problem;
  EXPECT_EQ(w.headerFrames, 120);
  EXPECT_DOUBLE_EQ(w.frameRate, 30.0);
  EXPECT_EQ(w.widthPx, 480);
  EXPECT_EQ(w.heightPx, 360);
  EXPECT_GT(w.placements, w.headerFrames * 10);  // things move in every frame
}

TEST(MakeMovies, BitWriterPacksSignedFieldsMostSignificantFirst) {
  BitWriter out;
  out.Bits(5, 5);     // 00101
  out.Signed(-1, 3);  // 111
  out.Signed(3, 3);   // 011
  EXPECT_EQ(out.Bytes(), (std::vector<std::uint8_t>{0x2F, 0x60}));
  EXPECT_EQ(SignedBits({0}), 1);
  EXPECT_EQ(SignedBits({-1}), 1);
  EXPECT_EQ(SignedBits({1}), 2);
  EXPECT_EQ(SignedBits({-9600, 9600}), 15);
}

}  // namespace
}  // namespace vantrel::make_movies
