// Pixel Bender kernels written byte by byte: what the reader accepts and refuses, and what
// the machine computes for a pixel.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <limits>

#include "flash/pixel_bender/pixel_bender.h"

namespace vantrel::flash::pixel_bender {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t kInt = 0x8000;

struct Asm {
  Bytes b;
  void U8(int v) { b.push_back(static_cast<std::uint8_t>(v)); }
  void U16(int v) {
    U8(v & 0xFF);
    U8((v >> 8) & 0xFF);
  }
  void FloatBE(float f) {
    const auto bits = std::bit_cast<std::uint32_t>(f);
    for (int shift = 24; shift >= 0; shift -= 8) U8(static_cast<int>((bits >> shift) & 0xFF));
  }
  void Str(const std::string& s) {
    for (char c : s) U8(c);
    U8(0);
  }
  Asm& Version() {
    U8(0xA5);
    U8(1), U8(0), U8(0), U8(0);
    return *this;
  }
  Asm& Param(bool out, Type type, int reg, int mask, const std::string& name) {
    U8(0xA1);
    U8(out ? 2 : 1);
    U8(static_cast<int>(type));
    U16(reg);
    U8(mask);
    Str(name);
    return *this;
  }
  Asm& DefaultFloat(Type type, std::vector<float> values) {
    U8(0xA2);
    U8(static_cast<int>(type));
    Str("defaultValue");
    for (float v : values) FloatBE(v);
    return *this;
  }
  Asm& Texture(int index, int channels, const std::string& name) {
    U8(0xA3);
    U8(index);
    U8(channels);
    Str(name);
    return *this;
  }
  // dst mask: 8 = r, 4 = g, 2 = b, 1 = a; swizzle letters for the source.
  Asm& Op(Op op, int dst, int mask, int src, const std::string& swizzle, int texture = 0) {
    U8(static_cast<int>(op));
    U16(dst);
    U8((mask << 4) | static_cast<int>(swizzle.size() - 1));
    U16(src);
    int sw = 0;
    for (std::size_t i = 0; i < 4; ++i) {
      const char c = i < swizzle.size() ? swizzle[i] : 'r';
      sw |= static_cast<int>(std::string("rgba").find(c)) << (6 - 2 * static_cast<int>(i));
    }
    U8(sw);
    U8(texture);
    return *this;
  }
  Asm& LoadFloat(int dst, int mask, float v) {
    U8(static_cast<int>(Op::LoadConstant));
    U16(dst);
    U8(mask << 4);
    FloatBE(v);
    return *this;
  }
  Asm& LoadInt(int dst, int mask, std::int32_t v) {
    U8(static_cast<int>(Op::LoadConstant));
    U16(dst | kInt);
    U8(mask << 4);
    for (int shift = 0; shift < 32; shift += 8) U8((v >> shift) & 0xFF);
    return *this;
  }
  Asm& If(int intReg, char channel) { return Op(Op::If, 0, 0, intReg | kInt, std::string(1, channel)); }
  Asm& Plain(pixel_bender::Op op) { return Op(op, 0, 0, 0, "r"); }
  Asm& Select(int dst, int mask, int cond, char condChannel, int a, char aChannel, int b, char bChannel) {
    Op(Op::Select, dst, mask, cond | kInt, std::string(1, condChannel));
    U16(a);
    U8(static_cast<int>(std::string("rgba").find(aChannel)) << 6);
    U8(0);
    U16(b);
    U8(static_cast<int>(std::string("rgba").find(bChannel)) << 6);
    U8(0);
    return *this;
  }
  // A float4 output in f0 with the code before it.
  static Asm WithOutput() {
    Asm a;
    a.Version().Param(true, Type::Float4, 0, 0xF, "dst");
    return a;
  }
};

ReadError Read(const Bytes& b, Kernel& k) { return ReadKernel(b, k); }

std::vector<float> RunOne(const Bytes& b, RunInputs inputs = {}, int x = 0, int y = 0) {
  Kernel k;
  EXPECT_EQ(ReadKernel(b, k), ReadError::None);
  int channels = 0;
  const auto all = Run(k, inputs, x + 1, y + 1, &channels);
  const auto at = static_cast<std::size_t>((y * (x + 1) + x) * channels);
  return std::vector<float>(all.begin() + static_cast<long>(at), all.begin() + static_cast<long>(at) + channels);
}

TEST(PixelBenderReader, ReadsTheKernelDescription) {
  Asm a;
  a.Version();
  a.U8(0xA4), a.U16(4), a.Str("blur"), a.b.pop_back();  // counted name, no terminator
  a.U8(0xA0), a.U8(static_cast<int>(Type::String)), a.Str("vendor"), a.Str("Us");
  a.U8(0xA0), a.U8(static_cast<int>(Type::Int)), a.Str("version"), a.U16(3);
  a.Param(false, Type::Float2, 0, 0x3, "_OutCoord");
  a.Param(false, Type::Float, 1, 0x8, "amount").DefaultFloat(Type::Float, {0.25f});
  a.Param(false, Type::Int2, 1 | kInt, 0xC, "steps");
  a.Texture(0, 4, "src");
  a.Param(true, Type::Float4, 2, 0xF, "dst");
  Kernel k;
  ASSERT_EQ(Read(a.b, k), ReadError::None);
  EXPECT_EQ(k.version, 1u);
  EXPECT_EQ(k.name, "blur");
  ASSERT_EQ(k.meta.size(), 2u);
  EXPECT_EQ(k.meta[0].value.text, "Us");
  EXPECT_EQ(k.meta[1].value.numbers, std::vector<double>{3});
  ASSERT_EQ(k.parameters.size(), 4u);
  EXPECT_EQ(DefaultValue(k.parameters[1]), std::vector<double>{0.25});
  EXPECT_EQ(DefaultValue(k.parameters[2]), (std::vector<double>{0, 0}));
  EXPECT_EQ(TypeName(k.parameters[2].type), "int2");
  ASSERT_EQ(k.textures.size(), 1u);
  EXPECT_EQ(k.textures[0].name, "src");
  EXPECT_EQ(k.OutputParameter(), 3);
}

TEST(PixelBenderReader, RefusesMalformedBytecode) {
  Kernel k;
  EXPECT_EQ(Read({}, k), ReadError::Invalid);
  EXPECT_EQ(Read({0x00}, k), ReadError::EndOfFile);  // an instruction cut short
  EXPECT_EQ(Read({0xA4}, k), ReadError::EndOfFile);
  EXPECT_EQ(Read({0xA1, 1, 1, 0, 0, 8, 'x'}, k), ReadError::EndOfFile);  // name without its end
  EXPECT_EQ(Read({0x7F, 0, 0, 0, 0, 0, 0, 0}, k), ReadError::Invalid);   // no such opcode

  // No output parameter.
  Asm none;
  none.Version().Param(false, Type::Float, 1, 8, "in").LoadFloat(0, 1, 1.0f);
  EXPECT_EQ(Read(none.b, k), ReadError::Invalid);

  // Operands of the wrong kind: float-only functions on ints, a mixed move, a float condition.
  EXPECT_EQ(Read(Asm::WithOutput().Op(Op::Ceil, 1 | kInt, 4, 1 | kInt, "r").b, k), ReadError::Invalid);
  EXPECT_EQ(Read(Asm::WithOutput().Op(Op::Sign, 1, 4, 1 | kInt, "r").b, k), ReadError::Invalid);
  EXPECT_EQ(Read(Asm::WithOutput().Op(Op::Mov, 1 | kInt, 4, 1, "r").b, k), ReadError::Invalid);
  EXPECT_EQ(Read(Asm::WithOutput().Op(Op::If, 0, 0, 1, "r").Plain(Op::EndIf).b, k), ReadError::Invalid);
  EXPECT_EQ(Read(Asm::WithOutput().Select(0, 4, 1, 'r', 2 | kInt, 'r', 2, 'g').b, k), ReadError::Invalid);
  // A write mask that does not match the source's size.
  EXPECT_EQ(Read(Asm::WithOutput().Op(Op::Add, 1, 0xC, 2, "r").b, k), ReadError::Invalid);

  // Conditionals must balance.
  EXPECT_EQ(Read(Asm::WithOutput().If(1, 'r').b, k), ReadError::Invalid);
  EXPECT_EQ(Read(Asm::WithOutput().Plain(Op::Else).b, k), ReadError::Invalid);
  EXPECT_EQ(Read(Asm::WithOutput().If(1, 'r').Plain(Op::Else).Plain(Op::Else).Plain(Op::EndIf).b, k), ReadError::Invalid);
  // Sampling a texture the kernel does not declare.
  EXPECT_EQ(Read(Asm::WithOutput().Op(Op::SampleNearest, 0, 0xF, 1, "rg", 3).b, k), ReadError::Invalid);
}

TEST(PixelBenderReader, PaddingBytesOfInstructionsAreIgnored) {
  Asm a = Asm::WithOutput();
  a.LoadInt(1, 8, 1).LoadFloat(1, 8, 0.5f);
  a.If(1, 'r');
  const std::size_t ifAt = a.b.size() - 8;
  a.Plain(Op::Else).Plain(Op::EndIf);
  a.Op(Op::Mov, 0, 0x8, 1, "r");
  const std::size_t movAt = a.b.size() - 8;
  // the If's destination and texture bytes, the Else's and EndIf's operands, the move's texture
  for (std::size_t i : {ifAt + 1, ifAt + 2, ifAt + 3, ifAt + 7, ifAt + 9, ifAt + 12, ifAt + 15, ifAt + 20, movAt + 7}) a.b[i] = 1;
  EXPECT_EQ(RunOne(a.b)[0], 0.5f);
}

TEST(PixelBenderRun, ArithmeticHonoursSwizzlesAndWriteMasks) {
  Asm a = Asm::WithOutput();
  a.LoadFloat(1, 8, 1.5f).LoadFloat(1, 4, -2.0f).LoadFloat(1, 2, 4.0f).LoadFloat(1, 1, 0.25f);
  a.Op(Op::Mov, 0, 0xF, 1, "abgr");    // reversed
  a.Op(Op::Mul, 0, 0x6, 1, "rr");      // g, b times 1.5
  a.Op(Op::Ceil, 0, 0x8, 0, "g");      // r = ceil(g)
  a.Op(Op::Sign, 2, 0x8, 1, "g");      // f2.r = -1
  a.Op(Op::Add, 0, 0x1, 2, "r");       // a = 1.5 - 1
  const auto px = RunOne(a.b);
  EXPECT_EQ(px, (std::vector<float>{6.0f, 6.0f, -3.0f, 0.5f}));
}

TEST(PixelBenderRun, IntegerRegistersConvertAndNeverTrap) {
  Asm a = Asm::WithOutput();
  a.LoadInt(1, 8, 7).LoadInt(1, 4, 0).LoadInt(1, 2, std::numeric_limits<std::int32_t>::min()).LoadInt(1, 1, -1);
  a.Op(Op::Div, 2 | kInt, 0x8, 1 | kInt, "g");  // 0 / 0
  a.Op(Op::Mov, 3 | kInt, 0x8, 1 | kInt, "b");
  a.Op(Op::Div, 3 | kInt, 0x8, 1 | kInt, "a");  // INT_MIN / -1
  a.Op(Op::IntToFloat, 0, 0x8, 1 | kInt, "r");
  a.Op(Op::IntToFloat, 0, 0x4, 2 | kInt, "r");
  a.LoadFloat(4, 8, -2.75f);
  a.Op(Op::FloatToInt, 5 | kInt, 0x8, 4, "r");  // truncates toward zero
  a.Op(Op::IntToFloat, 0, 0x2, 5 | kInt, "r");
  a.Op(Op::IntToFloat, 0, 0x1, 3 | kInt, "r");
  const auto px = RunOne(a.b);
  EXPECT_EQ(px[0], 7.0f);
  EXPECT_EQ(px[1], 0.0f);
  EXPECT_EQ(px[2], -2.0f);
  EXPECT_EQ(px[3], static_cast<float>(std::numeric_limits<std::int32_t>::min()));
}

TEST(PixelBenderRun, ComparisonsDriveConditionalsAndSelect) {
  // r: if (1 < 2) 1 else 0; g: nested if on a false condition; b: select on the comparison.
  Asm a = Asm::WithOutput();
  a.LoadFloat(1, 8, 1.0f).LoadFloat(1, 4, 2.0f).LoadFloat(1, 2, 0.25f).LoadFloat(1, 1, 0.75f);
  a.Op(Op::LessThan, 1, 0x8, 1, "g");
  a.Op(Op::Mov, 2 | kInt, 0x8, 0 | kInt, "r");  // the answer lands in i0.r
  a.If(2, 'r').LoadFloat(0, 8, 1.0f).Plain(Op::Else).LoadFloat(0, 8, 0.5f).Plain(Op::EndIf);
  a.LoadInt(2, 4, 0);
  a.If(2, 'g').LoadFloat(0, 4, 0.1f).If(2, 'r').LoadFloat(0, 4, 0.2f).Plain(Op::EndIf);
  a.Plain(Op::Else).LoadFloat(0, 4, 0.3f).Plain(Op::EndIf);
  a.Op(Op::Equal, 1, 0x8, 1, "g");  // 1 == 2: false
  a.Select(0, 0x2, 0, 'r', 1, 'b', 1, 'a');
  a.LoadFloat(0, 1, 1.0f);
  const auto px = RunOne(a.b);
  EXPECT_EQ(px, (std::vector<float>{1.0f, 0.3f, 0.75f, 1.0f}));
}

TEST(PixelBenderRun, ParametersCoordinatesAndTextures) {
  Asm a;
  a.Version();
  a.Param(false, Type::Float2, 0, 0xC, "_OutCoord");
  a.Param(false, Type::Float, 0, 0x2, "gain").DefaultFloat(Type::Float, {2.0f});
  a.Texture(0, 2, "src");
  a.Param(true, Type::Float4, 1, 0xF, "dst");
  a.Op(Op::SampleNearest, 1, 0xC, 0, "rg", 0);  // r, g from the image at the pixel
  a.Op(Op::Mul, 1, 0x8, 0, "b");                 // r *= gain
  a.Op(Op::Mov, 1, 0x3, 0, "rg");                // b, a = coordinate
  Image image{2, 2, 2, {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f}};
  RunInputs in;
  in.textures = {&image};
  auto px = RunOne(a.b, in, 1, 1);
  EXPECT_FLOAT_EQ(px[0], 1.4f);
  EXPECT_FLOAT_EQ(px[1], 0.8f);
  EXPECT_EQ(px[2], 1.5f);
  EXPECT_EQ(px[3], 1.5f);
  // A value set by the script replaces the default.
  in.parameters = {{}, {0.5}, {}};
  px = RunOne(a.b, in, 1, 1);
  EXPECT_FLOAT_EQ(px[0], 0.35f);
}

TEST(PixelBenderRun, MatricesAreStoredColumnByColumn) {
  // m = [[1, 3], [2, 4]] given as 1, 2, 3, 4; v = (1, 2).
  Asm a;
  a.Version().Param(false, Type::Float2x2, 2, 2, "m").Param(true, Type::Float4, 0, 0xF, "dst");
  a.LoadFloat(0, 8, 1.0f).LoadFloat(0, 4, 2.0f).Op(Op::Mov, 0, 0x3, 0, "rg");
  a.Op(Op::VecMatMul, 0, 0xC, 2, "r");  // v * m: (1*1 + 2*2, 1*3 + 2*4)
  a.b[a.b.size() - 5] |= 0x04;          // the source is a 2x2 matrix
  a.Op(Op::MatVecMul, 0, 0x3, 2, "r");  // m * v: (1*1 + 3*2, 2*1 + 4*2)
  a.b[a.b.size() - 5] |= 0x04;
  RunInputs in;
  in.parameters = {{1, 2, 3, 4}, {}};
  EXPECT_EQ(RunOne(a.b, in), (std::vector<float>{5, 11, 7, 10}));
  // Matrix operands only make sense for the multiplications and moves.
  Asm bad = a;
  bad.Op(Op::Add, 0, 0xC, 2, "r");
  bad.b[bad.b.size() - 5] |= 0x04;
  Kernel k;
  EXPECT_EQ(Read(bad.b, k), ReadError::Invalid);
}

TEST(PixelBenderRun, LinearSamplingBlendsNeighboursAndOutsideIsTransparent) {
  Asm a;
  a.Version().Param(false, Type::Float2, 1, 0xC, "at").Texture(0, 1, "src").Param(true, Type::Float4, 0, 0xF, "dst");
  a.Op(Op::SampleLinear, 0, 0x8, 1, "rg", 0);
  a.Op(Op::SampleNearest, 0, 0x4, 1, "rg", 0);
  Image image{2, 1, 1, {0.0f, 1.0f}};
  RunInputs in;
  in.textures = {&image};
  in.parameters = {{1.0, 0.5}, {}};
  auto px = RunOne(a.b, in);
  EXPECT_FLOAT_EQ(px[0], 0.5f);  // halfway between the two pixel centres
  EXPECT_EQ(px[1], 1.0f);
  in.parameters = {{-3.0, 0.5}, {}};
  px = RunOne(a.b, in);
  EXPECT_EQ(px[0], 0.0f);
  EXPECT_EQ(px[1], 0.0f);
}

TEST(PixelBenderRun, ScriptNumbersBeyondTheFloatRangeSaturate) {
  Asm a;
  a.Version().Param(false, Type::Float, 1, 8, "f").Param(false, Type::Int, 1 | kInt, 8, "i");
  a.Param(true, Type::Float2, 0, 0xC, "dst");
  a.Op(Op::Mov, 0, 0x8, 1, "r").Op(Op::IntToFloat, 0, 0x4, 1 | kInt, "r");
  RunInputs in;
  in.parameters = {{-1e300}, {1e300}, {}};
  const auto px = RunOne(a.b, in);
  EXPECT_EQ(px[0], -std::numeric_limits<float>::infinity());
  EXPECT_EQ(px[1], static_cast<float>(std::numeric_limits<std::int32_t>::max()));
}

TEST(PixelBenderRun, TheLastOutputParameterIsThePixel) {
  Asm a;
  a.Version().Param(true, Type::Float4, 0, 0xF, "first").Param(true, Type::Float3, 1, 0xE, "second");
  a.LoadFloat(0, 8, 0.9f).LoadFloat(1, 8, 0.6f).LoadFloat(1, 4, 0.5f).LoadFloat(1, 2, 0.4f);
  EXPECT_EQ(RunOne(a.b), (std::vector<float>{0.6f, 0.5f, 0.4f}));
}

}  // namespace
}  // namespace vantrel::flash::pixel_bender
