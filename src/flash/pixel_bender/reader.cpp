// Reads .pbj bytecode into a Kernel and checks it the way the player does before any
// pixel is computed: operands of the right kind, balanced conditionals, an output.
#include <bit>
#include <cstring>

#include "flash/pixel_bender/pixel_bender.h"

namespace vantrel::flash::pixel_bender {

namespace {

constexpr std::uint16_t kIntBit = 0x8000;
// Far more than any compiled kernel uses; keeps the register file of a run small.
constexpr std::uint16_t kMaxRegister = 4096;

struct Cursor {
  std::span<const std::uint8_t> bytes;
  std::size_t at = 0;
  bool eof = false;

  bool Need(std::size_t n) {
    if (bytes.size() - at < n) {
      eof = true;
      at = bytes.size();
      return false;
    }
    return true;
  }
  std::uint8_t U8() {
    if (!Need(1)) return 0;
    return bytes[at++];
  }
  std::uint16_t U16() {
    if (!Need(2)) return 0;
    const std::uint16_t v = static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
    at += 2;
    return v;
  }
  std::uint32_t U32() {
    if (!Need(4)) return 0;
    const std::uint32_t v = static_cast<std::uint32_t>(bytes[at]) | (static_cast<std::uint32_t>(bytes[at + 1]) << 8) |
                            (static_cast<std::uint32_t>(bytes[at + 2]) << 16) |
                            (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
    at += 4;
    return v;
  }
  // Floats are stored big-endian, unlike everything else.
  float FloatBE() {
    if (!Need(4)) return 0;
    const std::uint32_t v = (static_cast<std::uint32_t>(bytes[at]) << 24) |
                            (static_cast<std::uint32_t>(bytes[at + 1]) << 16) |
                            (static_cast<std::uint32_t>(bytes[at + 2]) << 8) | bytes[at + 3];
    at += 4;
    return std::bit_cast<float>(v);
  }
  std::string CString() {
    for (std::size_t i = at; i < bytes.size(); ++i) {
      if (bytes[i] == 0) {
        std::string s(reinterpret_cast<const char*>(bytes.data() + at), i - at);
        at = i + 1;
        return s;
      }
    }
    eof = true;
    at = bytes.size();
    return {};
  }
  std::string Counted() {
    const std::uint16_t n = U16();
    if (!Need(n)) return {};
    std::string s(reinterpret_cast<const char*>(bytes.data() + at), n);
    at += n;
    return s;
  }
};

bool KnownType(std::uint8_t t) { return t >= 1 && t <= 16; }

bool ReadValue(Cursor& in, Type type, Value& value) {
  value.type = type;
  if (type == Type::String) {
    value.text = in.CString();
    return true;
  }
  const int n = TypeSize(type);
  for (int i = 0; i < n; ++i) value.numbers.push_back(IsFloatType(type) ? in.FloatBE() : in.U16());
  return true;
}

bool IsInt(std::uint16_t reg) { return (reg & kIntBit) != 0; }
int RegIndex(std::uint16_t reg) { return reg & ~kIntBit; }

int MaskCount(std::uint8_t mask) { return std::popcount(static_cast<unsigned>(mask & 0xF)); }

// Marks the registers an operand touches (a matrix spans several).
void Touch(Kernel& k, std::uint16_t reg, int matrix) {
  const int span = matrix == 3 ? 3 : matrix == 4 ? 4 : 1;
  const int end = RegIndex(reg) + span;
  std::uint16_t& count = IsInt(reg) ? k.intRegisters : k.floatRegisters;
  if (end > count) count = static_cast<std::uint16_t>(end);
}

enum class Kind { FloatOnly, Same, IntOnly, FloatToInt, IntToFloat, Free };

Kind KindOf(Op op) {
  switch (op) {
    case Op::Add:
    case Op::Sub:
    case Op::Mul:
    case Op::Div:
    case Op::Mov:
    case Op::Equal:
    case Op::NotEqual:
    case Op::LessThan:
    case Op::LessThanEqual:
    case Op::VectorEqual:
    case Op::VectorNotEqual:
      return Kind::Same;
    case Op::LogicalNot:
    case Op::LogicalAnd:
    case Op::LogicalOr:
    case Op::LogicalXor:
    case Op::IntToBool:
    case Op::BoolToInt:
    case Op::Any:
    case Op::All:
      return Kind::IntOnly;
    case Op::FloatToInt:
    case Op::FloatToBool:
      return Kind::FloatToInt;
    case Op::IntToFloat:
    case Op::BoolToFloat:
      return Kind::IntToFloat;
    case Op::Nop:
    case Op::LoadConstant:
    case Op::Select:
    case Op::If:
    case Op::Else:
    case Op::EndIf:
      return Kind::Free;
    default:
      return Kind::FloatOnly;
  }
}

// Operations whose destination takes one channel whatever the source's size.
bool ScalarResult(Op op) {
  return op == Op::Length || op == Op::Distance || op == Op::Dot || op == Op::Any || op == Op::All ||
         op == Op::Equal || op == Op::NotEqual || op == Op::LessThan || op == Op::LessThanEqual ||
         op == Op::VectorEqual || op == Op::VectorNotEqual;
}

bool CheckInstruction(Kernel& k, const Instruction& ins) {
  const bool dInt = IsInt(ins.dst);
  const bool sInt = IsInt(ins.src);
  if (RegIndex(ins.dst) >= kMaxRegister || RegIndex(ins.src) >= kMaxRegister) return false;
  switch (KindOf(ins.op)) {
    case Kind::FloatOnly:
      if (dInt || sInt) return false;
      break;
    case Kind::Same:
      if (dInt != sInt) return false;
      break;
    case Kind::IntOnly:
      if (!dInt || !sInt) return false;
      break;
    case Kind::FloatToInt:
      if (!dInt || sInt) return false;
      break;
    case Kind::IntToFloat:
      if (dInt || !sInt) return false;
      break;
    case Kind::Free:
      break;
  }
  switch (ins.op) {
    case Op::Nop:
    case Op::Else:
    case Op::EndIf:
      return true;
    case Op::If:
      if (!sInt) return false;
      Touch(k, ins.src, 0);
      return true;
    case Op::LoadConstant:
      if (MaskCount(ins.dstMask) == 0) return false;
      Touch(k, ins.dst, 0);
      return true;
    case Op::Select:
      if (!sInt || IsInt(ins.src2) != dInt || IsInt(ins.src3) != dInt) return false;
      if (RegIndex(ins.src2) >= kMaxRegister || RegIndex(ins.src3) >= kMaxRegister) return false;
      if (MaskCount(ins.dstMask) != ins.size) return false;
      Touch(k, ins.dst, 0);
      Touch(k, ins.src, 0);
      Touch(k, ins.src2, 0);
      Touch(k, ins.src3, 0);
      return true;
    case Op::SampleNearest:
    case Op::SampleLinear: {
      if (ins.size != 2 || MaskCount(ins.dstMask) == 0) return false;
      bool found = false;
      for (const Texture& t : k.textures) found = found || t.index == ins.texture;
      if (!found) return false;
      Touch(k, ins.dst, 0);
      Touch(k, ins.src, 0);
      return true;
    }
    default:
      break;
  }
  if (ins.matrix) {
    // Matrix operands: the source is a whole matrix; the destination a matrix (no mask) or
    // a vector of the matrix's size.
    if (ins.op != Op::MatMatMul && ins.op != Op::VecMatMul && ins.op != Op::MatVecMul && ins.op != Op::Mov) {
      return false;
    }
    if (ins.dstMask == 0) {
      if (ins.op == Op::VecMatMul || ins.op == Op::MatVecMul) return false;
      Touch(k, ins.dst, ins.matrix);
    } else {
      if (ins.op == Op::MatMatMul || ins.op == Op::Mov || MaskCount(ins.dstMask) != ins.matrix) return false;
      Touch(k, ins.dst, 0);
    }
    Touch(k, ins.src, ins.matrix);
    return true;
  }
  if (ins.op == Op::MatMatMul || ins.op == Op::VecMatMul || ins.op == Op::MatVecMul) return false;
  const int written = MaskCount(ins.dstMask);
  if (ScalarResult(ins.op)) {
    if (written != 1) return false;
  } else if (written != ins.size) {
    return false;
  }
  if (ins.op == Op::Cross && ins.size != 3) return false;
  Touch(k, ins.dst, 0);
  Touch(k, ins.src, 0);
  if (ScalarResult(ins.op) && KindOf(ins.op) == Kind::Same) Touch(k, kIntBit, 0);  // comparisons write i0
  return true;
}

}  // namespace

std::string TypeName(Type type) {
  static const char* const names[] = {"",          "float",     "float2",    "float3",   "float4", "matrix2x2",
                                      "matrix3x3", "matrix4x4", "int",       "int2",     "int3",   "int4",
                                      "string",    "bool",      "bool2",     "bool3",    "bool4"};
  const auto i = static_cast<std::size_t>(type);
  return i < std::size(names) ? names[i] : "";
}

int TypeSize(Type type) {
  switch (type) {
    case Type::Float:
    case Type::Int:
    case Type::Bool:
      return 1;
    case Type::Float2:
    case Type::Int2:
    case Type::Bool2:
      return 2;
    case Type::Float3:
    case Type::Int3:
    case Type::Bool3:
      return 3;
    case Type::Float4:
    case Type::Int4:
    case Type::Bool4:
    case Type::Float2x2:
      return 4;
    case Type::Float3x3:
      return 9;
    case Type::Float4x4:
      return 16;
    case Type::String:
      return 0;
  }
  return 0;
}

bool IsFloatType(Type type) { return type >= Type::Float && type <= Type::Float4x4; }
bool IsMatrixType(Type type) { return type >= Type::Float2x2 && type <= Type::Float4x4; }

int Kernel::OutputParameter() const {
  for (int i = static_cast<int>(parameters.size()) - 1; i >= 0; --i) {
    if (parameters[static_cast<std::size_t>(i)].output) return i;
  }
  return -1;
}

std::vector<double> DefaultValue(const Parameter& parameter) {
  for (const Meta& m : parameter.meta) {
    if (m.key == "defaultValue" && m.value.type != Type::String) return m.value.numbers;
  }
  return std::vector<double>(static_cast<std::size_t>(TypeSize(parameter.type)), 0.0);
}

ReadError ReadKernel(std::span<const std::uint8_t> bytes, Kernel& kernel) {
  kernel = Kernel{};
  if (bytes.empty()) return ReadError::Invalid;
  Cursor in{bytes};
  std::vector<Meta>* metaTarget = &kernel.meta;
  std::vector<std::uint32_t> open;  // the If (then Else) instructions not closed yet
  while (in.at < bytes.size()) {
    const std::uint8_t code = in.U8();
    if (code >= 0xA0) {
      switch (code) {
        case 0xA0:
        case 0xA2: {
          const std::uint8_t type = in.U8();
          Meta meta;
          meta.key = in.CString();
          if (in.eof) return ReadError::EndOfFile;
          if (!KnownType(type)) return ReadError::Invalid;
          ReadValue(in, static_cast<Type>(type), meta.value);
          if (in.eof) return ReadError::EndOfFile;
          // Parameter metadata belongs to the last parameter or texture read.
          (code == 0xA0 ? kernel.meta : *metaTarget).push_back(std::move(meta));
          break;
        }
        case 0xA1: {
          Parameter p;
          const std::uint8_t qualifier = in.U8();
          const std::uint8_t type = in.U8();
          p.reg = in.U16();
          p.mask = in.U8();
          p.name = in.CString();
          if (in.eof) return ReadError::EndOfFile;
          if ((qualifier != 1 && qualifier != 2) || !KnownType(type) || type == static_cast<int>(Type::String)) {
            return ReadError::Invalid;
          }
          p.output = qualifier == 2;
          p.type = static_cast<Type>(type);
          if (RegIndex(p.reg) >= kMaxRegister) return ReadError::Invalid;
          if (IsMatrixType(p.type)) {
            // the mask byte names the matrix's side (2, 3 or 4)
            const int side = p.type == Type::Float2x2 ? 2 : p.type == Type::Float3x3 ? 3 : 4;
            if (p.mask != side) return ReadError::Invalid;
            if (IsInt(p.reg)) return ReadError::Invalid;
            Touch(kernel, p.reg, p.mask);
          } else {
            if (MaskCount(p.mask) != TypeSize(p.type) || (p.mask & 0xF0)) return ReadError::Invalid;
            if (IsFloatType(p.type) == IsInt(p.reg)) return ReadError::Invalid;
            Touch(kernel, p.reg, 0);
          }
          kernel.parameters.push_back(std::move(p));
          metaTarget = &kernel.parameters.back().meta;
          break;
        }
        case 0xA3: {
          Texture t;
          t.index = in.U8();
          t.channels = in.U8();
          t.name = in.CString();
          if (in.eof) return ReadError::EndOfFile;
          if (t.channels < 1 || t.channels > 4) return ReadError::Invalid;
          kernel.textures.push_back(std::move(t));
          metaTarget = &kernel.textures.back().meta;
          break;
        }
        case 0xA4:
          kernel.name = in.Counted();
          if (in.eof) return ReadError::EndOfFile;
          break;
        case 0xA5:
          kernel.version = in.U32();
          if (in.eof) return ReadError::EndOfFile;
          break;
        default:
          return ReadError::Invalid;
      }
      continue;
    }
    if (code > static_cast<std::uint8_t>(Op::All)) return ReadError::Invalid;
    Instruction ins;
    ins.op = static_cast<Op>(code);
    if (!in.Need(7)) return ReadError::EndOfFile;
    ins.dst = in.U16();
    const std::uint8_t mask = in.U8();
    ins.dstMask = mask >> 4;
    ins.size = static_cast<std::uint8_t>((mask & 3) + 1);
    const int matrix = (mask >> 2) & 3;
    ins.matrix = static_cast<std::uint8_t>(matrix ? matrix + 1 : 0);
    if (ins.op == Op::LoadConstant) {
      if (IsInt(ins.dst)) {
        ins.constInt = static_cast<std::int32_t>(in.U32());
      } else {
        ins.constFloat = in.FloatBE();
      }
    } else {
      ins.src = in.U16();
      ins.swizzle = in.U8();
      ins.texture = in.U8();  // padding except for the sampling instructions
    }
    if (ins.op == Op::Select) {
      if (!in.Need(8)) return ReadError::EndOfFile;
      ins.src2 = in.U16();
      ins.swizzle2 = in.U8();
      in.U8();
      ins.src3 = in.U16();
      ins.swizzle3 = in.U8();
      in.U8();
    }
    // The header bytes of conditionals are padding: only the condition counts.
    if (ins.op == Op::If || ins.op == Op::Else || ins.op == Op::EndIf) {
      ins.dst = 0;
      ins.dstMask = 0;
      ins.size = 1;
      ins.matrix = 0;
      if (ins.op != Op::If) ins.src = 0;
    }
    if (ins.op == Op::Nop) ins = Instruction{};
    if (ins.op != Op::LoadConstant && ins.op != Op::If && ins.op != Op::Else && ins.op != Op::EndIf &&
        ins.op != Op::Nop && ins.matrix && ins.op != Op::Mov && ins.op != Op::MatMatMul && ins.op != Op::VecMatMul &&
        ins.op != Op::MatVecMul) {
      return ReadError::Invalid;
    }
    if (!CheckInstruction(kernel, ins)) return ReadError::Invalid;
    const auto index = static_cast<std::uint32_t>(kernel.code.size());
    if (ins.op == Op::If) {
      open.push_back(index);
    } else if (ins.op == Op::Else) {
      if (open.empty() || kernel.code[open.back()].op != Op::If) return ReadError::Invalid;
      kernel.code[open.back()].jump = index + 1;
      open.back() = index;
    } else if (ins.op == Op::EndIf) {
      if (open.empty()) return ReadError::Invalid;
      kernel.code[open.back()].jump = index;
      open.pop_back();
    }
    kernel.code.push_back(ins);
  }
  if (!open.empty()) return ReadError::Invalid;
  if (kernel.OutputParameter() < 0) return ReadError::Invalid;
  return ReadError::None;
}

}  // namespace vantrel::flash::pixel_bender
