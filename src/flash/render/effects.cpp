#include "flash/render/effects.h"

#include <cstring>
#include <iterator>

#include <algorithm>
#include <array>
#include <cmath>

#include "flash/raster/vector_state.h"

namespace vantrel::flash {

namespace {

constexpr int kMaxPasses = 15;
constexpr int kMaxBlurWidth = 512;  // device pixels; a blur of 255 at scale 2
constexpr int kMaxKernel = 15;

inline int A(std::uint32_t p) { return static_cast<int>(p >> 24); }
inline int R(std::uint32_t p) { return static_cast<int>((p >> 16) & 0xff); }
inline int G(std::uint32_t p) { return static_cast<int>((p >> 8) & 0xff); }
inline int B(std::uint32_t p) { return static_cast<int>(p & 0xff); }

inline std::uint32_t Pack(double a, double r, double g, double b) {
  // Rounds half away from zero like lround, inline: this runs for every filtered pixel.
  const auto to = [](double v) -> std::uint32_t {
    const double x = v * 255.0;
    if (!(x > 0)) return 0;
    if (x >= 254.5) return 255;
    return static_cast<std::uint32_t>(x + 0.5);
  };
  const std::uint32_t alpha = to(a);
  // Premultiplied colour never exceeds its alpha.
  const auto channel = [&](double v) { return std::min(to(v), alpha); };
  return alpha << 24 | channel(r) << 16 | channel(g) << 8 | channel(b);
}

// The separable blend functions on straight colour values in 0..1.
double Separable(std::uint8_t mode, double cs, double cd) {
  switch (static_cast<BlendMode>(mode)) {
    case BlendMode::Multiply: return cs * cd;
    case BlendMode::Screen: return cs + cd - cs * cd;
    case BlendMode::Lighten: return std::max(cs, cd);
    case BlendMode::Darken: return std::min(cs, cd);
    case BlendMode::Difference: return std::abs(cs - cd);
    case BlendMode::Add: return std::min(1.0, cs + cd);
    case BlendMode::Subtract: return std::max(0.0, cd - cs);
    case BlendMode::Overlay: return cd <= 0.5 ? 2 * cs * cd : 1 - 2 * (1 - cs) * (1 - cd);
    case BlendMode::HardLight: return cs <= 0.5 ? 2 * cs * cd : 1 - 2 * (1 - cs) * (1 - cd);
    default: return cs;
  }
}

// Straight RGBA colour to a premultiplied pixel with its alpha scaled by alpha (0..1).
std::uint32_t Premultiplied(const Rgba& color, double alpha) {
  const double a = color.a / 255.0 * std::clamp(alpha, 0.0, 1.0);
  return Pack(a, color.r / 255.0 * a, color.g / 255.0 * a, color.b / 255.0 * a);
}

std::uint32_t Scale(std::uint32_t p, double f) {
  return Pack(A(p) / 255.0 * f, R(p) / 255.0 * f, G(p) / 255.0 * f, B(p) / 255.0 * f);
}

// top drawn over bottom (both premultiplied).
std::uint32_t Over(std::uint32_t top, std::uint32_t bottom) {
  const double k = 1 - A(top) / 255.0;
  return Pack((A(top) + A(bottom) * k) / 255.0, (R(top) + R(bottom) * k) / 255.0, (G(top) + G(bottom) * k) / 255.0,
              (B(top) + B(bottom) * k) / 255.0);
}

// The player's blur box: width pixels wide (fractional widths weigh the two outermost
// pixels by what is left over), centred on the pixel. The width is kept to five bits
// below its leading one (steps of 1/32 pixel up to 2, 1/16 up to 4, ...), rounded down,
// which is what the reference images show for widths such as 2.1 or 9.7.
struct BlurBox {
  int inner = 0;   // pixels -inner..inner weigh fully
  int edge = 0;    // weight of the pixels at -(inner+1) and inner+1, in 1/256
  int total = 0;   // sum of the weights, in 1/256
  bool Blurs() const { return total > 256; }
};

BlurBox MakeBlurBox(double width) {
  BlurBox box;
  if (!(width > 1)) return box;  // one pixel or less leaves the line as it is
  width = std::min(width, static_cast<double>(kMaxBlurWidth));
  const double step = std::exp2(std::floor(std::log2(width))) / 32;
  width = std::floor(width / step) * step;
  box.total = static_cast<int>(std::lround(width * 256));
  box.inner = (box.total / 256 - 1) / 2;
  box.edge = (box.total - (2 * box.inner + 1) * 256) / 2;
  return box;
}

// floor(n / d) by one multiplication, exact for the blur's sums: n * d stays below
// 2^44 (n is at most 255 times d, and d at most 512 * 256).
class Divider {
 public:
  explicit Divider(std::uint32_t d) : magic_(d > 0 ? (std::uint64_t{1} << 44) / d + 1 : 0) {}
  std::uint8_t operator()(std::uint64_t n) const { return static_cast<std::uint8_t>((n * magic_) >> 44); }

