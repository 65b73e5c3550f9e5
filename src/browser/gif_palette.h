// The palette of an animated GIF, made for the whole clip: the colours of every picture
// are counted, cut into at most 255 boxes by the median of their longest side, and each
// box gives its mean colour. Pictures are then mapped onto it, exactly where the clip
// had few enough colours and with a light ordered dither where it had more.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantrel::browser {

class ClipPalette {
 public:
  ClipPalette();

  // Counts the colours of one picture: rows of 32-bit pixels, blue in the first byte
  // (Qt's RGB32 in memory), stride bytes apart.
  void Count(const std::uint8_t* pixels, int width, int height, std::size_t stride);
  // Makes the palette from everything counted: at most maxColours (1 to 256) colours.
  void Build(int maxColours);
  // The colours as 0xFFRRGGBB; empty before Build.
  const std::vector<std::uint32_t>& Colours() const { return colours_; }
  // True when every colour counted has an entry of its own (no dither is needed).
  bool Exact() const { return exact_; }

  // Maps one picture (as for Count) onto the palette: one index per pixel into out,
  // rows outStride bytes apart.
  void Map(const std::uint8_t* pixels, int width, int height, std::size_t stride, std::uint8_t* out,
           std::size_t outStride);

 private:
  struct Bin {
    std::uint64_t count = 0;
    std::uint64_t sum[3] = {0, 0, 0};  // red, green, blue
  };
  std::uint8_t Nearest(std::uint32_t bin);

  std::vector<Bin> bins_;             // 6 bits per channel
  std::vector<std::uint32_t> colours_;
  std::vector<std::int16_t> nearest_;  // per bin, -1 until asked
  bool exact_ = false;
};

}  // namespace vantrel::browser
