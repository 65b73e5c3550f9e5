#include "flash/video/h263_decoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace vantrel::flash::video {

namespace {

// Big-endian bit reader over data followed by at least 8 zero bytes (so it can look
// ahead without bounds checks); reads zeros past the end and remembers that it did.
class BitReader {
 public:
  BitReader(const std::uint8_t* padded, std::size_t size) : data_(padded), size_(size) {}

  // The next n bits (1..32) without consuming them.
  std::uint32_t Peek(int n) const {
    const std::size_t byte = std::min(pos_ >> 3, size_);
    std::uint64_t word;
    std::memcpy(&word, data_ + byte, 8);
    if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
    word <<= pos_ & 7;
    return static_cast<std::uint32_t>(word >> (64 - n));
  }
  void Skip(int n) { pos_ += static_cast<std::size_t>(n); }
  std::uint32_t Read(int n) {
    const std::uint32_t value = Peek(n);
    Skip(n);
    return value;
  }
  int ReadSigned(int n) {
    const std::uint32_t value = Read(n);
    return static_cast<int>(value) - (value >> (n - 1) ? (1 << n) : 0);
  }
  bool Overrun() const { return pos_ > size_ * 8; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// Copies data with the zero bytes BitReader wants after it.
void Pad(std::span<const std::uint8_t> data, std::vector<std::uint8_t>& padded) {
  padded.assign(data.begin(), data.end());
  padded.resize(data.size() + 16, 0);
}

// A prefix-code table read by looking at its longest code's worth of bits at once.
struct VlcCode {
  std::uint16_t code;
  std::uint8_t length;
  std::int16_t value;
};

class Vlc {
 public:
  Vlc(int maxLength, std::initializer_list<VlcCode> codes)
      : maxLength_(maxLength), table_(std::size_t{1} << maxLength) {
    for (const VlcCode& c : codes) {
      const int spare = maxLength - c.length;
      const std::size_t first = static_cast<std::size_t>(c.code) << spare;
      for (std::size_t i = 0; i < (std::size_t{1} << spare); ++i) table_[first + i] = {c.value, c.length};
    }
  }
  // The value of the next code, or -1 (nothing consumed) when the bits are no code.
  int Read(BitReader& bits) const {
    const Entry& e = table_[bits.Peek(maxLength_)];
    if (e.length == 0) return -1;
    bits.Skip(e.length);
    return e.value;
  }

 private:
  struct Entry {
    std::int16_t value = -1;
    std::uint8_t length = 0;
  };
  int maxLength_;
  std::vector<Entry> table_;
};

// Macroblock type and chroma pattern. Values: kind * 8 + (quantiser change) * 4 + CBPC.
enum MbKind { kInter = 0, kIntra = 1, kInter4 = 2, kStuffing = 3 };
constexpr std::int16_t Mb(int kind, bool dquant, int cbpc) {
  return static_cast<std::int16_t>(kind * 8 + (dquant ? 4 : 0) + cbpc);
}

// clang-format off
const Vlc& IntraMcbpc() {
  static const Vlc vlc(9, {{1, 1, Mb(kIntra, false, 0)},
                           {1, 3, Mb(kIntra, false, 1)},
                           {2, 3, Mb(kIntra, false, 2)},
                           {3, 3, Mb(kIntra, false, 3)},
                           {1, 4, Mb(kIntra, true, 0)},
                           {1, 6, Mb(kIntra, true, 1)},
                           {2, 6, Mb(kIntra, true, 2)},
                           {3, 6, Mb(kIntra, true, 3)},
                           {1, 9, Mb(kStuffing, false, 0)}});
  return vlc;
}

const Vlc& InterMcbpc() {
  static const Vlc vlc(9, {{1, 1, Mb(kInter, false, 0)},  {3, 4, Mb(kInter, false, 1)},  {2, 4, Mb(kInter, false, 2)},
                           {5, 6, Mb(kInter, false, 3)},  {3, 5, Mb(kIntra, false, 0)},  {4, 8, Mb(kIntra, false, 1)},
                           {3, 8, Mb(kIntra, false, 2)},  {3, 7, Mb(kIntra, false, 3)},  {3, 3, Mb(kInter, true, 0)},
                           {7, 7, Mb(kInter, true, 1)},   {6, 7, Mb(kInter, true, 2)},   {5, 9, Mb(kInter, true, 3)},
                           {4, 6, Mb(kIntra, true, 0)},   {4, 9, Mb(kIntra, true, 1)},   {3, 9, Mb(kIntra, true, 2)},
                           {2, 9, Mb(kIntra, true, 3)},   {2, 3, Mb(kInter4, false, 0)}, {5, 7, Mb(kInter4, false, 1)},
                           {4, 7, Mb(kInter4, false, 2)}, {5, 8, Mb(kInter4, false, 3)}, {1, 9, Mb(kStuffing, false, 0)}});
  return vlc;
}

// Luma coded-block pattern as an intra macroblock reads it (inter ones invert it).
const Vlc& Cbpy() {
  static const Vlc vlc(6, {{3, 4, 0},  {5, 5, 1},  {4, 5, 2},  {9, 4, 3},  {3, 5, 4},  {7, 4, 5},  {2, 6, 6},  {11, 4, 7},
                           {2, 5, 8},  {3, 6, 9},  {5, 4, 10}, {10, 4, 11}, {4, 4, 12}, {8, 4, 13}, {6, 4, 14}, {3, 2, 15}});
  return vlc;
}

// Motion vector difference magnitude in half pixels; a sign bit follows all but 0.
const Vlc& Mvd() {
  static const Vlc vlc(12, {{1, 1, 0},    {1, 2, 1},    {1, 3, 2},    {1, 4, 3},    {3, 6, 4},    {5, 7, 5},    {4, 7, 6},
                            {3, 7, 7},    {11, 9, 8},   {10, 9, 9},   {9, 9, 10},   {17, 10, 11}, {16, 10, 12}, {15, 10, 13},
                            {14, 10, 14}, {13, 10, 15}, {12, 10, 16}, {11, 10, 17}, {10, 10, 18}, {9, 10, 19},  {8, 10, 20},
                            {7, 10, 21},  {6, 10, 22},  {5, 10, 23},  {4, 10, 24},  {7, 11, 25},  {6, 11, 26},  {5, 11, 27},
                            {4, 11, 28},  {3, 11, 29},  {2, 11, 30},  {3, 12, 31},  {2, 12, 32}});
  return vlc;
}

// Transform coefficients: (last, run, level) packed as last << 12 | run << 4 | level;
// the escape code is kEscape. A sign bit follows every code but the escape.
constexpr std::int16_t kEscape = 0x7FFF;
constexpr std::int16_t Coef(int last, int run, int level) { return static_cast<std::int16_t>(last << 12 | run << 4 | level); }

const Vlc& Tcoef() {
  static const Vlc vlc(
      12, {// last = 0
           {0x2, 2, Coef(0, 0, 1)},    {0xf, 4, Coef(0, 0, 2)},    {0x15, 6, Coef(0, 0, 3)},   {0x17, 7, Coef(0, 0, 4)},
           {0x1f, 8, Coef(0, 0, 5)},   {0x25, 9, Coef(0, 0, 6)},   {0x24, 9, Coef(0, 0, 7)},   {0x21, 10, Coef(0, 0, 8)},
           {0x20, 10, Coef(0, 0, 9)},  {0x7, 11, Coef(0, 0, 10)},  {0x6, 11, Coef(0, 0, 11)},  {0x20, 11, Coef(0, 0, 12)},
           {0x6, 3, Coef(0, 1, 1)},    {0x14, 6, Coef(0, 1, 2)},   {0x1e, 8, Coef(0, 1, 3)},   {0xf, 10, Coef(0, 1, 4)},
           {0x21, 11, Coef(0, 1, 5)},  {0x50, 12, Coef(0, 1, 6)},  {0xe, 4, Coef(0, 2, 1)},    {0x1d, 8, Coef(0, 2, 2)},
           {0xe, 10, Coef(0, 2, 3)},   {0x51, 12, Coef(0, 2, 4)},  {0xd, 5, Coef(0, 3, 1)},    {0x23, 9, Coef(0, 3, 2)},
           {0xd, 10, Coef(0, 3, 3)},   {0xc, 5, Coef(0, 4, 1)},    {0x22, 9, Coef(0, 4, 2)},   {0x52, 12, Coef(0, 4, 3)},
           {0xb, 5, Coef(0, 5, 1)},    {0xc, 10, Coef(0, 5, 2)},   {0x53, 12, Coef(0, 5, 3)},  {0x13, 6, Coef(0, 6, 1)},
           {0xb, 10, Coef(0, 6, 2)},   {0x54, 12, Coef(0, 6, 3)},  {0x12, 6, Coef(0, 7, 1)},   {0xa, 10, Coef(0, 7, 2)},
           {0x11, 6, Coef(0, 8, 1)},   {0x9, 10, Coef(0, 8, 2)},   {0x10, 6, Coef(0, 9, 1)},   {0x8, 10, Coef(0, 9, 2)},
           {0x16, 7, Coef(0, 10, 1)},  {0x55, 12, Coef(0, 10, 2)}, {0x15, 7, Coef(0, 11, 1)},  {0x14, 7, Coef(0, 12, 1)},
           {0x1c, 8, Coef(0, 13, 1)},  {0x1b, 8, Coef(0, 14, 1)},  {0x21, 9, Coef(0, 15, 1)},  {0x20, 9, Coef(0, 16, 1)},
           {0x1f, 9, Coef(0, 17, 1)},  {0x1e, 9, Coef(0, 18, 1)},  {0x1d, 9, Coef(0, 19, 1)},  {0x1c, 9, Coef(0, 20, 1)},
           {0x1b, 9, Coef(0, 21, 1)},  {0x1a, 9, Coef(0, 22, 1)},  {0x22, 11, Coef(0, 23, 1)}, {0x23, 11, Coef(0, 24, 1)},
           {0x56, 12, Coef(0, 25, 1)}, {0x57, 12, Coef(0, 26, 1)},
           // last = 1
           {0x7, 4, Coef(1, 0, 1)},    {0x19, 9, Coef(1, 0, 2)},   {0x5, 11, Coef(1, 0, 3)},   {0xf, 6, Coef(1, 1, 1)},
           {0x4, 11, Coef(1, 1, 2)},   {0xe, 6, Coef(1, 2, 1)},    {0xd, 6, Coef(1, 3, 1)},    {0xc, 6, Coef(1, 4, 1)},
           {0x13, 7, Coef(1, 5, 1)},   {0x12, 7, Coef(1, 6, 1)},   {0x11, 7, Coef(1, 7, 1)},   {0x10, 7, Coef(1, 8, 1)},
           {0x1a, 8, Coef(1, 9, 1)},   {0x19, 8, Coef(1, 10, 1)},  {0x18, 8, Coef(1, 11, 1)},  {0x17, 8, Coef(1, 12, 1)},
           {0x16, 8, Coef(1, 13, 1)},  {0x15, 8, Coef(1, 14, 1)},  {0x14, 8, Coef(1, 15, 1)},  {0x13, 8, Coef(1, 16, 1)},
           {0x18, 9, Coef(1, 17, 1)},  {0x17, 9, Coef(1, 18, 1)},  {0x16, 9, Coef(1, 19, 1)},  {0x15, 9, Coef(1, 20, 1)},
           {0x14, 9, Coef(1, 21, 1)},  {0x13, 9, Coef(1, 22, 1)},  {0x12, 9, Coef(1, 23, 1)},  {0x11, 9, Coef(1, 24, 1)},
           {0x7, 10, Coef(1, 25, 1)},  {0x6, 10, Coef(1, 26, 1)},  {0x5, 10, Coef(1, 27, 1)},  {0x4, 10, Coef(1, 28, 1)},
           {0x24, 11, Coef(1, 29, 1)}, {0x25, 11, Coef(1, 30, 1)}, {0x26, 11, Coef(1, 31, 1)}, {0x27, 11, Coef(1, 32, 1)},
           {0x58, 12, Coef(1, 33, 1)}, {0x59, 12, Coef(1, 34, 1)}, {0x5a, 12, Coef(1, 35, 1)}, {0x5b, 12, Coef(1, 36, 1)},
           {0x5c, 12, Coef(1, 37, 1)}, {0x5d, 12, Coef(1, 38, 1)}, {0x5e, 12, Coef(1, 39, 1)}, {0x5f, 12, Coef(1, 40, 1)},
           {0x3, 7, kEscape}});
  return vlc;
}

// clang-format on

constexpr std::array<std::uint8_t, 64> kZigzag = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                                  12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                                  35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                                  58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// The inverse transform: the separable cosine sum in single precision, rows first,
// each output rounded half away from zero and limited to -256..255. The cosines are
// taken of single-precision angles, (x + 1/2) / 8 * pi * f, each step rounded to
// float: where the exact result lies a hair above a half, this is what the player's
// pictures show.
struct Basis {
  float b[8][8];  // b[frequency][position]
  Basis() {
    const float pi = static_cast<float>(std::acos(-1.0));
    const float dcScale = static_cast<float>(std::sqrt(0.5));
    for (int f = 0; f < 8; ++f)
      for (int x = 0; x < 8; ++x) {
        volatile float angle = (static_cast<float>(x) + 0.5f) / 8.0f;  // no fused or wider arithmetic
        angle = pi * angle;
        angle = angle * static_cast<float>(f);
        const float c = static_cast<float>(std::cos(static_cast<double>(angle)));
        b[f][x] = f == 0 ? c * dcScale : c;
      }
  }
};

inline int RoundResidual(float sum) {
  const float v = sum * 0.25f;
  // Adding a half of v's sign and truncating rounds halves away from zero (0 stays 0).
  const int r = static_cast<int>(v + std::copysign(0.5f, v));
  return std::min(std::max(r, -256), 255);
}

// coef: dequantised coefficients in raster order; rows: bit r set when row r has any;
// out: 64 residuals. Zero terms are left out of the sums, which changes no result (x + 0 is x), and the
// eight positions of a row are summed side by side in the same order as one at a time.
// Returns false, with only out[0] set, when every residual is the same.
bool InverseTransform(const std::int16_t* coef, unsigned rows, int* out) {
  static const Basis basis;
  const auto& b = basis.b;
  if (rows == 1 && std::all_of(coef + 1, coef + 8, [](std::int16_t c) { return c == 0; })) {
    // Only the DC coefficient: every sample comes out the same.
    out[0] = RoundResidual(static_cast<float>(coef[0]) * b[0][0] * b[0][0]);
    return false;
  }
  float t[8][8];  // t[row][x]
  int used[8], count = 0;
  for (int r = 0; r < 8; ++r) {
    if (!(rows & (1u << r))) continue;
    used[count++] = r;
    const std::int16_t* c = coef + r * 8;
    float s[8] = {};
    for (int f = 0; f < 8; ++f) {
      if (!c[f]) continue;
      const float k = static_cast<float>(c[f]);
      for (int x = 0; x < 8; ++x) s[x] += k * b[f][x];
    }
    std::copy(s, s + 8, t[r]);
  }
  for (int y = 0; y < 8; ++y) {
    float s[8] = {};
    for (int i = 0; i < count; ++i) {
      const int f = used[i];
      const float k = b[f][y];
      for (int x = 0; x < 8; ++x) s[x] += t[f][x] * k;
    }
    for (int x = 0; x < 8; ++x) out[y * 8 + x] = RoundResidual(s[x]);
  }
  return true;
}

inline std::uint8_t Clip8(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }

// Half-pel prediction of a size x size block; fx/fy: half a sample right/down. Two
// samples average rounding up, four with two added before the division.
void Predict(const std::uint8_t* src, int srcStride, std::uint8_t* dst, int dstStride, int size, int fx, int fy) {
  for (int y = 0; y < size; ++y, src += srcStride, dst += dstStride) {
    const std::uint8_t* below = src + srcStride;
    if (!fx && !fy) {
      std::memcpy(dst, src, static_cast<std::size_t>(size));
      continue;
    }
#ifdef __SSE2__
    if (size == 16 && (fx != fy)) {
      // pavgb is (a + b + 1) >> 1.
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(fx ? src + 1 : below));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_avg_epu8(a, b));
      continue;
    }
#endif
    if (fx && !fy) {
      for (int x = 0; x < size; ++x) dst[x] = static_cast<std::uint8_t>((src[x] + src[x + 1] + 1) >> 1);
    } else if (!fx) {
      for (int x = 0; x < size; ++x) dst[x] = static_cast<std::uint8_t>((src[x] + below[x] + 1) >> 1);
    } else {
      for (int x = 0; x < size; ++x)
        dst[x] = static_cast<std::uint8_t>((src[x] + src[x + 1] + below[x] + below[x + 1] + 2) >> 2);
    }
  }
}

// Predicts the size x size block dst from the block of plane (width x height samples)
// whose corner lies at (x, y) plus the half-sample offsets fx/fy. Vectors may point
// outside the picture: there the outermost samples repeat.
void PredictFrom(const std::uint8_t* plane, int stride, int width, int height, int x, int y, int fx, int fy,
                 std::uint8_t* dst, int dstStride, int size) {
  if (x >= 0 && y >= 0 && x + size + 1 <= width && y + size + 1 <= height) {
    Predict(plane + y * stride + x, stride, dst, dstStride, size, fx, fy);
    return;
  }
  std::uint8_t block[17 * 17];
  for (int row = 0; row <= size; ++row) {
    const std::uint8_t* src = plane + std::clamp(y + row, 0, height - 1) * stride;
    for (int col = 0; col <= size; ++col) block[row * 17 + col] = src[std::clamp(x + col, 0, width - 1)];
  }
  Predict(block, 17, dst, dstStride, size, fx, fy);
}

struct Vector {
  int x = 0, y = 0;  // half samples
};

inline int Median(int a, int b, int c) { return std::max(std::min(a, b), std::min(std::max(a, b), c)); }

// Reads one motion vector component and adds it to the prediction, wrapping into the
// range -32..31 half samples. False when the bits are no code.
bool ReadVectorComponent(BitReader& bits, int predicted, int& out) {
  const int magnitude = Mvd().Read(bits);
  if (magnitude < 0) return false;
  int v = predicted;
  if (magnitude) v += bits.Read(1) ? -magnitude : magnitude;
  out = ((v + 32) & 63) - 32;
  return true;
}

}  // namespace