 private:
  std::uint64_t magic_;
};

// One blur pass along a line of count samples stride bytes apart; what lies beyond
// the line is transparent. The result is rounded down, as the player's is. line is
// scratch: the samples with the box's reach of zeros on both sides.
void BlurLine(std::uint8_t* data, int count, int stride, const BlurBox& box, const Divider& divide,
              std::vector<std::uint8_t>& line) {
  const int n = box.inner;
  line.assign(static_cast<std::size_t>(count + 2 * n + 2), 0);
  std::uint8_t* p = line.data() + n + 1;  // p[-n-1] .. p[count+n] are readable
  for (int i = 0; i < count; ++i) p[i] = data[static_cast<std::ptrdiff_t>(i) * stride];
  std::uint32_t sum = 0;
  for (int i = -n; i <= n; ++i) sum += p[i];
  const std::uint64_t edge = static_cast<std::uint64_t>(box.edge);
  for (int i = 0; i < count; ++i) {
    const std::uint64_t weighted = std::uint64_t{sum} * 256 + edge * (p[i - n - 1] + p[i + n + 1]);
    data[static_cast<std::ptrdiff_t>(i) * stride] = divide(weighted);
    sum += p[i + n + 1] - p[i - n];
  }
}

// The same pass down every column of columns bytes, all columns at once so that the
// image is read row by row, writing rows first..last-1 of the image's height rows. Rows
// within the box's reach of those must hold this pass's input; beyond the image is
// transparent. rows is scratch.
void BlurColumns(std::uint8_t* data, int columns, int height, int bytesPerLine, int first, int last,
                 const BlurBox& box, const Divider& divide, std::vector<std::uint8_t>& rows,
                 std::vector<std::uint32_t>& sums) {
  if (first >= last) return;
  const int n = box.inner;
  const std::size_t width = static_cast<std::size_t>(columns);
  // The rows first-n-1 .. last+n, zeros outside the image.
  rows.assign(width * static_cast<std::size_t>(last - first + 2 * n + 2), 0);
  const auto padded = [&](int y) { return rows.data() + width * static_cast<std::size_t>(y - first + n + 1); };
  for (int y = std::max(0, first - n - 1); y < std::min(height, last + n + 1); ++y)
    std::copy(data + static_cast<std::ptrdiff_t>(y) * bytesPerLine,
              data + static_cast<std::ptrdiff_t>(y) * bytesPerLine + columns, padded(y));
  sums.assign(width, 0);
  std::uint32_t* sum = sums.data();
  for (int i = first - n; i <= first + n; ++i) {
    const std::uint8_t* r = padded(i);
    for (std::size_t x = 0; x < width; ++x) sum[x] += r[x];
  }
  const std::uint64_t edge = static_cast<std::uint64_t>(box.edge);
  for (int i = first; i < last; ++i) {
    const std::uint8_t* above = padded(i - n - 1);
    const std::uint8_t* below = padded(i + n + 1);
    const std::uint8_t* leaving = padded(i - n);
    std::uint8_t* out = data + static_cast<std::ptrdiff_t>(i) * bytesPerLine;
    for (std::size_t x = 0; x < width; ++x) {
      out[x] = divide(std::uint64_t{sum[x]} * 256 + edge * (above[x] + below[x]));
      sum[x] += below[x] - leaving[x];
    }
  }
}

// How far one pass of a box reaches past a pixel.
int BoxReach(const BlurBox& box) { return box.Blurs() ? box.inner + (box.edge > 0 ? 1 : 0) : 0; }

// Blur over interleaved bytes: channels bytes per pixel, bytesPerLine per row; widthX
// and widthY are the box widths in pixels. Only rows first..last-1 come out right:
// each pass works on the rows the passes after it read, so a band of a larger layer
// costs little more than its own rows.
void BlurBytes(std::uint8_t* data, int width, int height, int bytesPerLine, int channels, double widthX,
               double widthY, int passes, int first, int last) {
  const BlurBox boxX = MakeBlurBox(widthX), boxY = MakeBlurBox(widthY);
  const Divider divideX(static_cast<std::uint32_t>(boxX.total)), divideY(static_cast<std::uint32_t>(boxY.total));
  passes = std::clamp(passes, 0, kMaxPasses);
  first = std::max(first, 0);
  last = std::min(last, height);
  if (first >= last) return;
  const int reach = BoxReach(boxY);
  std::vector<std::uint8_t> line;
  std::vector<std::uint32_t> sums;
  for (int pass = 0; pass < passes; ++pass) {
    // The rows this pass's vertical step writes, and the rows it reads.
    const int left = passes - 1 - pass;
    const int top = std::max(0, first - left * reach), bottom = std::min(height, last + left * reach);
    if (boxX.Blurs())
      for (int y = std::max(0, top - reach); y < std::min(height, bottom + reach); ++y)
        for (int c = 0; c < channels; ++c)
          BlurLine(data + static_cast<std::ptrdiff_t>(y) * bytesPerLine + c, width, channels, boxX, divideX, line);
    if (boxY.Blurs()) BlurColumns(data, width * channels, height, bytesPerLine, top, bottom, boxY, divideY, line, sums);
  }
}

// The box width in device pixels of a blur of `blur` stage pixels drawn at scale: the
// pixel in the middle stays one pixel, the reach on either side scales (a blur of 10
// on a stage shown twice as large is 19 pixels wide, not 20).
double DeviceBlur(double blur, double scale) { return blur > 1 ? (blur - 1) * scale + 1 : blur; }

// How far one pass of a box of this width reaches past a pixel.
int BlurReach(double width) { return BoxReach(MakeBlurBox(width)); }

struct Plane {
  int width = 0, height = 0;
  std::vector<std::uint8_t> values;
  std::uint8_t At(int x, int y, std::uint8_t outside) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return outside;
    return values[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
  }
};

// Rows first..last-1 of a layer: the ones a filter must get right.
struct Rows {
  int first = 0, last = 0;
};

// The layer's alpha (inverted for inner effects), shifted by (dx, dy) and blurred; right
// on rows.
Plane ShadowPlane(const QImage& layer, const FilterParams& f, double scale, int dx, int dy, Rows rows) {
  Plane plane{layer.width(), layer.height(), {}};
  plane.values.resize(static_cast<std::size_t>(plane.width) * static_cast<std::size_t>(plane.height));
  const std::uint8_t outside = f.inner ? 255 : 0;
  const double blurX = DeviceBlur(f.blurX, scale), blurY = DeviceBlur(f.blurY, scale);
  const int reach = BlurReach(blurY) * std::clamp(f.passes, 0, kMaxPasses);
  const int top = std::max(0, rows.first - reach), bottom = std::min(plane.height, rows.last + reach);
  for (int y = top; y < bottom; ++y) {
    std::uint8_t* out = plane.values.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(plane.width);
    const int sy = y - dy;
    if (sy < 0 || sy >= plane.height) {
      std::fill(out, out + plane.width, outside);
      continue;
    }
    const auto* source = reinterpret_cast<const std::uint32_t*>(layer.constScanLine(sy));
    // Columns whose source lies inside the layer: from..to-1.
    const int from = std::clamp(dx, 0, plane.width), to = std::clamp(plane.width + dx, from, plane.width);
    std::fill(out, out + from, outside);
    std::fill(out + to, out + plane.width, outside);
    for (int x = from; x < to; ++x) {
      const auto a = static_cast<std::uint8_t>(A(source[x - dx]));
      out[x] = f.inner ? static_cast<std::uint8_t>(255 - a) : a;
    }
  }
  BlurBytes(plane.values.data(), plane.width, plane.height, plane.width, 1, blurX, blurY, f.passes, rows.first,
            rows.last);
  return plane;
}

std::array<std::uint32_t, 256> GradientTable(const FilterParams& f) {
  std::array<std::uint32_t, 256> table{};
  if (f.colors.empty()) return table;
  for (int i = 0; i < 256; ++i) {
    std::size_t next = 0;
    while (next < f.ratios.size() && f.ratios[next] < i) ++next;
    const auto color = [&](std::size_t k) { return f.colors[std::min(k, f.colors.size() - 1)]; };
    if (next == 0 || next >= f.ratios.size()) {
      table[static_cast<std::size_t>(i)] = Premultiplied(color(next == 0 ? 0 : f.ratios.size() - 1), 1);
      continue;
    }
    const Rgba a = color(next - 1), b = color(next);
    const double span = std::max(1, f.ratios[next] - f.ratios[next - 1]);
    const double t = (i - f.ratios[next - 1]) / span;
    const auto mix = [&](int u, int v) { return static_cast<std::uint8_t>(std::lround(u + (v - u) * t)); };
    table[static_cast<std::size_t>(i)] =
        Premultiplied(Rgba{mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b), mix(a.a, b.a)}, 1);
  }
  return table;
}

inline bool IsPremultiplied(std::uint32_t p) {
  const int a = A(p);
  return R(p) <= a && G(p) <= a && B(p) <= a;
}

// Scale(p, a / 255), or Scale(p, 1 - a / 255) when inverse. Most pixels of a layer are
// empty or opaque, which leave p as it is or empty it: those skip the arithmetic.
std::uint32_t ScaleByAlpha(std::uint32_t p, int a, bool inverse) {
  if (p == 0 || a == (inverse ? 255 : 0)) return 0;
  if (a == (inverse ? 0 : 255) && IsPremultiplied(p)) return p;
  const double srcA = a / 255.0;
  return Scale(p, inverse ? 1 - srcA : srcA);
}

// Over(top, bottom), without the arithmetic when one of them hides the other.
std::uint32_t OverFast(std::uint32_t top, std::uint32_t bottom) {
  if (top == 0 && IsPremultiplied(bottom)) return bottom;
  if ((bottom == 0 || A(top) == 255) && IsPremultiplied(top)) return top;
  return Over(top, bottom);
}

// top drawn on bottom where bottom is, bottom's alpha kept (both premultiplied).
std::uint32_t Atop(std::uint32_t top, std::uint32_t bottom) {
  if (top == 0 || A(bottom) == 0) return IsPremultiplied(bottom) ? bottom : Over(0, bottom);
  const double a = A(bottom) / 255.0, k = 1 - A(top) / 255.0;
  return Pack(a, (R(top) * a + R(bottom) * k) / 255.0, (G(top) * a + G(bottom) * k) / 255.0,
              (B(top) * a + B(bottom) * k) / 255.0);
}

// Puts the effect pixels (one per layer pixel) together with the object: inner effects
// stay on the object, outer ones around it; knockout drops the object itself.
void Compose(QImage& layer, const std::vector<std::uint32_t>& effect, const FilterParams& f, bool full, Rows rows) {
  const int width = layer.width();
  const auto stride = static_cast<std::ptrdiff_t>(layer.bytesPerLine());
  std::uint8_t* bits = layer.bits();
  for (int y = rows.first; y < rows.last; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(bits + y * stride);
    const std::uint32_t* effects = effect.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    for (int x = 0; x < width; ++x) {
      const std::uint32_t src = row[x];
      const std::uint32_t fx = effects[x];
      const int srcA = A(src);
      if (full) {
        // A full effect covers the object's area as well: knockout leaves it whole.
        row[x] = f.knockout ? fx : OverFast(fx, src);
      } else if (f.inner) {
        const std::uint32_t masked = ScaleByAlpha(fx, srcA, false);
        // A hidden object (compositeSource off) leaves only the effect, as knockout does.
        // Otherwise the effect lies on the object without changing its alpha.
        row[x] = f.knockout || !f.compositeSource ? masked : Atop(fx, src);
      } else {
        // The object is drawn over the whole effect; only knockout cuts the object's
        // shape out of it.
        row[x] = f.knockout ? ScaleByAlpha(fx, srcA, true) : f.compositeSource ? OverFast(src, fx) : fx;
      }
    }
  }
}

void ShadowOrGlow(QImage& layer, const FilterParams& f, double scale, Rows rows) {
  const int dx = static_cast<int>(std::lround(std::cos(f.angle) * f.distance * scale));
  const int dy = static_cast<int>(std::lround(std::sin(f.angle) * f.distance * scale));
  const Plane plane = ShadowPlane(layer, f, scale, dx, dy, rows);
  const Rgba color = f.colors.empty() ? Rgba{} : f.colors[0];
  std::array<std::uint32_t, 256> table{};
  if (f.type == 4) {
    table = GradientTable(f);
  } else {
    for (int i = 0; i < 256; ++i) table[static_cast<std::size_t>(i)] = Premultiplied(color, i / 255.0);
  }
  // The effect pixel of each plane value, worked out once per value.
  std::array<std::uint32_t, 256> effectOf{};
  for (int value = 0; value < 256; ++value) {
    const int v = std::min(255, static_cast<int>(std::lround(value * f.strength)));
    effectOf[static_cast<std::size_t>(value)] = table[static_cast<std::size_t>(v)];
  }
  std::vector<std::uint32_t> effect(plane.values.size());
  const std::size_t width = static_cast<std::size_t>(plane.width);
  for (std::size_t i = width * static_cast<std::size_t>(rows.first); i < width * static_cast<std::size_t>(rows.last); ++i)
    effect[i] = effectOf[plane.values[i]];
  // A hidden object leaves the shadow whole; Compose only cuts it for knockout.
  Compose(layer, effect, f, false, rows);
}

void Bevel(QImage& layer, const FilterParams& f, double scale, Rows rows) {
  // The lit and the shaded copies each move the whole distance, in opposite directions.
  const int dx = static_cast<int>(std::lround(std::cos(f.angle) * f.distance * scale));
  const int dy = static_cast<int>(std::lround(std::sin(f.angle) * f.distance * scale));
  FilterParams plain = f;
  plain.inner = false;
  const Plane forward = ShadowPlane(layer, plain, scale, dx, dy, rows);
  const Plane backward = ShadowPlane(layer, plain, scale, -dx, -dy, rows);
  const bool gradient = f.type == 7;
  const auto table = gradient ? GradientTable(f) : std::array<std::uint32_t, 256>{};
  // The record's first colour lights the side the angle points away from.
  const Rgba highlight = f.colors.size() > 0 ? f.colors[0] : Rgba{255, 255, 255, 255};
  const Rgba shadow = f.colors.size() > 1 ? f.colors[1] : Rgba{0, 0, 0, 255};
  // The effect pixel of each difference of the two planes (-255..255), worked out once
  // per difference.
  std::array<std::uint32_t, 511> effectOf{};
  for (int difference = -255; difference <= 255; ++difference) {
    const double diff = difference / 255.0 * f.strength;  // > 0: lit side
    std::uint32_t& out = effectOf[static_cast<std::size_t>(difference + 255)];
    if (gradient) {
      out = table[static_cast<std::size_t>(std::clamp(static_cast<int>(std::lround(127.5 - diff * 127.5)), 0, 255))];
    } else {
      out = diff >= 0 ? Premultiplied(highlight, diff) : Premultiplied(shadow, -diff);
    }
  }
  std::vector<std::uint32_t> effect(forward.values.size());
  const std::size_t width = static_cast<std::size_t>(forward.width);
  for (std::size_t i = width * static_cast<std::size_t>(rows.first); i < width * static_cast<std::size_t>(rows.last); ++i)
    effect[i] = effectOf[static_cast<std::size_t>(backward.values[i] - forward.values[i] + 255)];
  Compose(layer, effect, f, f.onTop, rows);
}

void ColorMatrix(QImage& layer, const FilterParams& f, Rows rows) {
  if (f.matrix.size() < 20) return;
  const auto& m = f.matrix;
  const int width = layer.width();
  for (int y = rows.first; y < rows.last; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(layer.scanLine(y));
    for (int x = 0; x < width; ++x) {
      const std::uint32_t p = row[x];
      const double a = A(p);
      const double r = a > 0 ? R(p) * 255.0 / a : 0, g = a > 0 ? G(p) * 255.0 / a : 0, b = a > 0 ? B(p) * 255.0 / a : 0;
      const auto out = [&](int k) {
        return std::clamp((m[k] * r + m[k + 1] * g + m[k + 2] * b + m[k + 3] * a + m[k + 4]) / 255.0, 0.0, 1.0);
      };
      const double na = out(15);
      row[x] = Pack(na, out(0) * na, out(5) * na, out(10) * na);
    }
  }
}

void Convolution(QImage& layer, const FilterParams& f, Rows rows) {
  if (f.matrixX <= 0 || f.matrixY <= 0 || f.matrix.size() < static_cast<std::size_t>(f.matrixX * f.matrixY)) return;
  // Kernels past 15x15 would cost minutes per frame on a stage-sized layer; they are left out.
  if (f.matrixX > kMaxKernel || f.matrixY > kMaxKernel) return;
  const QImage source = layer.copy();
  const int w = layer.width(), h = layer.height();
  const double divisor = f.divisor == 0 ? 1 : f.divisor;
  const std::uint32_t fallback = Premultiplied(f.colors.empty() ? Rgba{0, 0, 0, 0} : f.colors[0], 1);
  for (int y = rows.first; y < rows.last; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(layer.scanLine(y));
    for (int x = 0; x < w; ++x) {
      std::array<double, 4> sum{};
      for (int j = 0; j < f.matrixY; ++j) {
        for (int i = 0; i < f.matrixX; ++i) {
          int sx = x + i - f.matrixX / 2, sy = y + j - f.matrixY / 2;
          std::uint32_t p = fallback;
          if (f.clamp) {
            sx = std::clamp(sx, 0, w - 1);
            sy = std::clamp(sy, 0, h - 1);
          }
          if (sx >= 0 && sy >= 0 && sx < w && sy < h) p = reinterpret_cast<const std::uint32_t*>(source.constScanLine(sy))[sx];
          const double k = f.matrix[static_cast<std::size_t>(j * f.matrixX + i)];
          const double a = A(p);
          sum[0] += k * a;
          sum[1] += k * (a > 0 ? R(p) * 255.0 / a : 0);
          sum[2] += k * (a > 0 ? G(p) * 255.0 / a : 0);
          sum[3] += k * (a > 0 ? B(p) * 255.0 / a : 0);
        }
      }
      const auto value = [&](double s) { return std::clamp((s / divisor + f.bias) / 255.0, 0.0, 1.0); };
      const double a = f.preserveAlpha ? A(row[x]) / 255.0 : value(sum[0]);
      row[x] = Pack(a, value(sum[1]) * a, value(sum[2]) * a, value(sum[3]) * a);
    }
  }
}

}  // namespace

