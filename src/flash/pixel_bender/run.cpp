// The kernel machine: one pass of the instruction list for each output pixel, on a file of
// four-channel float and int registers, with 32-bit float arithmetic as the player has it.
#include <algorithm>
#include <array>
#include <cmath>
#include <bit>
#include <limits>
#include <unordered_map>

#include "flash/pixel_bender/pixel_bender.h"

namespace vantrel::flash::pixel_bender {

namespace {

using Vec = std::array<float, 4>;
using IVec = std::array<std::int32_t, 4>;

constexpr std::uint16_t kIntBit = 0x8000;

int Channel(std::uint8_t swizzle, int k) { return (swizzle >> (6 - 2 * k)) & 3; }

// The channels a write mask selects, in r, g, b, a order.
int MaskChannels(std::uint8_t mask, int* out) {
  int n = 0;
  for (int c = 0; c < 4; ++c) {
    if (mask & (8 >> c)) out[n++] = c;
  }
  return n;
}

std::int32_t ToInt(float f) {
  if (std::isnan(f)) return 0;
  if (f >= 2147483647.0f) return std::numeric_limits<std::int32_t>::max();
  if (f <= -2147483648.0f) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(f);
}

std::int32_t Wrap(std::int64_t v) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(v)); }

float Sample(const Image* image, float x, float y, int channel, bool linear) {
  if (!image || channel >= image->channels) return 0.0f;
  auto at = [&](int px, int py) -> float {
    if (px < 0 || py < 0 || px >= image->width || py >= image->height) return 0.0f;
    return image->pixels[(static_cast<std::size_t>(py) * static_cast<std::size_t>(image->width) +
                          static_cast<std::size_t>(px)) *
                             static_cast<std::size_t>(image->channels) +
                         static_cast<std::size_t>(channel)];
  };
  if (!std::isfinite(x) || !std::isfinite(y) || std::fabs(x) > 1e8f || std::fabs(y) > 1e8f) return 0.0f;
  if (!linear) return at(static_cast<int>(std::floor(x)), static_cast<int>(std::floor(y)));
  const float fx = x - 0.5f;
  const float fy = y - 0.5f;
  const float x0 = std::floor(fx);
  const float y0 = std::floor(fy);
  const float tx = fx - x0;
  const float ty = fy - y0;
  const int ix = static_cast<int>(x0);
  const int iy = static_cast<int>(y0);
  const float top = at(ix, iy) * (1 - tx) + at(ix + 1, iy) * tx;
  const float bottom = at(ix, iy + 1) * (1 - tx) + at(ix + 1, iy + 1) * tx;
  return top * (1 - ty) + bottom * ty;
}

class Machine {
 public:
  Machine(const Kernel& kernel, const RunInputs& inputs)
      : k_(kernel), in_(inputs), f_(std::max<std::size_t>(kernel.floatRegisters, 1)),
        i_(std::max<std::size_t>(kernel.intRegisters, 1)) {
    for (const Texture& t : kernel.textures) {
      const std::size_t at = static_cast<std::size_t>(&t - kernel.textures.data());
      textures_[t.index] = at < inputs.textures.size() ? inputs.textures[at] : nullptr;
    }
  }

  void LoadParameters() {
    for (std::size_t p = 0; p < k_.parameters.size(); ++p) {
      const Parameter& param = k_.parameters[p];
      if (param.output) continue;
      if (param.name == "_OutCoord") {
        coord_ = static_cast<int>(p);
        continue;
      }
      std::vector<double> values =
          p < in_.parameters.size() && !in_.parameters[p].empty() ? in_.parameters[p] : DefaultValue(param);
      values.resize(static_cast<std::size_t>(TypeSize(param.type)), 0.0);
      const int reg = param.reg & ~kIntBit;
      if (IsMatrixType(param.type)) {
        const int side = param.mask;
        for (int c = 0; c < side; ++c) {
          for (int r = 0; r < side; ++r) SetMatrix(param.reg, side, c, r, ToFloat(values[static_cast<std::size_t>(c * side + r)]));
        }
        continue;
      }
      int channels[4];
      const int n = MaskChannels(param.mask, channels);
      for (int j = 0; j < n; ++j) {
        if (param.reg & kIntBit) {
          i_[static_cast<std::size_t>(reg)][static_cast<std::size_t>(channels[j])] = ToInt(ToFloat(values[static_cast<std::size_t>(j)]));
        } else {
          f_[static_cast<std::size_t>(reg)][static_cast<std::size_t>(channels[j])] = ToFloat(values[static_cast<std::size_t>(j)]);
        }
      }
    }
    initialF_ = f_;
    initialI_ = i_;
  }

