// The pixels of scripts' bitmaps and their simple operations. Colours are stored
// premultiplied, so a partly transparent colour
// reads back as the player gives it: rounded when stored, rounded with halves down when
// read (0x80BBBBBB stays 0x80BBBBBB, 0xAABBCCDD reads back as 0xAABBCCDC).
#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "flash/character/bitmap.h"

namespace vantrel::flash {

std::uint32_t PremultiplyArgb(std::uint32_t argb) {
  const std::uint32_t a = argb >> 24;
  if (a == 255) return argb;
  if (a == 0) return 0;
  const double f = a / 255.0;
  const auto channel = [&](int shift) {
    return static_cast<std::uint32_t>(std::lround(((argb >> shift) & 255) * f)) << shift;
  };
  return (a << 24) | channel(16) | channel(8) | channel(0);
}

std::uint32_t UnmultiplyArgb(std::uint32_t premultiplied) {
  const std::uint32_t a = premultiplied >> 24;
  if (a == 255) return premultiplied;
  if (a == 0) return 0;
  const auto channel = [&](int shift) {
    // To the nearest value, halves going down.
    const std::uint32_t v = (((premultiplied >> shift) & 255) * 255 + (a - 1) / 2) / a;
    return std::min<std::uint32_t>(v, 255) << shift;
  };
  return (a << 24) | channel(16) | channel(8) | channel(0);
}

BitmapPixels::BitmapPixels(int width, int height, bool transparent, std::uint32_t fillArgb)
    : image_(width, height, QImage::Format_ARGB32_Premultiplied), transparent_(transparent) {
  image_.fill(Store(fillArgb));
}

BitmapPixels::BitmapPixels(const QImage& image, bool transparent)
    : image_(image.convertToFormat(QImage::Format_ARGB32_Premultiplied)), transparent_(transparent) {
  if (transparent_) return;
  for (int y = 0; y < Height(); ++y) {
    auto* line = reinterpret_cast<std::uint32_t*>(image_.scanLine(y));
    for (int x = 0; x < Width(); ++x) line[x] = Store(UnmultiplyArgb(line[x]));
  }
}

void BitmapPixels::Dispose() {
  image_ = QImage();
  disposed_ = true;
  Changed();
}

std::uint32_t BitmapPixels::Store(std::uint32_t argb) const {
  return transparent_ ? PremultiplyArgb(argb) : (argb | 0xff000000u);
}

// An opaque bitmap gives its pixels as stored (the player's threshold can leave
// partly transparent ones in it).
std::uint32_t BitmapPixels::GetPixel32(int x, int y) const {
  return transparent_ ? UnmultiplyArgb(Raw(x, y)) : Raw(x, y);
}

void BitmapPixels::SetPixel32(int x, int y, std::uint32_t argb) {
  if (!Contains(x, y)) return;
  SetRaw(x, y, Store(argb));
  Changed();
}

void BitmapPixels::FillRect(int x, int y, int width, int height, std::uint32_t argb) {
  const QRect area = QRect(x, y, std::max(width, 0), std::max(height, 0)).intersected(image_.rect());
  if (area.isEmpty()) return;
  const std::uint32_t value = Store(argb);
  for (int row = area.top(); row <= area.bottom(); ++row) {
    auto* line = reinterpret_cast<std::uint32_t*>(image_.scanLine(row));
    std::fill(line + area.left(), line + area.right() + 1, value);
  }
  Changed();
}

void BitmapPixels::FloodFill(int x, int y, std::uint32_t argb) {
  if (!Contains(x, y)) return;
  const std::uint32_t from = Raw(x, y);
  const std::uint32_t to = Store(argb);
  if (from == to) return;
  // Whole runs of a row at a time, with a stack of seeds: no recursion, bounded memory.
  std::vector<std::pair<int, int>> seeds{{x, y}};
  while (!seeds.empty()) {
    auto [sx, sy] = seeds.back();
    seeds.pop_back();
    auto* line = reinterpret_cast<std::uint32_t*>(image_.scanLine(sy));
    if (line[sx] != from) continue;
    int left = sx, right = sx;
    while (left > 0 && line[left - 1] == from) --left;
    while (right + 1 < Width() && line[right + 1] == from) ++right;
    std::fill(line + left, line + right + 1, to);
    for (const int ny : {sy - 1, sy + 1}) {
      if (ny < 0 || ny >= Height()) continue;
      const auto* next = reinterpret_cast<const std::uint32_t*>(image_.constScanLine(ny));
      for (int nx = left; nx <= right; ++nx) {
        if (next[nx] == from && (nx == left || next[nx - 1] != from)) seeds.emplace_back(nx, ny);
      }
    }
  }
  Changed();
}

void BitmapPixels::Scroll(int dx, int dy) {
  const int width = Width(), height = Height();
  if (disposed_ || (dx == 0 && dy == 0) || std::abs(dx) >= width || std::abs(dy) >= height) return;
  const QImage before = image_.copy();
  for (int y = std::max(0, dy); y < std::min(height, height + dy); ++y) {
    const auto* src = reinterpret_cast<const std::uint32_t*>(before.constScanLine(y - dy));
    auto* dst = reinterpret_cast<std::uint32_t*>(image_.scanLine(y));
    for (int x = std::max(0, dx); x < std::min(width, width + dx); ++x) dst[x] = src[x - dx];
  }
  Changed();
}

void BitmapPixels::Noise(std::int32_t seed, int low, int high, int channels, bool grayScale) {
  // The player's generator: Park and Miller's minimal standard (16807 modulo 2^31 - 1),
  // seeded with the seed made positive.
  std::uint32_t state = seed <= 0 ? static_cast<std::uint32_t>(1 - static_cast<std::int64_t>(seed)) : static_cast<std::uint32_t>(seed);
  const std::uint32_t span = static_cast<std::uint32_t>(std::max(0, high - low)) + 1;
  const auto next = [&]() {
    state = static_cast<std::uint32_t>((static_cast<std::uint64_t>(state) * 16807u) % 2147483647u);
    return static_cast<std::uint32_t>((low + state % span) & 255);
  };
  for (int y = 0; y < Height(); ++y) {
    auto* line = reinterpret_cast<std::uint32_t*>(image_.scanLine(y));
    for (int x = 0; x < Width(); ++x) {
      std::uint32_t r = 0, g = 0, b = 0, a = 255;
      if (grayScale) {
        r = g = b = next();
      } else {
        if (channels & 1) r = next();
        if (channels & 2) g = next();
        if (channels & 4) b = next();
      }
      // An opaque bitmap draws no alpha from the generator.
      if ((channels & 8) && transparent_) a = next();
      // Premultiplied in 1/256 steps, as the player's noise does.
      line[x] = a == 255 ? 0xff000000u | (r << 16) | (g << 8) | b
                         : (a << 24) | (((r * a + 128) >> 8) << 16) | (((g * a + 128) >> 8) << 8) |
                               ((b * a + 128) >> 8);
    }
  }
  Changed();
}

namespace {

// Perlin turbulence as the SVG turbulence filter defines it (lattice gradients from
// the Park and Miller generator), one lattice per channel.
class Turbulence {
 public:
  explicit Turbulence(std::int32_t seed) {
    long s = seed;
    if (s <= 0) s = -(s % (kRandM - 1)) + 1;
    if (s > kRandM - 1) s = kRandM - 1;
    for (int k = 0; k < 4; ++k) {
      for (int i = 0; i < kB; ++i) {
        lattice_[i] = i;
        for (int j = 0; j < 2; ++j) {
          s = Random(s);
          gradient_[k][i][j] = static_cast<double>((s % (kB + kB)) - kB) / kB;
        }
        const double length = std::hypot(gradient_[k][i][0], gradient_[k][i][1]);
        if (length > 0) {
          gradient_[k][i][0] /= length;
          gradient_[k][i][1] /= length;
        }
      }
    }
    for (int i = kB - 1; i > 0; --i) {
      s = Random(s);
      std::swap(lattice_[i], lattice_[s % kB]);
    }
    for (int i = 0; i < kB + 2; ++i) {
      lattice_[kB + i] = lattice_[i];
      for (int k = 0; k < 4; ++k) {
        gradient_[k][kB + i][0] = gradient_[k][i][0];
        gradient_[k][kB + i][1] = gradient_[k][i][1];
      }
    }
  }