std::uint32_t BlendPixel(std::uint8_t mode, std::uint32_t src, std::uint32_t dst) {
  const double sa = A(src) / 255.0, da = A(dst) / 255.0;
  const double s[3] = {R(src) / 255.0, G(src) / 255.0, B(src) / 255.0};
  const double d[3] = {R(dst) / 255.0, G(dst) / 255.0, B(dst) / 255.0};
  double out[3];
  switch (static_cast<BlendMode>(mode)) {
    case BlendMode::Invert:
      for (int i = 0; i < 3; ++i) out[i] = (1 - sa) * d[i] + sa * (da - d[i]);
      return Pack(da, out[0], out[1], out[2]);
    case BlendMode::Alpha: return Pack(da * sa, d[0] * sa, d[1] * sa, d[2] * sa);
    case BlendMode::Erase: return Pack(da * (1 - sa), d[0] * (1 - sa), d[1] * (1 - sa), d[2] * (1 - sa));
    // Add and subtract work on the premultiplied values as they are: the layer's colour
    // scaled by its alpha is added to or taken from the backdrop's.
    case BlendMode::Add:
      return Pack(std::min(1.0, sa + da), std::min(1.0, s[0] + d[0]), std::min(1.0, s[1] + d[1]),
                  std::min(1.0, s[2] + d[2]));
    case BlendMode::Subtract:
      return Pack(sa + da - sa * da, std::max(0.0, d[0] - s[0]), std::max(0.0, d[1] - s[1]),
                  std::max(0.0, d[2] - s[2]));
    default: break;
  }
  for (int i = 0; i < 3; ++i) {
    const double cs = sa > 0 ? s[i] / sa : 0, cd = da > 0 ? d[i] / da : 0;
    out[i] = (1 - sa) * d[i] + (1 - da) * s[i] + sa * da * Separable(mode, cs, cd);
  }
  return Pack(sa + da - sa * da, out[0], out[1], out[2]);
}