  // Runs one pixel and appends the output's channels to out.
  void Pixel(int x, int y, std::vector<float>& out) {
    std::copy(initialF_.begin(), initialF_.end(), f_.begin());
    std::copy(initialI_.begin(), initialI_.end(), i_.begin());
    if (coord_ >= 0) {
      const Parameter& c = k_.parameters[static_cast<std::size_t>(coord_)];
      int channels[4];
      const int n = MaskChannels(c.mask, channels);
      const float xy[2] = {static_cast<float>(x) + 0.5f, static_cast<float>(y) + 0.5f};
      for (int j = 0; j < n && j < 2; ++j) F(c.reg)[static_cast<std::size_t>(channels[j])] = xy[j];
    }
    Execute();
    const Parameter& o = k_.parameters[static_cast<std::size_t>(k_.OutputParameter())];
    int channels[4];
    const int n = IsMatrixType(o.type) ? 0 : MaskChannels(o.mask, channels);
    for (int j = 0; j < n; ++j) {
      const auto c = static_cast<std::size_t>(channels[j]);
      out.push_back((o.reg & kIntBit) ? static_cast<float>(I(o.reg)[c]) : F(o.reg)[c]);
    }
  }

 private:
  Vec& F(std::uint16_t reg) { return f_[std::min<std::size_t>(reg & ~kIntBit, f_.size() - 1)]; }
  IVec& I(std::uint16_t reg) { return i_[std::min<std::size_t>(reg & ~kIntBit, i_.size() - 1)]; }

  // Matrices are stored column by column: a 2x2 in one register, larger ones a column a
  // register.
  float& MatrixCell(std::uint16_t reg, int side, int col, int row) {
    if (side == 2) return F(reg)[static_cast<std::size_t>(col * 2 + row)];
    return F(static_cast<std::uint16_t>(reg + col))[static_cast<std::size_t>(row)];
  }
  void SetMatrix(std::uint16_t reg, int side, int col, int row, float v) { MatrixCell(reg, side, col, row) = v; }

  void ReadFloats(std::uint16_t reg, std::uint8_t swizzle, int n, float* out) {
    const Vec v = F(reg);
    for (int j = 0; j < n; ++j) out[j] = v[static_cast<std::size_t>(Channel(swizzle, j))];
  }
  void ReadInts(std::uint16_t reg, std::uint8_t swizzle, int n, std::int32_t* out) {
    const IVec v = I(reg);
    for (int j = 0; j < n; ++j) out[j] = v[static_cast<std::size_t>(Channel(swizzle, j))];
  }

  void MatrixOp(const Instruction& ins) {
    const int side = ins.matrix;
    float a[16];
    float b[16];
    for (int c = 0; c < side; ++c) {
      for (int r = 0; r < side; ++r) b[c * side + r] = MatrixCell(ins.src, side, c, r);
    }
    if (ins.op == Op::Mov || ins.op == Op::MatMatMul) {
      for (int c = 0; c < side; ++c) {
        for (int r = 0; r < side; ++r) a[c * side + r] = MatrixCell(ins.dst, side, c, r);
      }
      for (int c = 0; c < side; ++c) {
        for (int r = 0; r < side; ++r) {
          float v = b[c * side + r];
          if (ins.op == Op::MatMatMul) {
            v = 0;
            for (int m = 0; m < side; ++m) v += a[m * side + r] * b[c * side + m];
          }
          MatrixCell(ins.dst, side, c, r) = v;
        }
      }
      return;
    }
    int channels[4];
    MaskChannels(ins.dstMask, channels);
    Vec& d = F(ins.dst);
    float v[4];
    for (int j = 0; j < side; ++j) v[j] = d[static_cast<std::size_t>(channels[j])];
    for (int j = 0; j < side; ++j) {
      float sum = 0;
      for (int m = 0; m < side; ++m) {
        sum += ins.op == Op::VecMatMul ? v[m] * b[j * side + m] : b[m * side + j] * v[m];
      }
      d[static_cast<std::size_t>(channels[j])] = sum;
    }
  }

