// Pixel Bender kernels (.pbj bytecode): the reader with its checks, and the machine that
// runs a kernel once per output pixel over float images.
//
// The bytecode is a flat list of records, each starting with an opcode byte: 0xA0-0xA5 are
// the kernel's description (metadata, parameters, textures, name, version), everything
// else is an instruction of 8 bytes (16 for select). Registers hold four channels each;
// integer registers have the 0x8000 bit in their number.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vantrel::flash::pixel_bender {

enum class Type : std::uint8_t {
  Float = 1,
  Float2,
  Float3,
  Float4,
  Float2x2,
  Float3x3,
  Float4x4,
  Int,
  Int2,
  Int3,
  Int4,
  String,
  Bool,
  Bool2,
  Bool3,
  Bool4,
};

// The name the script sees ("float2", "bool4", "matrix3x3"...); empty for unknown types.
std::string TypeName(Type type);
// How many numbers a value of the type holds (0 for strings).
int TypeSize(Type type);
bool IsFloatType(Type type);
bool IsMatrixType(Type type);

struct Value {
  Type type = Type::Float;
  std::vector<double> numbers;  // floats, ints and bools alike
  std::string text;             // strings
};

struct Meta {
  std::string key;
  Value value;
};

struct Parameter {
  bool output = false;
  Type type = Type::Float;
  std::uint16_t reg = 0;  // with 0x8000 for integer registers
  std::uint8_t mask = 0;  // channels written (8 = r ... 1 = a), or the matrix size
  std::string name;
  std::vector<Meta> meta;
};

struct Texture {
  std::uint8_t index = 0;
  std::uint8_t channels = 0;
  std::string name;
  std::vector<Meta> meta;
};

enum class Op : std::uint8_t {
  Nop = 0x00,
  Add,
  Sub,
  Mul,
  Rcp,
  Div,
  Atan2,
  Pow,
  Mod,
  Min,
  Max,
  Step,
  Sin,
  Cos,
  Tan,
  Asin,
  Acos,
  Atan,
  Exp,
  Exp2,
  Log,
  Log2,
  Sqrt,
  RSqrt,
  Abs,
  Sign,
  Floor,
  Ceil,
  Fract,
  Mov,
  FloatToInt,
  IntToFloat,
  MatMatMul,
  VecMatMul,
  MatVecMul,
  Normalize,
  Length,
  Distance,
  Dot,
  Cross,
  Equal,
  NotEqual,
  LessThan,
  LessThanEqual,
  LogicalNot,
  LogicalAnd,
  LogicalOr,
  LogicalXor,
  SampleNearest,
  SampleLinear,
  LoadConstant,
  Select,
  If,
  Else,
  EndIf,
  FloatToBool,
  BoolToFloat,
  IntToBool,
  BoolToInt,
  VectorEqual,
  VectorNotEqual,
  Any,
  All,
};

struct Instruction {
  Op op = Op::Nop;
  std::uint16_t dst = 0;
  std::uint8_t dstMask = 0;   // 8 = r, 4 = g, 2 = b, 1 = a; 0 with a matrix = the whole matrix
  std::uint8_t size = 1;      // channels read from the source
  std::uint8_t matrix = 0;    // 0, or 2/3/4 for a matrix operand
  std::uint16_t src = 0;
  std::uint8_t swizzle = 0;   // two bits a channel, first channel in the top bits
  std::uint8_t texture = 0;
  // select: the values for true and false
  std::uint16_t src2 = 0;
  std::uint8_t swizzle2 = 0;
  std::uint16_t src3 = 0;
  std::uint8_t swizzle3 = 0;
  // LoadConstant
  float constFloat = 0;
  std::int32_t constInt = 0;
  // If/Else: where the other branch starts (the instruction after the Else, or the EndIf)
  std::uint32_t jump = 0;
};

struct Kernel {
  std::uint32_t version = 0;
  std::string name;
  std::vector<Meta> meta;
  std::vector<Parameter> parameters;  // in file order, inputs and outputs
  std::vector<Texture> textures;
  std::vector<Instruction> code;
  std::uint16_t floatRegisters = 0;   // registers the code and parameters touch
  std::uint16_t intRegisters = 0;

  // The parameter the pixels come from: the last output one (-1 when there is none).
  int OutputParameter() const;
};

enum class ReadError {
  None,
  Invalid,    // the player's ArgumentError #2004
  EndOfFile,  // EOFError #2030
};

// Reads and checks a kernel. Malformed bytecode (unknown records, operands of the wrong
// kind, unbalanced conditionals, no output) is Invalid; bytes ending inside a record are
// EndOfFile.
ReadError ReadKernel(std::span<const std::uint8_t> bytes, Kernel& kernel);

// One input image of a run: `channels` floats a pixel, row by row.
struct Image {
  int width = 0;
  int height = 0;
  int channels = 4;
  std::vector<float> pixels;
};

struct RunInputs {
  // One entry a parameter (same order as Kernel::parameters): the numbers set by the
  // script, or empty for the parameter's default value.
  std::vector<std::vector<double>> parameters;
  // One entry a texture (same order as Kernel::textures).
  std::vector<const Image*> textures;
};

// Runs the kernel for every pixel of a width x height output and returns the output
// parameter's channels for each pixel (outChannels a pixel). The pixel's coordinate
// (its centre) goes to the "_OutCoord" parameter.
std::vector<float> Run(const Kernel& kernel, const RunInputs& inputs, int width, int height, int* outChannels);

// A number as a 32-bit float, infinite beyond the float range.
float ToFloat(double d);

// The default value of a parameter ("defaultValue" metadata), or zeros.
std::vector<double> DefaultValue(const Parameter& parameter);

}  // namespace vantrel::flash::pixel_bender