void BlendInto(QImage& target, QPoint offset, const QImage& layer, std::uint8_t mode) {
  render::ClearUpperVectorState();
  const bool opaque = target.format() == QImage::Format_RGB32;
  const QRect area = QRect(offset, layer.size()).intersected(target.rect());
  for (int y = area.top(); y <= area.bottom(); ++y) {
    auto* dst = reinterpret_cast<std::uint32_t*>(target.scanLine(y));
    const auto* src = reinterpret_cast<const std::uint32_t*>(layer.constScanLine(y - offset.y()));
    for (int x = area.left(); x <= area.right(); ++x) {
      const std::uint32_t s = src[x - offset.x()];
      if (s == 0 && mode != static_cast<std::uint8_t>(BlendMode::Alpha)) continue;  // nothing drawn here
      const std::uint32_t d = opaque ? (dst[x] | 0xff000000u) : dst[x];
      dst[x] = BlendPixel(mode, s, d) | (opaque ? 0xff000000u : 0);
    }
  }
}

namespace {

constexpr const char* kBlendModeNames[] = {"normal", "normal",   "layer",  "multiply", "screen",
                                           "lighten", "darken",  "difference", "add", "subtract",
                                           "invert", "alpha",    "erase",  "overlay",  "hardlight"};

}  // namespace

