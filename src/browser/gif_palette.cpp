#include "browser/gif_palette.h"

#include <algorithm>
#include <array>

namespace vantrel::browser {

namespace {

constexpr int kBits = 6;
constexpr int kSide = 1 << kBits;
constexpr int kShift = 8 - kBits;

std::uint32_t BinOf(int red, int green, int blue) {
  return static_cast<std::uint32_t>((red >> kShift) << (2 * kBits) | (green >> kShift) << kBits | (blue >> kShift));
}

int Channel(std::uint32_t bin, int channel) {
  return static_cast<int>(bin >> (kBits * (2 - channel))) & (kSide - 1);
}

// A box of the median cut: a run of the sorted bin list.
struct Box {
  std::size_t first = 0, last = 0;  // [first, last) in the list
  std::uint64_t count = 0;
  int axis = 0;   // the channel it spans most
  int range = 0;  // how far, in bins
};

// A 4x4 ordered dither, in steps of a sixteenth around zero.
constexpr std::array<std::array<int, 4>, 4> kBayer = {{{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}}};

}  // namespace

ClipPalette::ClipPalette() : bins_(static_cast<std::size_t>(kSide) * kSide * kSide) {}

void ClipPalette::Count(const std::uint8_t* pixels, int width, int height, std::size_t stride) {
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* row = pixels + static_cast<std::size_t>(y) * stride;
    for (int x = 0; x < width; ++x) {
      const int blue = row[x * 4], green = row[x * 4 + 1], red = row[x * 4 + 2];
      Bin& bin = bins_[BinOf(red, green, blue)];
      ++bin.count;
      bin.sum[0] += static_cast<std::uint64_t>(red);
      bin.sum[1] += static_cast<std::uint64_t>(green);
      bin.sum[2] += static_cast<std::uint64_t>(blue);
    }
  }
}

void ClipPalette::Build(int maxColours) {
  maxColours = std::clamp(maxColours, 1, 256);
  std::vector<std::uint32_t> used;
  for (std::uint32_t i = 0; i < bins_.size(); ++i)
    if (bins_[i].count > 0) used.push_back(i);
  colours_.clear();
  nearest_.assign(bins_.size(), -1);
  exact_ = used.size() <= static_cast<std::size_t>(maxColours);
  if (used.empty()) {
    colours_.push_back(0xFF000000u);
    return;
  }
  const auto measure = [&](Box& box) {
    int low[3] = {kSide, kSide, kSide}, high[3] = {-1, -1, -1};
    box.count = 0;
    for (std::size_t i = box.first; i < box.last; ++i) {
      box.count += bins_[used[i]].count;
      for (int c = 0; c < 3; ++c) {
        low[c] = std::min(low[c], Channel(used[i], c));
        high[c] = std::max(high[c], Channel(used[i], c));
      }
    }
    box.axis = 0;
    for (int c = 1; c < 3; ++c)
      if (high[c] - low[c] > high[box.axis] - low[box.axis]) box.axis = c;
    box.range = high[box.axis] - low[box.axis];
  };
  std::vector<Box> boxes(1, Box{0, used.size()});
  measure(boxes[0]);
  while (boxes.size() < static_cast<std::size_t>(maxColours)) {
    // The box with the most pixels times the widest spread is cut next.
    Box* widest = nullptr;
    for (Box& box : boxes) {
      if (box.last - box.first < 2 || box.range == 0) continue;
      if (!widest || box.count * static_cast<std::uint64_t>(box.range) >
                         widest->count * static_cast<std::uint64_t>(widest->range))
        widest = &box;
    }
    if (!widest) break;
    const int axis = widest->axis;
    std::sort(used.begin() + static_cast<std::ptrdiff_t>(widest->first),
              used.begin() + static_cast<std::ptrdiff_t>(widest->last),
              [&](std::uint32_t a, std::uint32_t b) { return Channel(a, axis) < Channel(b, axis); });
    // The cut falls at the median pixel, leaving at least one bin on each side.
    std::uint64_t seen = 0;
    std::size_t cut = widest->first + 1;
    for (std::size_t i = widest->first; i + 1 < widest->last; ++i) {
      seen += bins_[used[i]].count;
      cut = i + 1;
      if (seen * 2 >= widest->count) break;
    }
    Box upper{cut, widest->last};
    widest->last = cut;
    measure(*widest);
    measure(upper);
    boxes.push_back(upper);
  }
  for (std::size_t b = 0; b < boxes.size(); ++b) {
    std::uint64_t sum[3] = {0, 0, 0}, count = 0;
    for (std::size_t i = boxes[b].first; i < boxes[b].last; ++i) {
      const Bin& bin = bins_[used[i]];
      for (int c = 0; c < 3; ++c) sum[c] += bin.sum[c];
      count += bin.count;
      nearest_[used[i]] = static_cast<std::int16_t>(b);
    }
    std::uint32_t colour = 0xFF000000u;
    for (int c = 0; c < 3; ++c) colour |= static_cast<std::uint32_t>((sum[c] + count / 2) / count) << (8 * (2 - c));
    colours_.push_back(colour);
  }
  // With fewer boxes than bins, a bin's own box is not always its nearest colour; those
  // are looked up again when a picture asks.
  if (!exact_) std::fill(nearest_.begin(), nearest_.end(), static_cast<std::int16_t>(-1));
}

std::uint8_t ClipPalette::Nearest(std::uint32_t bin) {
  std::int16_t& known = nearest_[bin];
  if (known >= 0) return static_cast<std::uint8_t>(known);
  const int red = Channel(bin, 0) << kShift | 1 << (kShift - 1), green = Channel(bin, 1) << kShift | 1 << (kShift - 1),
            blue = Channel(bin, 2) << kShift | 1 << (kShift - 1);
  int best = 0;
  long bestDistance = -1;
  for (std::size_t i = 0; i < colours_.size(); ++i) {
    const int dr = static_cast<int>(colours_[i] >> 16 & 255) - red, dg = static_cast<int>(colours_[i] >> 8 & 255) - green,
              db = static_cast<int>(colours_[i] & 255) - blue;
    // Weighted as the eye weighs the channels.
    const long distance = 3L * dr * dr + 4L * dg * dg + 2L * db * db;
    if (bestDistance < 0 || distance < bestDistance) {
      bestDistance = distance;
      best = static_cast<int>(i);
    }
  }
  known = static_cast<std::int16_t>(best);
  return static_cast<std::uint8_t>(best);
}

void ClipPalette::Map(const std::uint8_t* pixels, int width, int height, std::size_t stride, std::uint8_t* out,
                      std::size_t outStride) {
  if (colours_.empty()) Build(255);
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* row = pixels + static_cast<std::size_t>(y) * stride;
    std::uint8_t* target = out + static_cast<std::size_t>(y) * outStride;
    for (int x = 0; x < width; ++x) {
      int blue = row[x * 4], green = row[x * 4 + 1], red = row[x * 4 + 2];
      if (!exact_) {
        // Half a palette step either way, at most: gradients mix their two nearest
        // colours, flat areas of a palette colour stay as they are.
        const int offset = kBayer[static_cast<std::size_t>(y & 3)][static_cast<std::size_t>(x & 3)] - 8;
        red = std::clamp(red + offset, 0, 255);
        green = std::clamp(green + offset, 0, 255);
        blue = std::clamp(blue + offset, 0, 255);
      }
      target[x] = Nearest(BinOf(red, green, blue));
    }
  }
}

}  // namespace vantrel::browser