  void FloatOp(const Instruction& ins) {
    float s[4];
    ReadFloats(ins.src, ins.swizzle, ins.size, s);
    int channels[4];
    const int n = MaskChannels(ins.dstMask, channels);
    Vec& d = F(ins.dst);
    switch (ins.op) {
      case Op::Length:
      case Op::Dot:
      case Op::Distance: {
        // The first operand starts at the destination's channel.
        float sum = 0;
        for (int j = 0; j < ins.size; ++j) {
          const float a = d[static_cast<std::size_t>(std::min(channels[0] + j, 3))];
          const float t = ins.op == Op::Length ? s[j] * s[j] : ins.op == Op::Dot ? a * s[j] : (a - s[j]) * (a - s[j]);
          sum += t;
        }
        d[static_cast<std::size_t>(channels[0])] = ins.op == Op::Dot ? sum : std::sqrt(sum);
        return;
      }
      case Op::Normalize: {
        float sum = 0;
        for (int j = 0; j < ins.size; ++j) sum += s[j] * s[j];
        const float len = std::sqrt(sum);
        for (int j = 0; j < n; ++j) d[static_cast<std::size_t>(channels[j])] = s[j] / len;
        return;
      }
      case Op::Cross: {
        const float a[3] = {d[static_cast<std::size_t>(channels[0])], d[static_cast<std::size_t>(channels[1])],
                            d[static_cast<std::size_t>(channels[2])]};
        const float r[3] = {a[1] * s[2] - a[2] * s[1], a[2] * s[0] - a[0] * s[2], a[0] * s[1] - a[1] * s[0]};
        for (int j = 0; j < 3; ++j) d[static_cast<std::size_t>(channels[j])] = r[j];
        return;
      }
      default:
        break;
    }
    for (int j = 0; j < n; ++j) {
      float& out = d[static_cast<std::size_t>(channels[j])];
      const float a = out;
      const float b = s[j];
      switch (ins.op) {
        case Op::Add: out = a + b; break;
        case Op::Sub: out = a - b; break;
        case Op::Mul: out = a * b; break;
        case Op::Div: out = a / b; break;
        case Op::Rcp: out = 1.0f / b; break;
        case Op::Atan2: out = std::atan2(a, b); break;
        case Op::Pow: out = std::pow(a, b); break;
        case Op::Mod: out = a - b * std::floor(a / b); break;
        case Op::Min: out = std::min(a, b); break;
        case Op::Max: out = std::max(a, b); break;
        case Op::Step: out = b < a ? 0.0f : 1.0f; break;
        case Op::Sin: out = std::sin(b); break;
        case Op::Cos: out = std::cos(b); break;
        case Op::Tan: out = std::tan(b); break;
        case Op::Asin: out = std::asin(b); break;
        case Op::Acos: out = std::acos(b); break;
        case Op::Atan: out = std::atan(b); break;
        case Op::Exp: out = std::exp(b); break;
        case Op::Exp2: out = std::exp2(b); break;
        case Op::Log: out = std::log(b); break;
        case Op::Log2: out = std::log2(b); break;
        case Op::Sqrt: out = std::sqrt(b); break;
        case Op::RSqrt: out = 1.0f / std::sqrt(b); break;
        case Op::Abs: out = std::fabs(b); break;
        case Op::Sign: out = b > 0 ? 1.0f : b < 0 ? -1.0f : 0.0f; break;
        case Op::Floor: out = std::floor(b); break;
        case Op::Ceil: out = std::ceil(b); break;
        case Op::Fract: out = b - std::floor(b); break;
        case Op::Mov: out = b; break;
        default: break;
      }
    }
  }