std::uint8_t BlendModeByName(std::string_view name) {
  for (std::uint8_t i = 1; i < std::size(kBlendModeNames); ++i) {
    if (name == kBlendModeNames[i]) return i;
  }
  return 0;
}

const char* BlendModeName(std::uint8_t mode) {
  return mode < std::size(kBlendModeNames) ? kBlendModeNames[mode] : kBlendModeNames[0];
}

QMargins FilterMargins(const std::vector<FilterParams>& filters, double scale) {
  int left = 0, top = 0, right = 0, bottom = 0;
  for (const FilterParams& f : filters) {
    if (f.type == 5 || f.type == 6) continue;  // same size in, same size out
    const int passes = std::clamp(f.passes, 0, kMaxPasses);
    const int rx = BlurReach(DeviceBlur(f.blurX, scale)) * passes, ry = BlurReach(DeviceBlur(f.blurY, scale)) * passes;
    const int dx = static_cast<int>(std::ceil(std::abs(std::cos(f.angle) * f.distance * scale)));
    const int dy = static_cast<int>(std::ceil(std::abs(std::sin(f.angle) * f.distance * scale)));
    // Filters grow the layer one after another.
    left += rx + dx;
    right += rx + dx;
    top += ry + dy;
    bottom += ry + dy;
  }
  return QMargins(left, top, right, bottom);
}