bool ReadH263Header(std::span<const std::uint8_t> data, H263Header& header, std::string* error) {
  auto fail = [&](const char* why) {
    if (error) *error = why;
    return false;
  };
  std::vector<std::uint8_t> padded;
  Pad(data.first(std::min<std::size_t>(data.size(), 16)), padded);
  BitReader bits(padded.data(), std::min<std::size_t>(data.size(), 16));
  if (bits.Read(17) != 1) return fail("no picture start code");
  header.version = static_cast<int>(bits.Read(5));
  if (header.version > 1) return fail("unknown Sorenson H.263 version");
  header.temporalReference = static_cast<int>(bits.Read(8));
  static constexpr int kSizes[7][2] = {{0, 0}, {0, 0}, {352, 288}, {176, 144}, {128, 96}, {320, 240}, {160, 120}};
  const unsigned format = bits.Read(3);
  if (format == 0) {
    header.width = static_cast<int>(bits.Read(8));
    header.height = static_cast<int>(bits.Read(8));
  } else if (format == 1) {
    header.width = static_cast<int>(bits.Read(16));
    header.height = static_cast<int>(bits.Read(16));
  } else if (format < 7) {
    header.width = kSizes[format][0];
    header.height = kSizes[format][1];
  } else {
    return fail("reserved picture size");
  }
  const unsigned type = bits.Read(2);
  if (type == 3) return fail("reserved picture type");
  header.type = static_cast<H263PictureType>(type);
  header.deblocking = bits.Read(1) != 0;
  header.quantizer = static_cast<int>(bits.Read(5));
  if (bits.Overrun()) return fail("picture header cut short");
  if (header.width <= 0 || header.height <= 0) return fail("empty picture");
  if (header.quantizer == 0) return fail("quantiser 0");
  return true;
}