  void IntOp(const Instruction& ins) {
    std::int32_t s[4];
    ReadInts(ins.src, ins.swizzle, ins.size, s);
    int channels[4];
    const int n = MaskChannels(ins.dstMask, channels);
    IVec& d = I(ins.dst);
    for (int j = 0; j < n; ++j) {
      std::int32_t& out = d[static_cast<std::size_t>(channels[j])];
      const std::int64_t a = out;
      const std::int64_t b = s[j];
      switch (ins.op) {
        case Op::Add: out = Wrap(a + b); break;
        case Op::Sub: out = Wrap(a - b); break;
        case Op::Mul: out = Wrap(a * b); break;
        case Op::Div: out = b == 0 ? 0 : Wrap(a / b); break;
        case Op::Mov: out = s[j]; break;
        case Op::LogicalNot: out = b == 0 ? 1 : 0; break;
        case Op::LogicalAnd: out = (a != 0 && b != 0) ? 1 : 0; break;
        case Op::LogicalOr: out = (a != 0 || b != 0) ? 1 : 0; break;
        case Op::LogicalXor: out = ((a != 0) != (b != 0)) ? 1 : 0; break;
        case Op::IntToBool: out = b != 0 ? 1 : 0; break;
        case Op::BoolToInt: out = b != 0 ? 1 : 0; break;
        default: break;
      }
    }
  }

  // Comparisons leave their answer in i0.r, where a following If or Select finds it.
  void Compare(const Instruction& ins) {
    int channels[4];
    MaskChannels(ins.dstMask, channels);
    bool all = true;
    bool any = false;
    for (int j = 0; j < ins.size; ++j) {
      double a;
      double b;
      const int dc = std::min(channels[0] + j, 3);
      if (ins.dst & kIntBit) {
        a = I(ins.dst)[static_cast<std::size_t>(dc)];
        b = I(ins.src)[static_cast<std::size_t>(Channel(ins.swizzle, j))];
      } else {
        a = F(ins.dst)[static_cast<std::size_t>(dc)];
        b = F(ins.src)[static_cast<std::size_t>(Channel(ins.swizzle, j))];
      }
      bool r = false;
      switch (ins.op) {
        case Op::Equal:
        case Op::VectorEqual: r = a == b; break;
        case Op::NotEqual:
        case Op::VectorNotEqual: r = a != b; break;
        case Op::LessThan: r = a < b; break;
        case Op::LessThanEqual: r = a <= b; break;
        default: break;
      }
      all = all && r;
      any = any || r;
    }
    const bool result = ins.op == Op::NotEqual || ins.op == Op::VectorNotEqual ? any : all;
    i_[0][0] = result ? 1 : 0;
  }