void BoxBlur(QImage& image, double widthX, double widthY, int passes, int firstRow, int lastRow) {
  if (image.isNull()) return;
  render::ClearUpperVectorState();
  BlurBytes(image.bits(), image.width(), image.height(), static_cast<int>(image.bytesPerLine()), 4, widthX, widthY,
            passes, firstRow, lastRow);
}

namespace {

// How many rows above and below a pixel its value after f depends on.
int RowReach(const FilterParams& f, double scale) {
  switch (f.type) {
    case 5: return std::max(0, f.matrixY / 2);
    case 6: return 0;
    default: {
      const int passes = std::clamp(f.passes, 0, kMaxPasses);
      return BlurReach(DeviceBlur(f.blurY, scale)) * passes +
             static_cast<int>(std::ceil(std::abs(std::sin(f.angle) * f.distance * scale)));
    }
  }
}

}  // namespace

int FilterRowReach(const std::vector<FilterParams>& filters, double scale) {
  int reach = 0;
  for (const FilterParams& f : filters) reach += RowReach(f, scale);
  return reach;
}

std::uint64_t FilterWorkPerPixel(const std::vector<FilterParams>& filters) {
  std::uint64_t work = 0;
  for (const FilterParams& f : filters) {
    if (f.type == 5)
      work += static_cast<std::uint64_t>(std::max(1, f.matrixX * f.matrixY / 4));
    else if (f.type == 6)
      work += 1;
    else
      work += static_cast<std::uint64_t>(std::clamp(f.passes, 1, kMaxPasses));
  }
  return work;
}