  struct Stitch {
    int width = 0, height = 0, wrapX = 0, wrapY = 0;
  };

  double Noise(int channel, double x, double y, const Stitch* stitch) const {
    const double tx = x + kPerlinN, ty = y + kPerlinN;
    int bx0 = static_cast<int>(tx), by0 = static_cast<int>(ty);
    int bx1 = bx0 + 1, by1 = by0 + 1;
    const double rx0 = tx - static_cast<long>(tx), ry0 = ty - static_cast<long>(ty);
    const double rx1 = rx0 - 1, ry1 = ry0 - 1;
    if (stitch) {
      if (bx0 >= stitch->wrapX) bx0 -= stitch->width;
      if (bx1 >= stitch->wrapX) bx1 -= stitch->width;
      if (by0 >= stitch->wrapY) by0 -= stitch->height;
      if (by1 >= stitch->wrapY) by1 -= stitch->height;
    }
    bx0 &= kBM;
    bx1 &= kBM;
    by0 &= kBM;
    by1 &= kBM;
    const int i = lattice_[bx0], j = lattice_[bx1];
    const int b00 = lattice_[i + by0], b10 = lattice_[j + by0], b01 = lattice_[i + by1], b11 = lattice_[j + by1];
    const double sx = rx0 * rx0 * (3 - 2 * rx0), sy = ry0 * ry0 * (3 - 2 * ry0);
    const auto& g = gradient_[channel];
    const double a = Lerp(sx, rx0 * g[b00][0] + ry0 * g[b00][1], rx1 * g[b10][0] + ry0 * g[b10][1]);
    const double b = Lerp(sx, rx0 * g[b01][0] + ry1 * g[b01][1], rx1 * g[b11][0] + ry1 * g[b11][1]);
    return Lerp(sy, a, b);
  }