  void Execute() {
    const std::size_t count = k_.code.size();
    for (std::size_t pc = 0; pc < count; ++pc) {
      const Instruction& ins = k_.code[pc];
      switch (ins.op) {
        case Op::Nop:
        case Op::EndIf:
          break;
        case Op::If: {
          const std::int32_t c = I(ins.src)[static_cast<std::size_t>(Channel(ins.swizzle, 0))];
          if (c == 0) pc = ins.jump - 1;
          break;
        }
        case Op::Else:
          pc = ins.jump - 1;  // the true branch ends here: skip to the EndIf
          break;
        case Op::LoadConstant: {
          int channels[4];
          const int n = MaskChannels(ins.dstMask, channels);
          for (int j = 0; j < n; ++j) {
            const auto c = static_cast<std::size_t>(channels[j]);
            if (ins.dst & kIntBit) {
              I(ins.dst)[c] = ins.constInt;
            } else {
              F(ins.dst)[c] = ins.constFloat;
            }
          }
          break;
        }
        case Op::Select: {
          // Unlike If, which takes any value but 0, select takes only 1 for true.
          const bool c = I(ins.src)[static_cast<std::size_t>(Channel(ins.swizzle, 0))] == 1;
          const std::uint16_t reg = c ? ins.src2 : ins.src3;
          const std::uint8_t swizzle = c ? ins.swizzle2 : ins.swizzle3;
          int channels[4];
          const int n = MaskChannels(ins.dstMask, channels);
          if (ins.dst & kIntBit) {
            std::int32_t v[4];
            ReadInts(reg, swizzle, n, v);
            for (int j = 0; j < n; ++j) I(ins.dst)[static_cast<std::size_t>(channels[j])] = v[j];
          } else {
            float v[4];
            ReadFloats(reg, swizzle, n, v);
            for (int j = 0; j < n; ++j) F(ins.dst)[static_cast<std::size_t>(channels[j])] = v[j];
          }
          break;
        }
        case Op::SampleNearest:
        case Op::SampleLinear: {
          float xy[2];
          ReadFloats(ins.src, ins.swizzle, 2, xy);
          const auto t = textures_.find(ins.texture);
          const Image* image = t == textures_.end() ? nullptr : t->second;
          int channels[4];
          const int n = MaskChannels(ins.dstMask, channels);
          for (int j = 0; j < n; ++j) {
            F(ins.dst)[static_cast<std::size_t>(channels[j])] = Sample(image, xy[0], xy[1], j, ins.op == Op::SampleLinear);
          }
          break;
        }
        case Op::Equal:
        case Op::NotEqual:
        case Op::LessThan:
        case Op::LessThanEqual:
        case Op::VectorEqual:
        case Op::VectorNotEqual:
          Compare(ins);
          break;
        case Op::FloatToInt:
        case Op::FloatToBool: {
          float s[4];
          ReadFloats(ins.src, ins.swizzle, ins.size, s);
          int channels[4];
          const int n = MaskChannels(ins.dstMask, channels);
          for (int j = 0; j < n; ++j) {
            I(ins.dst)[static_cast<std::size_t>(channels[j])] = ins.op == Op::FloatToInt ? ToInt(s[j]) : (s[j] != 0 ? 1 : 0);
          }
          break;
        }
        case Op::IntToFloat:
        case Op::BoolToFloat: {
          std::int32_t s[4];
          ReadInts(ins.src, ins.swizzle, ins.size, s);
          int channels[4];
          const int n = MaskChannels(ins.dstMask, channels);
          for (int j = 0; j < n; ++j) {
            F(ins.dst)[static_cast<std::size_t>(channels[j])] =
                // the player's true converts to -1.0 (all bits set), false to 0
                ins.op == Op::IntToFloat ? static_cast<float>(s[j]) : (s[j] != 0 ? -1.0f : 0.0f);
          }
          break;
        }
        case Op::Any:
        case Op::All: {
          std::int32_t s[4];
          ReadInts(ins.src, ins.swizzle, ins.size, s);
          bool any = false;
          bool all = true;
          for (int j = 0; j < ins.size; ++j) {
            any = any || s[j] != 0;
            all = all && s[j] != 0;
          }
          int channels[4];
          MaskChannels(ins.dstMask, channels);
          I(ins.dst)[static_cast<std::size_t>(channels[0])] = (ins.op == Op::Any ? any : all) ? 1 : 0;
          break;
        }
        case Op::MatMatMul:
        case Op::VecMatMul:
        case Op::MatVecMul:
          MatrixOp(ins);
          break;
        default:
          if (ins.matrix) {
            MatrixOp(ins);
          } else if (ins.dst & kIntBit) {
            IntOp(ins);
          } else {
            FloatOp(ins);
          }
          break;
      }
    }
  }

  const Kernel& k_;
  const RunInputs& in_;
  std::vector<Vec> f_;
  std::vector<IVec> i_;
  std::vector<Vec> initialF_;
  std::vector<IVec> initialI_;
  std::unordered_map<int, const Image*> textures_;
  int coord_ = -1;
};

}  // namespace

// A script's number as a register float: beyond the float range it is infinite.
float ToFloat(double d) {
  if (d > std::numeric_limits<float>::max()) return std::numeric_limits<float>::infinity();
  if (d < -std::numeric_limits<float>::max()) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(d);
}

std::vector<float> Run(const Kernel& kernel, const RunInputs& inputs, int width, int height, int* outChannels) {
  std::vector<float> out;
  const int o = kernel.OutputParameter();
  if (outChannels) *outChannels = 0;
  if (o < 0 || width <= 0 || height <= 0) return out;
  const Parameter& param = kernel.parameters[static_cast<std::size_t>(o)];
  const int channels = IsMatrixType(param.type) ? 0 : std::popcount(static_cast<unsigned>(param.mask & 0xF));
  if (outChannels) *outChannels = channels;
  Machine machine(kernel, inputs);
  machine.LoadParameters();
  out.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * static_cast<std::size_t>(channels));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) machine.Pixel(x, y, out);
  }
  return out;
}

}  // namespace vantrel::flash::pixel_bender