void ApplyFilters(QImage& layer, const std::vector<FilterParams>& filters, double scale, int firstRow, int lastRow) {
  if (layer.isNull() || filters.empty()) return;
  render::ClearUpperVectorState();
  // The rows each filter must get right: the asked ones for the last filter, and for each
  // one before it, the rows the next one reads.
  std::vector<Rows> needed(filters.size());
  Rows rows{std::max(0, firstRow), std::min(layer.height(), lastRow)};
  if (rows.first >= rows.last) return;
  for (std::size_t i = filters.size(); i-- > 0;) {
    needed[i] = rows;
    const int reach = RowReach(filters[i], scale);
    rows = Rows{std::max(0, rows.first - reach), std::min(layer.height(), rows.last + reach)};
  }
  for (std::size_t i = 0; i < filters.size(); ++i) {
    const FilterParams& f = filters[i];
    const Rows r = needed[i];
    switch (f.type) {
      case 0:
      case 2:
      case 4: ShadowOrGlow(layer, f, scale, r); break;
      case 1: BoxBlur(layer, DeviceBlur(f.blurX, scale), DeviceBlur(f.blurY, scale), f.passes, r.first, r.last); break;
      case 3:
      case 7: Bevel(layer, f, scale, r); break;
      case 5: Convolution(layer, f, r); break;
      case 6: ColorMatrix(layer, f, r); break;
      default: break;
    }
  }
}

}  // namespace vantrel::flash