void H263Decoder::Frame::Allocate(int mbw, int mbh) {
  mbWidth = mbw;
  mbHeight = mbh;
  lumaStride = mbw * 16;
  chromaStride = mbw * 8;
  y.assign(static_cast<std::size_t>(lumaStride) * static_cast<std::size_t>(mbh * 16), 0);
  cb.assign(static_cast<std::size_t>(chromaStride) * static_cast<std::size_t>(mbh * 8), 128);
  cr.assign(cb.size(), 128);
}

void H263Decoder::Reset() {
  reference_ = nullptr;
  shown_ = nullptr;
  error_.clear();
}

bool H263Decoder::Decode(std::span<const std::uint8_t> data) {
  H263Header header;
  if (!ReadH263Header(data, header, &error_)) return false;
  if (header.width > kMaxSide || header.height > kMaxSide) {
    error_ = "picture too large";
    return false;
  }
  const int mbw = (header.width + 15) / 16, mbh = (header.height + 15) / 16;
  if (header.type != H263PictureType::Intra &&
      (!reference_ || reference_->mbWidth != mbw || reference_->mbHeight != mbh)) {
    error_ = "inter frame without a picture to refer to";
    return false;
  }
  Frame& target = reference_ == &frames_[0] ? frames_[1] : frames_[0];
  if (target.mbWidth != mbw || target.mbHeight != mbh) target.Allocate(mbw, mbh);
  const H263Header shownHeader = header_;
  header_ = header;
  if (!DecodePicture(data, target)) {
    header_ = shownHeader;
    if (shown_ == &target) {
      // What was shown is gone; show the reference picture instead.
      shown_ = reference_;
      header_ = referenceHeader_;
    }
    return false;
  }
  if (header.type != H263PictureType::DisposableInter) {
    reference_ = &target;
    referenceHeader_ = header;
  }
  shown_ = &target;
  return true;
}