  static constexpr int kPerlinN = 0x1000;

 private:
  static constexpr int kB = 0x100, kBM = 0xff;
  static constexpr long kRandM = 2147483647, kRandA = 16807, kRandQ = 127773, kRandR = 2836;
  static long Random(long s) {
    s = kRandA * (s % kRandQ) - kRandR * (s / kRandQ);
    if (s <= 0) s += kRandM;
    return s;
  }
  static double Lerp(double t, double a, double b) { return a + t * (b - a); }

  int lattice_[kB + kB + 2] = {};
  double gradient_[4][kB + kB + 2][2] = {};
};

}  // namespace

void BitmapPixels::PerlinNoise(double baseX, double baseY, int octaves, std::int32_t seed, bool stitch, bool fractal,
                               int channels, bool grayScale, const std::vector<double>& offsets) {
  const auto lattice = std::make_unique<Turbulence>(seed);
  const int width = Width(), height = Height();
  double frequencyX = baseX != 0 ? 1 / baseX : 0, frequencyY = baseY != 0 ? 1 / baseY : 0;
  Turbulence::Stitch tile;
  if (stitch) {
    // Frequencies that fit the bitmap a whole number of times, so its edges meet.
    if (frequencyX != 0) {
      const double low = std::floor(width * frequencyX) / width, high = std::ceil(width * frequencyX) / width;
      frequencyX = low > 0 && frequencyX / low < high / frequencyX ? low : high;
    }
    if (frequencyY != 0) {
      const double low = std::floor(height * frequencyY) / height, high = std::ceil(height * frequencyY) / height;
      frequencyY = low > 0 && frequencyY / low < high / frequencyY ? low : high;
    }
  }
  // Octaves past the tenth add less than half a level each: leaving them out bounds the
  // work a movie can ask for without changing what it sees.
  octaves = std::clamp(octaves, 0, 10);
  const int used[4] = {grayScale || (channels & 1) ? 1 : 0, !grayScale && (channels & 2) ? 1 : 0,
                       !grayScale && (channels & 4) ? 1 : 0, (channels & 8) ? 1 : 0};
  for (int y = 0; y < height; ++y) {
    auto* line = reinterpret_cast<std::uint32_t*>(image_.scanLine(y));
    for (int x = 0; x < width; ++x) {
      int values[4] = {0, 0, 0, 255};
      for (int channel = 0; channel < 4; ++channel) {
        if (!used[channel]) continue;
        double sum = 0, ratio = 1, fx = frequencyX, fy = frequencyY;
        Turbulence::Stitch octaveTile;
        if (stitch) {
          octaveTile.width = static_cast<int>(width * fx + 0.5);
          octaveTile.height = static_cast<int>(height * fy + 0.5);
          octaveTile.wrapX = Turbulence::kPerlinN + octaveTile.width;
          octaveTile.wrapY = Turbulence::kPerlinN + octaveTile.height;
        }
        for (int octave = 0; octave < octaves; ++octave) {
          const std::size_t at = static_cast<std::size_t>(octave) * 2;
          const double ox = at < offsets.size() ? offsets[at] : 0, oy = at + 1 < offsets.size() ? offsets[at + 1] : 0;
          const double n = lattice->Noise(channel, (x + ox) * fx, (y + oy) * fy, stitch ? &octaveTile : nullptr);
          sum += (fractal ? n : std::abs(n)) / ratio;
          fx *= 2;
          fy *= 2;
          ratio *= 2;
          if (stitch) {
            octaveTile.width *= 2;
            octaveTile.height *= 2;
            octaveTile.wrapX = 2 * octaveTile.wrapX - Turbulence::kPerlinN;
            octaveTile.wrapY = 2 * octaveTile.wrapY - Turbulence::kPerlinN;
          }
        }
        const double level = fractal ? (sum * 255 + 255) / 2 : sum * 255;
        values[channel] = static_cast<int>(std::clamp(level, 0.0, 255.0));
      }
      if (grayScale) values[1] = values[2] = values[0];
      const std::uint32_t argb = (static_cast<std::uint32_t>(values[3]) << 24) | (values[0] << 16) | (values[1] << 8) |
                                 static_cast<std::uint32_t>(values[2]);
      line[x] = Store(argb);
    }
  }
  Changed();
}

DissolveSequence::DissolveSequence(std::uint32_t count) : count_(count) {
  // Galois shift registers of maximal length: 2^bits - 1 states, never zero.
  static const std::uint32_t kTaps[] = {0,       0,       0x3,      0x6,      0xc,      0x14,     0x30,
                                        0x60,    0xb8,    0x110,    0x240,    0x500,    0x829,    0x100d,
                                        0x2015,  0x6000,  0xd008,   0x12000,  0x20400,  0x40023,  0x90000,
                                        0x140000, 0x300000, 0x420000, 0xe10000};
  int bits = 2;
  while (bits < 24 && ((1u << bits) - 1) < count - 1) ++bits;
  taps_ = kTaps[bits];
  mask_ = (1u << bits) - 1;
}

std::uint32_t DissolveSequence::Step(std::uint32_t state) const {
  const bool low = state & 1;
  state >>= 1;
  return low ? state ^ taps_ : state;
}

std::uint32_t DissolveSequence::Next(std::uint32_t position) const {
  if (count_ <= 2) return count_ - 1;
  std::uint32_t state = position;
  do state = Step(state);
  while (state >= count_);
  return state;
}

std::uint32_t DissolveSequence::Start(std::uint32_t seed) const {
  if (count_ <= 1) return 0;
  // Every shift halves a state above the register; one that empties it starts over full.
  std::uint32_t state = seed;
  while (state == 0 || state >= count_) state = state ? Step(state) : mask_;
  return state;
}

void BitmapDataCharacter::Render(const RenderContext& context) const {
  if (!pixels || pixels->Disposed()) return;
  Bitmap::DrawImage(pixels->Image(), context, smoothing);
}

QRectF BitmapDataCharacter::Bounds(std::uint16_t) const {
  if (size_.isEmpty()) return {};
  return QRectF(0, 0, size_.width() * 20.0, size_.height() * 20.0);
}

bool BitmapDataCharacter::HitTest(QPointF point, std::uint16_t) const { return Bounds().contains(point); }

QPainterPath BitmapDataCharacter::Outline(std::uint16_t) const {
  QPainterPath path;
  path.addRect(Bounds());
  return path;
}

}  // namespace vantrel::flash