bool H263Decoder::DecodePicture(std::span<const std::uint8_t> data, Frame& target) {
  Pad(data, padded_);
  BitReader bits(padded_.data(), data.size());
  // The header again, up to the extra information.
  bits.Skip(17 + 5 + 8);
  const unsigned format = bits.Read(3);
  bits.Skip(format == 0 ? 16 : format == 1 ? 32 : 0);
  bits.Skip(2 + 1 + 5);
  while (bits.Read(1)) {
    bits.Skip(8);
    if (bits.Overrun()) break;
  }
  const bool intraPicture = header_.type == H263PictureType::Intra;
  const Vlc& mcbpcCodes = intraPicture ? IntraMcbpc() : InterMcbpc();
  const Vlc& cbpyCodes = Cbpy();
  const Vlc& coefCodes = Tcoef();
  const int mbw = target.mbWidth, mbh = target.mbHeight;
  int quant = header_.quantizer;
  std::vector<Vector> above(static_cast<std::size_t>(mbw) + 1), current(static_cast<std::size_t>(mbw) + 1);
  alignas(16) std::int16_t coef[64];
  int residual[64];
  for (int mby = 0; mby < mbh; ++mby) {
    for (int mbx = 0; mbx < mbw; ++mbx) {
      std::uint8_t* luma = target.Y(mbx * 16, mby * 16);
      std::uint8_t* chroma[2] = {target.U(mbx * 8, mby * 8), target.V(mbx * 8, mby * 8)};
      int mcbpc;
      bool skipped = false;
      for (;;) {
        if (!intraPicture && bits.Read(1)) {
          skipped = true;
          break;
        }
        mcbpc = mcbpcCodes.Read(bits);
        if (mcbpc < 0) {
          error_ = "bad macroblock type";
          return false;
        }
        if (mcbpc / 8 != kStuffing) break;
        if (bits.Overrun()) {
          error_ = "picture cut short";
          return false;
        }
      }
      Vector& mv = current[static_cast<std::size_t>(mbx)];
      mv = {};
      if (skipped) {
        Frame& ref = *reference_;
        for (int y = 0; y < 16; ++y) std::memcpy(luma + y * target.lumaStride, ref.Y(mbx * 16, mby * 16 + y), 16);
        for (int y = 0; y < 8; ++y) {
          std::memcpy(chroma[0] + y * target.chromaStride, ref.U(mbx * 8, mby * 8 + y), 8);
          std::memcpy(chroma[1] + y * target.chromaStride, ref.V(mbx * 8, mby * 8 + y), 8);
        }
        continue;
      }
      const int kind = mcbpc / 8;
      if (kind == kInter4) {
        error_ = "four motion vectors per macroblock are not part of this format";
        return false;
      }
      const bool intra = kind == kIntra;
      int cbpy = cbpyCodes.Read(bits);
      if (cbpy < 0) {
        error_ = "bad coded block pattern";
        return false;
      }
      if (!intra) cbpy ^= 15;
      if (mcbpc & 4) {
        static constexpr int kChange[4] = {-1, -2, 1, 2};
        quant = std::clamp(quant + kChange[bits.Read(2)], 1, 31);
      }
      if (!intra) {
        // The vector is predicted by the median of the left, above and above-right
        // neighbours; outside the picture the left one counts as zero, the top row
        // uses the left one alone and past the right edge the above-right is zero.
        const Vector left = mbx > 0 ? current[static_cast<std::size_t>(mbx) - 1] : Vector{};
        Vector predicted = left;
        if (mby > 0) {
          const Vector up = above[static_cast<std::size_t>(mbx)];
          const Vector upRight = mbx + 1 < mbw ? above[static_cast<std::size_t>(mbx) + 1] : Vector{};
          predicted = {Median(left.x, up.x, upRight.x), Median(left.y, up.y, upRight.y)};
        }
        if (!ReadVectorComponent(bits, predicted.x, mv.x) || !ReadVectorComponent(bits, predicted.y, mv.y)) {
          error_ = "bad motion vector";
          return false;
        }
        Frame& ref = *reference_;
        PredictFrom(ref.y.data(), ref.lumaStride, mbw * 16, mbh * 16, mbx * 16 + (mv.x >> 1), mby * 16 + (mv.y >> 1),
                    mv.x & 1, mv.y & 1, luma, target.lumaStride, 16);
        // Chroma moves half as far, a quarter sample rounded to the half sample.
        const int cx = (mv.x >> 1) | (mv.x & 1), cy = (mv.y >> 1) | (mv.y & 1);
        PredictFrom(ref.cb.data(), ref.chromaStride, mbw * 8, mbh * 8, mbx * 8 + (cx >> 1), mby * 8 + (cy >> 1), cx & 1,
                    cy & 1, chroma[0], target.chromaStride, 8);
        PredictFrom(ref.cr.data(), ref.chromaStride, mbw * 8, mbh * 8, mbx * 8 + (cx >> 1), mby * 8 + (cy >> 1), cx & 1,
                    cy & 1, chroma[1], target.chromaStride, 8);
      }
      const int cbp = cbpy << 2 | (mcbpc & 3);
      for (int block = 0; block < 6; ++block) {
        const bool coded = (cbp & (32 >> block)) != 0;
        if (!intra && !coded) continue;
        std::memset(coef, 0, sizeof coef);
        unsigned rows = 0;
        int index = 0;
        if (intra) {
          const unsigned dc = bits.Read(8);
          coef[0] = static_cast<std::int16_t>(dc == 255 ? 1024 : dc * 8);
          rows = 1;
          index = 1;
        }
        if (coded) {
          for (;;) {
            const int code = coefCodes.Read(bits);
            int last, run, level;
            if (code < 0) {
              error_ = "bad coefficient code";
              return false;
            }
            if (code == kEscape) {
              if (header_.version == 0) {
                last = static_cast<int>(bits.Read(1));
                run = static_cast<int>(bits.Read(6));
                level = bits.ReadSigned(8);
              } else {
                const bool wide = bits.Read(1) != 0;
                last = static_cast<int>(bits.Read(1));
                run = static_cast<int>(bits.Read(6));
                level = bits.ReadSigned(wide ? 11 : 7);
              }
            } else {
              last = code >> 12;
              run = (code >> 4) & 0xFF;
              level = code & 0xF;
              if (bits.Read(1)) level = -level;
            }
            index += run;
            if (index > 63) {
              error_ = "coefficients past the end of a block";
              return false;
            }
            // Reconstruction: quant * (2|level| + 1), one less for even quantisers.
            const int magnitude = level == 0 ? 0 : quant * (2 * std::abs(level) + 1) - ((quant & 1) ? 0 : 1);
            const int pos = kZigzag[static_cast<std::size_t>(index)];
            coef[pos] = static_cast<std::int16_t>(std::clamp(level < 0 ? -magnitude : magnitude, -2048, 2047));
            rows |= 1u << (pos >> 3);
            ++index;
            if (last) break;
            if (bits.Overrun()) {
              error_ = "picture cut short";
              return false;
            }
          }
        }
        std::uint8_t* dst;
        int stride;
        if (block < 4) {
          dst = luma + (block >> 1) * 8 * target.lumaStride + (block & 1) * 8;
          stride = target.lumaStride;
        } else {
          dst = chroma[block - 4];
          stride = target.chromaStride;
        }
        if (!InverseTransform(coef, rows, residual)) {
          const int flat = residual[0];
          if (intra) {
            for (int y = 0; y < 8; ++y) std::memset(dst + y * stride, Clip8(flat), 8);
          } else {
            for (int y = 0; y < 8; ++y)
              for (int x = 0; x < 8; ++x)
                dst[y * stride + x] = static_cast<std::uint8_t>(std::min(std::max(dst[y * stride + x] + flat, 0), 255));
          }
          continue;
        }
        for (int y = 0; y < 8; ++y) {
          std::uint8_t* row = dst + y * stride;
          const int* r = residual + y * 8;
          if (intra) {
            for (int x = 0; x < 8; ++x) row[x] = static_cast<std::uint8_t>(std::min(std::max(r[x], 0), 255));
          } else {
            for (int x = 0; x < 8; ++x) row[x] = static_cast<std::uint8_t>(std::min(std::max(row[x] + r[x], 0), 255));
          }
        }
      }
      if (bits.Overrun()) {
        error_ = "picture cut short";
        return false;
      }
    }
    std::swap(above, current);
  }
  return true;
}

PlaneView H263Decoder::Luma() const {
  if (!shown_) return {};
  Frame& f = *shown_;
  return {f.Y(0, 0), header_.width, header_.height, f.lumaStride};
}

PlaneView H263Decoder::Cb() const {
  if (!shown_) return {};
  Frame& f = *shown_;
  return {f.U(0, 0), (header_.width + 1) / 2, (header_.height + 1) / 2, f.chromaStride};
}

PlaneView H263Decoder::Cr() const {
  if (!shown_) return {};
  Frame& f = *shown_;
  return {f.V(0, 0), (header_.width + 1) / 2, (header_.height + 1) / 2, f.chromaStride};
}

int DeblockStrength(int quantizer) {
  static constexpr std::uint8_t kStrength[32] = {0, 1, 1, 2, 2, 3, 3, 4,  4,  4,  5,  5,  6,  6,  7,  7,
                                                 7, 8, 8, 8, 9, 9, 9, 10, 10, 10, 11, 11, 11, 12, 12, 12};
  return kStrength[std::clamp(quantizer, 0, 31)];
}

namespace {

// Smooths the four samples a, b | c, d across a block edge.
inline void FilterEdge(std::uint8_t& a, std::uint8_t& b, std::uint8_t& c, std::uint8_t& d, int strength) {
  const int A = a, B = b, C = c, D = d;
  const int step = (A - 4 * B + 4 * C - D) >> 3;  // arithmetic shifts round down
  // Small steps are smoothed fully, larger ones less and less, the largest not at all.
  const int magnitude = std::abs(step);
  const int ramp = std::max(0, magnitude - std::max(0, 2 * (magnitude - strength)));
  const int d1 = step < 0 ? -ramp : ramp;
  const int limit = std::abs(d1 >> 1);
  const int d2 = std::clamp((A - D) >> 2, -limit, limit);
  a = Clip8(A - d2);
  b = Clip8(B + d1);
  c = Clip8(C - d1);
  d = Clip8(D + d2);
}

}  // namespace

void DeblockPlane(std::uint8_t* plane, int width, int height, int stride, int strength) {
  if (strength <= 0) return;
  // Edges between block rows.
  for (int edge = 8; edge <= height - 2; edge += 8) {
    std::uint8_t* a = plane + (edge - 2) * stride;
    for (int x = 0; x < width; ++x) FilterEdge(a[x], a[x + stride], a[x + 2 * stride], a[x + 3 * stride], strength);
  }
  // Edges between block columns.
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = plane + y * stride;
    for (int edge = 8; edge <= width - 2; edge += 8)
      FilterEdge(row[edge - 2], row[edge - 1], row[edge], row[edge + 1], strength);
  }
}

}  // namespace vantrel::flash::video
