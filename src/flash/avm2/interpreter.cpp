// The interpreter. A method body is decoded and checked once, at its first call, into
// fixed-size instructions with branch targets resolved to instruction numbers; bodies
// that do not decode (unknown opcodes, branches into the middle of an instruction,
// indices out of range) throw the player's VerifyError instead of running.
#include <cmath>
#include <functional>

#include "flash/avm2/machine.h"

namespace vantrel::flash::avm2 {

namespace {

enum Op : std::uint8_t {
  OP_bkpt = 0x01, OP_nop = 0x02, OP_throw = 0x03, OP_getsuper = 0x04, OP_setsuper = 0x05, OP_dxns = 0x06,
  OP_dxnslate = 0x07, OP_kill = 0x08, OP_label = 0x09, OP_ifnlt = 0x0C, OP_ifnle = 0x0D, OP_ifngt = 0x0E,
  OP_ifnge = 0x0F, OP_jump = 0x10, OP_iftrue = 0x11, OP_iffalse = 0x12, OP_ifeq = 0x13, OP_ifne = 0x14,
  OP_iflt = 0x15, OP_ifle = 0x16, OP_ifgt = 0x17, OP_ifge = 0x18, OP_ifstricteq = 0x19, OP_ifstrictne = 0x1A,
  OP_lookupswitch = 0x1B, OP_pushwith = 0x1C, OP_popscope = 0x1D, OP_nextname = 0x1E, OP_hasnext = 0x1F,
  OP_pushnull = 0x20, OP_pushundefined = 0x21, OP_nextvalue = 0x23, OP_pushbyte = 0x24, OP_pushshort = 0x25,
  OP_pushtrue = 0x26, OP_pushfalse = 0x27, OP_pushnan = 0x28, OP_pop = 0x29, OP_dup = 0x2A, OP_swap = 0x2B,
  OP_pushstring = 0x2C, OP_pushint = 0x2D, OP_pushuint = 0x2E, OP_pushdouble = 0x2F, OP_pushscope = 0x30,
  OP_pushnamespace = 0x31, OP_hasnext2 = 0x32, OP_li8 = 0x35, OP_li16 = 0x36, OP_li32 = 0x37, OP_lf32 = 0x38,
  OP_lf64 = 0x39, OP_si8 = 0x3A, OP_si16 = 0x3B, OP_si32 = 0x3C, OP_sf32 = 0x3D, OP_sf64 = 0x3E,
  OP_newfunction = 0x40, OP_call = 0x41, OP_construct = 0x42, OP_callmethod = 0x43, OP_callstatic = 0x44,
  OP_callsuper = 0x45, OP_callproperty = 0x46, OP_returnvoid = 0x47, OP_returnvalue = 0x48,
  OP_constructsuper = 0x49, OP_constructprop = 0x4A, OP_callproplex = 0x4C, OP_callsupervoid = 0x4E,
  OP_callpropvoid = 0x4F, OP_sxi1 = 0x50, OP_sxi8 = 0x51, OP_sxi16 = 0x52, OP_applytype = 0x53,
  OP_newobject = 0x55, OP_newarray = 0x56, OP_newactivation = 0x57, OP_newclass = 0x58,
  OP_getdescendants = 0x59, OP_newcatch = 0x5A, OP_findpropstrict = 0x5D, OP_findproperty = 0x5E,
  OP_finddef = 0x5F, OP_getlex = 0x60, OP_setproperty = 0x61, OP_getlocal = 0x62, OP_setlocal = 0x63,
  OP_getglobalscope = 0x64, OP_getscopeobject = 0x65, OP_getproperty = 0x66, OP_getouterscope = 0x67,
  OP_initproperty = 0x68, OP_deleteproperty = 0x6A, OP_getslot = 0x6C, OP_setslot = 0x6D,
  OP_getglobalslot = 0x6E, OP_setglobalslot = 0x6F, OP_convert_s = 0x70, OP_esc_xelem = 0x71,
  OP_esc_xattr = 0x72, OP_convert_i = 0x73, OP_convert_u = 0x74, OP_convert_d = 0x75, OP_convert_b = 0x76,
  OP_convert_o = 0x77, OP_checkfilter = 0x78, OP_coerce = 0x80, OP_coerce_b = 0x81, OP_coerce_a = 0x82,
  OP_coerce_i = 0x83, OP_coerce_d = 0x84, OP_coerce_s = 0x85, OP_astype = 0x86, OP_astypelate = 0x87,
  OP_coerce_u = 0x88, OP_coerce_o = 0x89, OP_negate = 0x90, OP_increment = 0x91, OP_inclocal = 0x92,
  OP_decrement = 0x93, OP_declocal = 0x94, OP_typeof = 0x95, OP_not = 0x96, OP_bitnot = 0x97, OP_add = 0xA0,
  OP_subtract = 0xA1, OP_multiply = 0xA2, OP_divide = 0xA3, OP_modulo = 0xA4, OP_lshift = 0xA5,
  OP_rshift = 0xA6, OP_urshift = 0xA7, OP_bitand = 0xA8, OP_bitor = 0xA9, OP_bitxor = 0xAA, OP_equals = 0xAB,
  OP_strictequals = 0xAC, OP_lessthan = 0xAD, OP_lessequals = 0xAE, OP_greaterthan = 0xAF,
  OP_greaterequals = 0xB0, OP_instanceof = 0xB1, OP_istype = 0xB2, OP_istypelate = 0xB3, OP_in = 0xB4,
  OP_increment_i = 0xC0, OP_decrement_i = 0xC1, OP_inclocal_i = 0xC2, OP_declocal_i = 0xC3,
  OP_negate_i = 0xC4, OP_add_i = 0xC5, OP_subtract_i = 0xC6, OP_multiply_i = 0xC7, OP_getlocal0 = 0xD0,
  OP_getlocal1 = 0xD1, OP_getlocal2 = 0xD2, OP_getlocal3 = 0xD3, OP_setlocal0 = 0xD4, OP_setlocal1 = 0xD5,
  OP_setlocal2 = 0xD6, OP_setlocal3 = 0xD7, OP_debug = 0xEF, OP_debugline = 0xF0, OP_debugfile = 0xF1,
  OP_bkptline = 0xF2, OP_timestamp = 0xF3,
};

// Operand layouts.
enum Form : std::uint8_t { kBad, kNone, kU30, kU30U30, kS24, kU8, kSwitch, kDebug, kByte };

struct OpTable {
  Form form[256];
  constexpr OpTable() : form() {
    for (auto& f : form) f = kBad;
    const std::uint8_t none[] = {0x01, 0x02, 0x03, 0x07, 0x09, 0x1C, 0x1D, 0x1E, 0x1F, 0x20, 0x21, 0x23, 0x26,
                                 0x27, 0x28, 0x29, 0x2A, 0x2B, 0x30, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x3B,
                                 0x3C, 0x3D, 0x3E, 0x47, 0x48, 0x50, 0x51, 0x52, 0x57, 0x64, 0x70, 0x71, 0x72,
                                 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x81, 0x82, 0x83, 0x84, 0x85, 0x87, 0x88,
                                 0x89, 0x90, 0x91, 0x93, 0x95, 0x96, 0x97, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5,
                                 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF, 0xB0, 0xB1, 0xB3,
                                 0xB4, 0xC0, 0xC1, 0xC4, 0xC5, 0xC6, 0xC7, 0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5,
                                 0xD6, 0xD7, 0xF3};
    for (auto op : none) form[op] = kNone;
    const std::uint8_t u30[] = {0x04, 0x05, 0x06, 0x08, 0x25, 0x2C, 0x2D, 0x2E, 0x2F, 0x31, 0x40, 0x41, 0x42,
                                0x49, 0x53, 0x55, 0x56, 0x58, 0x59, 0x5A, 0x5D, 0x5E, 0x5F, 0x60, 0x61, 0x62,
                                0x63, 0x66, 0x67, 0x68, 0x6A, 0x6C, 0x6D, 0x6E, 0x6F, 0x80, 0x86, 0x92, 0x94,
                                0xB2, 0xC2, 0xC3, 0xF0, 0xF1, 0xF2};
    for (auto op : u30) form[op] = kU30;
    const std::uint8_t u30u30[] = {0x32, 0x43, 0x44, 0x45, 0x46, 0x4A, 0x4C, 0x4E, 0x4F};
    for (auto op : u30u30) form[op] = kU30U30;
    for (int op = 0x0C; op <= 0x1A; ++op) form[op] = kS24;
    form[0x1B] = kSwitch;
    form[0x65] = kU8;
    form[0x24] = kByte;
    form[0xEF] = kDebug;
  }
};
constexpr OpTable kOps;

}  // namespace

struct Instruction {
  std::uint8_t op = 0;
  std::uint32_t a = 0, b = 0;
  std::int32_t target = 0;  // branches: instruction number
  std::uint32_t offset = 0;  // byte offset in the body
};

struct DecodedCode {
  std::vector<Instruction> code;
  std::vector<std::int32_t> switchTargets;
  struct Handler {
    std::uint32_t from, to;  // byte offsets
    std::int32_t target;
    std::uint32_t type;
    std::unique_ptr<Traits> catchTraits;
  };
  std::vector<Handler> handlers;
  std::unique_ptr<Traits> activation;
  bool typesResolved = false;
  std::vector<ClassObject*> paramTypes;
  ClassObject* returnType = nullptr;
  bool returnsVoid = false;
  std::uint32_t localCount = 0;
};

MethodInfo::MethodInfo() = default;
MethodInfo::~MethodInfo() = default;

namespace {

struct Reader {
  const std::vector<std::uint8_t>& code;
  std::size_t pos = 0;
  bool bad = false;
  std::uint8_t U8() {
    if (pos >= code.size()) {
      bad = true;
      return 0;
    }
    return code[pos++];
  }
  std::uint32_t U30() {
    std::uint32_t result = 0;
    for (int shift = 0; shift < 35; shift += 7) {
      const std::uint8_t byte = U8();
      result |= static_cast<std::uint32_t>(byte & 0x7F) << shift;
      if (!(byte & 0x80)) break;
    }
    return result & 0x3FFFFFFF;
  }
  std::int32_t S24() {
    std::uint32_t v = U8();
    v |= U8() << 8;
    v |= U8() << 16;
    if (v & 0x800000) v |= 0xFF000000u;
    return static_cast<std::int32_t>(v);
  }
};

}  // namespace

// Follows every path through the reachable code with the depths of the operand and
// scope stacks, as the player's verifier does before a method first runs: a path that
// pushes past max_stack or pops an empty stack, two paths meeting with different depths,
// a scope stack beyond the body's scope depths or code running off the end are refused.
// A handler is entered (with the caught value alone on the stack and no scopes) only
// from instructions of its range that can throw.
static void CheckStackFlow(const AbcFile& abc, const AbcBody& body, const DecodedCode& decoded, const std::string& where,
                           bool setsDxns, const std::function<void(int, const std::string&)>& verify) {
  const std::vector<Instruction>& code = decoded.code;
  const auto n = static_cast<std::int32_t>(code.size());
  struct State {
    std::int32_t stack = -1, scope = 0;  // stack -1: not reached yet
  };
  std::vector<State> at(code.size());
  std::vector<std::int32_t> work;
  const std::int64_t maxStack = body.maxStack;
  const std::int64_t maxScope =
      body.maxScopeDepth > body.initScopeDepth ? std::int64_t(body.maxScopeDepth) - body.initScopeDepth : 0;
  auto flowTo = [&](std::int32_t target, std::int32_t stack, std::int32_t scope) {
    if (target >= n) verify(1020, "Code cannot fall off the end of a method.");
    State& s = at[target];
    if (s.stack < 0) {
      s = {stack, scope};
      work.push_back(target);
      return;
    }
    if (s.stack != stack)
      verify(1030, "Stack depth is unbalanced. " + std::to_string(stack) + " != " + std::to_string(s.stack) + ".");
    if (s.scope != scope)
      verify(1031, "Scope depth is unbalanced. " + std::to_string(scope) + " != " + std::to_string(s.scope) + ".");
  };
  // Operands a multiname takes from the stack besides the object.
  auto runtimeParts = [&](std::uint32_t index) -> std::int32_t {
    if (index >= abc.multinames.size()) return 0;
    const AbcMultiname& m = abc.multinames[index];
    return (m.RuntimeNamespace() ? 1 : 0) + (m.RuntimeName() ? 1 : 0);
  };
  flowTo(0, 0, 0);
  while (!work.empty()) {
    // Lowest instruction first, so the first fault found is the first in the code.
    auto lowest = std::min_element(work.begin(), work.end());
    const std::int32_t pc = *lowest;
    work.erase(lowest);
    std::int32_t stack = at[pc].stack, scope = at[pc].scope;
    const Instruction& ins = code[pc];
    // Only what a path reaches must be a known instruction on registers that exist.
    if (kOps.form[ins.op] == kBad)
      verify(1011, "Method " + where + " contained illegal opcode " + std::to_string(ins.op) + " at offset " +
                       std::to_string(ins.offset) + ".");
    auto checkRegister = [&](std::uint32_t r) {
      if (r >= decoded.localCount) verify(1025, "An invalid register " + std::to_string(r) + " was accessed.");
    };
    switch (ins.op) {
      case OP_getlocal: case OP_setlocal: case OP_kill: case OP_inclocal: case OP_declocal: case OP_inclocal_i:
      case OP_declocal_i:
        checkRegister(ins.a);
        break;
      case OP_hasnext2: checkRegister(std::max(ins.a, ins.b)); break;
      case OP_getlocal0: case OP_getlocal1: case OP_getlocal2: case OP_getlocal3: case OP_setlocal0:
      case OP_setlocal1: case OP_setlocal2: case OP_setlocal3:
        checkRegister(static_cast<std::uint32_t>((ins.op - OP_getlocal0) & 3));
        break;
      case OP_dxns: case OP_dxnslate:
        if (!setsDxns) verify(1015, "Method " + where + " cannot set default xml namespace");
        break;
      default: break;
    }
    std::int64_t pops = 0, pushes = 0;
    int scopeChange = 0;
    bool fallsThrough = true, canThrow = true;
    switch (ins.op) {
      case OP_bkpt: case OP_nop: case OP_label: case OP_debug: case OP_debugline: case OP_debugfile: case OP_bkptline:
      case OP_timestamp: case OP_kill: case OP_dxns:
        canThrow = false;
        break;
      case OP_inclocal: case OP_declocal: case OP_inclocal_i: case OP_declocal_i: break;
      case OP_jump: fallsThrough = false; canThrow = false; break;
      case OP_throw: pops = 1; fallsThrough = false; break;
      case OP_returnvoid: fallsThrough = false; canThrow = false; break;
      case OP_returnvalue: pops = 1; fallsThrough = false; break;
      case OP_lookupswitch: pops = 1; fallsThrough = false; canThrow = false; break;
      case OP_iftrue: case OP_iffalse: pops = 1; canThrow = false; break;
      case OP_ifstricteq: case OP_ifstrictne: pops = 2; canThrow = false; break;
      case OP_ifnlt: case OP_ifnle: case OP_ifngt: case OP_ifnge: case OP_ifeq: case OP_ifne: case OP_iflt:
      case OP_ifle: case OP_ifgt: case OP_ifge:
        pops = 2;
        break;
      case OP_pushwith: case OP_pushscope: pops = 1; scopeChange = 1; break;
      case OP_popscope: scopeChange = -1; canThrow = false; break;
      case OP_pushnull: case OP_pushundefined: case OP_pushbyte: case OP_pushshort: case OP_pushtrue: case OP_pushfalse:
      case OP_pushnan: case OP_pushstring: case OP_pushint: case OP_pushuint: case OP_pushdouble: case OP_pushnamespace:
      case OP_getlocal: case OP_getlocal0: case OP_getlocal1: case OP_getlocal2: case OP_getlocal3:
      case OP_getglobalscope: case OP_getscopeobject: case OP_getouterscope: case OP_newactivation:
        pushes = 1;
        canThrow = false;
        break;
      case OP_setlocal: case OP_setlocal0: case OP_setlocal1: case OP_setlocal2: case OP_setlocal3: case OP_pop:
        pops = 1;
        canThrow = false;
        break;
      case OP_dup: pops = 1; pushes = 2; canThrow = false; break;
      case OP_swap: pops = 2; pushes = 2; canThrow = false; break;
      case OP_hasnext2: case OP_newfunction: case OP_newcatch: case OP_finddef: case OP_getglobalslot: pushes = 1; break;
      case OP_getlex: pushes = 1; break;
      case OP_nextname: case OP_nextvalue: case OP_hasnext: pops = 2; pushes = 1; break;
      case OP_dxnslate: case OP_setglobalslot: pops = 1; break;
      case OP_si8: case OP_si16: case OP_si32: case OP_sf32: case OP_sf64: case OP_setslot: pops = 2; break;
      case OP_call: pops = std::int64_t(ins.a) + 2; pushes = 1; break;
      case OP_construct: case OP_applytype: pops = std::int64_t(ins.a) + 1; pushes = 1; break;
      case OP_constructsuper: pops = std::int64_t(ins.a) + 1; break;
      case OP_callmethod: case OP_callstatic: pops = std::int64_t(ins.b) + 1; pushes = 1; break;
      case OP_callsuper: case OP_callproperty: case OP_constructprop: case OP_callproplex:
        pops = std::int64_t(ins.b) + 1 + runtimeParts(ins.a);
        pushes = 1;
        break;
      case OP_callsupervoid: case OP_callpropvoid: pops = std::int64_t(ins.b) + 1 + runtimeParts(ins.a); break;
      case OP_newobject: pops = 2 * std::int64_t(ins.a); pushes = 1; break;
      case OP_newarray: pops = ins.a; pushes = 1; break;
      case OP_findpropstrict: case OP_findproperty: pops = runtimeParts(ins.a); pushes = 1; break;
      case OP_getsuper: case OP_getproperty: case OP_getdescendants: case OP_deleteproperty:
        pops = 1 + runtimeParts(ins.a);
        pushes = 1;
        break;
      case OP_setsuper: case OP_setproperty: case OP_initproperty: pops = 2 + runtimeParts(ins.a); break;
      case OP_astypelate: case OP_istypelate: case OP_instanceof: case OP_in: case OP_add: case OP_subtract:
      case OP_multiply: case OP_divide: case OP_modulo: case OP_lshift: case OP_rshift: case OP_urshift:
      case OP_bitand: case OP_bitor: case OP_bitxor: case OP_equals: case OP_lessthan: case OP_lessequals:
      case OP_greaterthan: case OP_greaterequals: case OP_add_i: case OP_subtract_i: case OP_multiply_i:
        pops = 2;
        pushes = 1;
        break;
      case OP_strictequals: pops = 2; pushes = 1; canThrow = false; break;
      case OP_convert_b: case OP_coerce_a: case OP_not: case OP_typeof: pops = 1; pushes = 1; canThrow = false; break;
      default:  // the remaining operations take one value and give one back
        pops = 1;
        pushes = 1;
        break;
    }
    if (pops > stack) verify(1024, "Stack underflow occurred.");
    if (stack - pops + pushes > maxStack) verify(1023, "Stack overflow occurred.");
    if (ins.op == OP_getscopeobject && ins.a >= static_cast<std::uint32_t>(scope))
      verify(1019, "Getscopeobject " + std::to_string(ins.a) + " is out of bounds.");
    // A handler over this instruction is entered with the state before it.
    if (canThrow) {
      for (const auto& h : decoded.handlers) {
        if (ins.offset >= h.from && ins.offset < h.to) flowTo(h.target, 1, 0);
      }
    }
    stack = static_cast<std::int32_t>(stack - pops + pushes);
    if (scopeChange > 0 && scope + 1 > maxScope) verify(1017, "Scope stack overflow occurred.");
    if (scopeChange < 0 && scope == 0) verify(1018, "Scope stack underflow occurred.");
    scope += scopeChange;
    // A branch back must land on a label (the start of a loop).
    auto branchTo = [&](std::int32_t target) {
      if (target <= pc && code[target].op != OP_label)
        verify(1021, "At least one branch target was not on a valid instruction in the method.");
      flowTo(target, stack, scope);
    };
    switch (ins.op) {
      case OP_ifnlt: case OP_ifnle: case OP_ifngt: case OP_ifnge: case OP_jump: case OP_iftrue: case OP_iffalse:
      case OP_ifeq: case OP_ifne: case OP_iflt: case OP_ifle: case OP_ifgt: case OP_ifge: case OP_ifstricteq:
      case OP_ifstrictne:
        branchTo(ins.target);
        break;
      case OP_lookupswitch:
        branchTo(ins.target);
        for (std::uint32_t i = 0; i < ins.b; ++i) branchTo(decoded.switchTargets[ins.a + i]);
        break;
      default: break;
    }
    if (fallsThrough) flowTo(pc + 1, stack, scope);
  }
}

static void Decode(Machine& machine, MethodInfo* method, const AbcBody& body) {
  const AbcFile& abc = *method->unit->abc;
  auto decoded = std::make_unique<DecodedCode>();
  std::string where = Machine::FrameName(method);
  if (where.size() > 2 && where.compare(where.size() - 2, 2, "()") == 0 && method->role == MethodInfo::Role::Function)
    where = method->name.empty() ? "function" : method->name;
  auto verify = [&](int id, const std::string& text) { machine.ThrowError("VerifyError", id, text); };
  const AbcMethod& info = abc.methods[method->index];
  decoded->localCount = std::max<std::uint32_t>(body.localCount, static_cast<std::uint32_t>(info.paramTypes.size()) + 2);
  if (decoded->localCount > 65536) verify(1107, "The ABC data is corrupt, attempt to read out of bounds.");
  std::vector<std::int32_t> insAt(body.code.size() + 1, -1);
  std::vector<std::pair<std::size_t, std::int64_t>> branches;  // instruction, byte target
  Reader in{body.code};
  while (in.pos < body.code.size()) {
    Instruction ins;
    ins.offset = static_cast<std::uint32_t>(in.pos);
    insAt[in.pos] = static_cast<std::int32_t>(decoded->code.size());
    ins.op = in.U8();
    switch (kOps.form[ins.op]) {
      case kBad: break;  // refused when a path reaches it
      case kNone: break;
      case kU30: ins.a = in.U30(); break;
      case kU30U30: ins.a = in.U30(); ins.b = in.U30(); break;
      case kU8: ins.a = in.U8(); break;
      case kByte: ins.a = static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<std::int8_t>(in.U8()))); break;
      case kS24: {
        const std::int32_t offset = in.S24();
        branches.emplace_back(decoded->code.size(), static_cast<std::int64_t>(in.pos) + offset);
        break;
      }
      case kSwitch: {
        const std::int64_t base = ins.offset;
        const std::int32_t def = in.S24();
        const std::uint32_t count = in.U30();
        if (count > body.code.size()) verify(1021, "At least one branch target was not on a valid instruction in the method.");
        ins.a = static_cast<std::uint32_t>(decoded->switchTargets.size());
        ins.b = count + 1;
        branches.emplace_back(decoded->code.size(), base + def);
        for (std::uint32_t i = 0; i <= count; ++i) {
          decoded->switchTargets.push_back(static_cast<std::int32_t>(base + in.S24()));
        }
        break;
      }
      case kDebug: in.U8(); in.U30(); in.U8(); in.U30(); break;
    }
    if (in.bad) verify(1020, "Code cannot fall off the end of a method.");
    // Operands that index the file are checked here, once.
    auto check = [&](std::size_t index, std::size_t size, std::size_t shown = 0) {
      if (index >= size)
        verify(1032, "Cpool index " + std::to_string(index) + " is out of range " + std::to_string(size ? size : shown) + ".");
    };
    switch (ins.op) {
      case OP_getsuper: case OP_setsuper: case OP_getdescendants: case OP_findpropstrict: case OP_findproperty:
      case OP_finddef: case OP_getlex: case OP_setproperty: case OP_getproperty: case OP_initproperty:
      case OP_deleteproperty: case OP_coerce: case OP_astype: case OP_istype:
        check(ins.a, abc.multinames.size());
        if (ins.a == 0) verify(1032, "Cpool index 0 is out of range " + std::to_string(abc.multinames.size()) + ".");
        break;
      case OP_callsuper: case OP_callproperty: case OP_constructprop: case OP_callproplex: case OP_callsupervoid:
      case OP_callpropvoid:
        check(ins.a, abc.multinames.size());
        if (ins.a == 0) verify(1032, "Cpool index 0 is out of range " + std::to_string(abc.multinames.size()) + ".");
        break;
      case OP_pushstring: case OP_dxns: case OP_debugfile: check(ins.a, abc.strings.size()); break;
      // Entry 0 of the number pools is no constant.
      case OP_pushint: check(ins.a, ins.a ? abc.ints.size() : 0, abc.ints.size()); break;
      case OP_pushuint: check(ins.a, ins.a ? abc.uints.size() : 0, abc.uints.size()); break;
      case OP_pushdouble: check(ins.a, ins.a ? abc.doubles.size() : 0, abc.doubles.size()); break;
      case OP_pushnamespace: check(ins.a, abc.namespaces.size()); break;
      case OP_newfunction: case OP_callstatic:
        if (ins.a >= abc.methods.size())
          verify(1027, "Method_info " + std::to_string(ins.a) + " exceeds method_count=" + std::to_string(abc.methods.size()) + ".");
        break;
      case OP_newclass:
        if (ins.a >= abc.classes.size())
          verify(1060, "ClassInfo " + std::to_string(ins.a) + " exceeds class_count=" + std::to_string(abc.classes.size()) + ".");
        break;
      case OP_newcatch: check(ins.a, body.exceptions.size()); break;
      default: break;
    }
    if ((ins.op == OP_call || ins.op == OP_construct || ins.op == OP_constructsuper || ins.op == OP_newarray ||
         ins.op == OP_applytype) && ins.a > 0x10000)
      verify(1107, "The ABC data is corrupt, attempt to read out of bounds.");
    if (ins.op == OP_newobject && ins.a > 0x8000) verify(1107, "The ABC data is corrupt, attempt to read out of bounds.");
    if (kOps.form[ins.op] == kU30U30 && ins.op != OP_hasnext2 && ins.b > 0x10000)
      verify(1107, "The ABC data is corrupt, attempt to read out of bounds.");
    decoded->code.push_back(ins);
  }
  insAt[body.code.size()] = static_cast<std::int32_t>(decoded->code.size());
  auto resolve = [&](std::int64_t byte) -> std::int32_t {
    if (byte < 0 || byte > static_cast<std::int64_t>(body.code.size()) || insAt[byte] < 0)
      verify(1021, "At least one branch target was not on a valid instruction in the method.");
    return insAt[byte];
  };
  for (const auto& [index, byte] : branches) decoded->code[index].target = resolve(byte);
  for (std::int32_t& t : decoded->switchTargets) t = resolve(t);
  if (decoded->code.empty()) verify(1043, "Invalid code_length=0.");
  for (const AbcException& e : body.exceptions) {
    DecodedCode::Handler h;
    h.from = e.from;
    h.to = e.to;
    h.target = resolve(e.target);
    h.type = e.type;
    h.catchTraits = std::make_unique<Traits>();
    if (e.varName) {
      Traits::SlotInfo slot;
      slot.name = method->unit->multinameIds[e.varName];
      h.catchTraits->slotValues.push_back(slot);
      Binding b;
      b.ns = method->unit->multinames[e.varName].nsCount ? method->unit->multinames[e.varName].ns[0] : machine.PublicNs();
      b.kind = Binding::Kind::Slot;
      h.catchTraits->bindings[slot.name].push_back(b);
    }
    decoded->handlers.push_back(std::move(h));
  }
  CheckStackFlow(abc, body, *decoded, where, (info.flags & AbcMethod::kSetDxns) != 0, verify);
  if (!body.traits.empty() || (info.flags & AbcMethod::kNeedActivation)) {
    decoded->activation = std::make_unique<Traits>();
    machine.InitTraits(*method->unit, *decoded->activation, body.traits, nullptr, false);
  }
  method->code = std::move(decoded);
}

namespace {

struct DepthGuard {
  int& depth;
  std::vector<const MethodInfo*>& stack;
  DepthGuard(int& d, std::vector<const MethodInfo*>& s, const MethodInfo* method) : depth(d), stack(s) {
    ++depth;
    stack.push_back(method);
  }
  ~DepthGuard() {
    --depth;
    stack.pop_back();
  }
};

inline std::int32_t I32(double d) { return script::ToInt32(d); }

}  // namespace

void Machine::Verify(MethodInfo* method) {
  const AbcFile& abc = *method->unit->abc;
  const AbcMethod& info = abc.methods[method->index];
  if (info.body >= 0 && !method->code) Decode(*this, method, abc.bodies[info.body]);
}

// Fuzzing builds (ASan) make the interpreter's frames several times larger, so scripts
// that recurse (a class initializer making its own class, say) stop at a quarter of the
// depth there, the same way: an 8 MB stack holds that many.
#ifdef VANTREL_FUZZ_LIMITS
constexpr int kExecuteDepth = Machine::kMaxDepth / 4;
#else
constexpr int kExecuteDepth = Machine::kMaxDepth;
#endif

Value Machine::Execute(MethodInfo* method, const Value& self, const Value* args, int argc, const ScopeChain* outer) {
  AbcUnit& unit = *method->unit;
  const AbcFile& abc = *unit.abc;
  const AbcMethod& info = abc.methods[method->index];
  if (info.body < 0) return Value();
  const AbcBody& body = abc.bodies[info.body];
  if (depth_ >= kExecuteDepth + (depthLimit_ - kMaxDepth)) StackOverflow();
  DepthGuard guard(depth_, callStack, method);
  if (!method->code) Decode(*this, method, body);
  DecodedCode& decoded = *method->code;
  if (!decoded.typesResolved) {
    decoded.typesResolved = true;
    for (std::uint32_t t : info.paramTypes) decoded.paramTypes.push_back(ResolveType(unit, t));
    const AbcMultiname& ret = abc.multinames[info.returnType];
    decoded.returnsVoid = info.returnType && ret.kind == kQName && abc.strings[ret.name] == "void";
    decoded.returnType = decoded.returnsVoid ? nullptr : ResolveType(unit, info.returnType);
  }
  static const ScopeChain kNoScope;
  const ScopeChain& outerScope = outer ? *outer : kNoScope;

  // Arguments.
  const int params = static_cast<int>(info.paramTypes.size());
  const int required = params - static_cast<int>(info.optionals.size());
  // Function closures take extra arguments silently; methods do not.
  if (argc < required ||
      (argc > params && !method->isClosure && !(info.flags & (AbcMethod::kNeedRest | AbcMethod::kNeedArguments | 0x10)))) {
    // The call never started: the error shows the caller's frames only.
    const MethodInfo* top = callStack.back();
    callStack.pop_back();
    try {
      ThrowError("ArgumentError", 1063, "Argument count mismatch on " + FrameName(method) + ". Expected " +
                                            std::to_string(required) + ", got " + std::to_string(argc) + ".");
    } catch (...) {
      callStack.push_back(top);
      throw;
    }
  }
  std::vector<Value> locals(decoded.localCount);
  locals[0] = self;
  for (int i = 0; i < params; ++i) {
    Value v;
    if (i < argc) v = args[i];
    else {
      const AbcOptional& o = info.optionals[i - required];
      v = DefaultValue(unit, o.kind, o.index);
    }
    ClassObject* type = decoded.paramTypes[i];
    locals[1 + i] = type ? Coerce(v, type) : v;
  }
  if (info.flags & AbcMethod::kNeedRest) {
    std::vector<Value> rest;
    for (int i = params; i < argc; ++i) rest.push_back(args[i]);
    locals[1 + params] = Value::Obj(NewArray(std::move(rest)));
  } else if (info.flags & AbcMethod::kNeedArguments) {
    ArrayObject* arguments = NewArray(std::vector<Value>(args, args + argc));
    locals[1 + params] = Value::Obj(arguments);
  }

  // The sizes a method declares are only hints: a file may claim billions.
  constexpr std::size_t kReserveLimit = 4096;
  std::vector<Value> stack;
  stack.reserve(std::min<std::size_t>(body.maxStack + 2, kReserveLimit));
  ScopeChain scopes;
  scopes.reserve(std::min<std::size_t>(std::size_t{body.maxScopeDepth} + 1, kReserveLimit));
  const Instruction* code = decoded.code.data();
  const std::size_t count = decoded.code.size();
  std::size_t pc = 0;
  std::string nameStorage;
  NsId nsStorage = 0;

  auto pop = [&]() -> Value {
    if (stack.empty()) ThrowError("VerifyError", 1024, "Stack underflow occurred.");
    Value v = stack.back();
    stack.pop_back();
    return v;
  };
  auto popName = [&](std::uint32_t index, Value* runtime) -> Multiname {
    const AbcMultiname& raw = abc.multinames[index];
    Value name, ns;
    if (raw.RuntimeName()) name = pop();
    if (raw.RuntimeNamespace()) ns = pop();
    if (runtime) {
      runtime[0] = name;
      runtime[1] = ns;
    }
    if (!raw.RuntimeName() && !raw.RuntimeNamespace()) return unit.multinames[index];
    return ResolveName(unit, index, raw.RuntimeName() ? &name : nullptr, raw.RuntimeNamespace() ? &ns : nullptr,
                       nameStorage, nsStorage);
  };
  auto popArgs = [&](std::uint32_t n, std::vector<Value>& out) {
    if (stack.size() < n) ThrowError("VerifyError", 1024, "Stack underflow occurred.");
    out.assign(stack.end() - n, stack.end());
    stack.resize(stack.size() - n);
  };
  auto findProperty = [&](const Multiname& name, bool strict) -> Value {
    for (std::size_t i = scopes.size(); i-- > 0;) {
      const Scope& s = scopes[i];
      Object* o = s.value.AsObject();
      if (!o) continue;
      if (s.with ? HasProperty(s.value, name) : (o->traits && name.id != kNoName && o->traits->Find(name.id, name, *this)))
        return s.value;
    }
    for (std::size_t i = outerScope.size(); i-- > 0;) {
      const Scope& s = outerScope[i];
      Object* o = s.value.AsObject();
      if (!o) continue;
      if (s.with ? HasProperty(s.value, name) : (o->traits && name.id != kNoName && o->traits->Find(name.id, name, *this)))
        return s.value;
    }
    if (Object* d = FindDefinition(name)) return Value::Obj(d);
    const Value global = !outerScope.empty() ? outerScope[0].value : !scopes.empty() ? scopes[0].value : Value();
    if (global.IsObject() && HasProperty(global, name)) return global;
    if (strict) ThrowReferenceError(1065, "Variable " + (name.text ? *name.text : std::string("*")) + " is not defined.");
    return global.IsObject() ? global : Value::Obj(globalObject);
  };
  auto superTraits = [&]() -> ClassObject* {
    ClassObject* c = method->declaringClass;
    return c ? c->base : nullptr;
  };
  auto compare = [&](const Value& a, const Value& b) -> int {
    if (a.IsNumber() && b.IsNumber()) {
      if (std::isnan(a.number) || std::isnan(b.number)) return -1;
      return a.number < b.number ? 1 : 0;
    }
    return LessThan(a, b);
  };
  std::vector<Value> argv;

  for (;;) {
    try {
      while (pc < count) {
        if (((budget_ & 0xFFF) == 0 && clock && budget_ > 0 && !clock->TimeLeft()) || --budget_ < 0) {
          budget_ = 0;
          throw Halt{"Error: Error #1502: A script has executed for longer than the default timeout period of 15 seconds."};
        }
        // Script data past the heap's hard limit (no collection runs inside a script here).
        if (heap.OverBudget() && heap.StopWithoutCollection()) {
          budget_ = 0;
          throw Halt{"Error: Error #1000: The system is out of memory."};
        }
        const Instruction& ins = code[pc++];
        switch (ins.op) {
          case OP_bkpt: case OP_nop: case OP_label: case OP_debug: case OP_debugline: case OP_debugfile:
          case OP_bkptline: case OP_timestamp: case OP_dxns:
            break;
          case OP_dxnslate: pop(); break;
          case OP_throw: throw Thrown{pop()};
          case OP_getsuper: {
            const Multiname name = popName(ins.a, nullptr);
            const Value object = pop();
            ClassObject* base = superTraits();
            const Binding* b = base && name.id != kNoName ? base->instanceTraits->Find(name.id, name, *this) : nullptr;
            if (!b) {
              stack.push_back(GetProperty(object, name));
              break;
            }
            if (b->kind == Binding::Kind::Method) stack.push_back(Value::Obj(MethodClosure(b->method, object)));
            else if (b->kind == Binding::Kind::Accessor && b->getter) stack.push_back(Invoke(b->getter, object, nullptr, 0, &b->getter->declaringClass->scope));
            else if (object.IsObject() && b->slot < object.object->slotValues.size()) stack.push_back(object.object->slotValues[b->slot]);
            else stack.push_back(Value());
            break;
          }
          case OP_setsuper: {
            const Value value = pop();
            const Multiname name = popName(ins.a, nullptr);
            const Value object = pop();
            ClassObject* base = superTraits();
            const Binding* b = base && name.id != kNoName ? base->instanceTraits->Find(name.id, name, *this) : nullptr;
            if (b && b->kind == Binding::Kind::Accessor && b->setter) Invoke(b->setter, object, &value, 1, &b->setter->declaringClass->scope);
            else SetProperty(object, name, value);
            break;
          }
          case OP_kill: locals[ins.a] = Value(); break;
          case OP_jump: pc = ins.target; break;
          case OP_iftrue: if (ToBoolean(pop())) pc = ins.target; break;
          case OP_iffalse: if (!ToBoolean(pop())) pc = ins.target; break;
          case OP_ifeq: { const Value b = pop(), a = pop(); if (LooseEquals(a, b)) pc = ins.target; break; }
          case OP_ifne: { const Value b = pop(), a = pop(); if (!LooseEquals(a, b)) pc = ins.target; break; }
          case OP_ifstricteq: { const Value b = pop(), a = pop(); if (StrictEquals(a, b)) pc = ins.target; break; }
          case OP_ifstrictne: { const Value b = pop(), a = pop(); if (!StrictEquals(a, b)) pc = ins.target; break; }
          case OP_iflt: { const Value b = pop(), a = pop(); if (compare(a, b) == 1) pc = ins.target; break; }
          case OP_ifle: { const Value b = pop(), a = pop(); if (compare(b, a) == 0) pc = ins.target; break; }
          case OP_ifgt: { const Value b = pop(), a = pop(); if (compare(b, a) == 1) pc = ins.target; break; }
          case OP_ifge: { const Value b = pop(), a = pop(); if (compare(a, b) == 0) pc = ins.target; break; }
          case OP_ifnlt: { const Value b = pop(), a = pop(); if (compare(a, b) != 1) pc = ins.target; break; }
          case OP_ifnle: { const Value b = pop(), a = pop(); if (compare(b, a) != 0) pc = ins.target; break; }
          case OP_ifngt: { const Value b = pop(), a = pop(); if (compare(b, a) != 1) pc = ins.target; break; }
          case OP_ifnge: { const Value b = pop(), a = pop(); if (compare(a, b) != 0) pc = ins.target; break; }
          case OP_lookupswitch: {
            const double index = ToNumber(pop());
            const std::uint32_t cases = ins.b;
            if (index >= 0 && index < cases && index == std::floor(index)) pc = decoded.switchTargets[ins.a + static_cast<std::uint32_t>(index)];
            else pc = ins.target;
            break;
          }
          case OP_pushwith: {
            const Value v = pop();
            if (v.IsNullish()) ThrowTypeError(1009, "Cannot access a property or method of a null object reference.");
            scopes.push_back({v, true});
            break;
          }
          case OP_pushscope: {
            const Value v = pop();
            if (v.IsNullish()) ThrowTypeError(1009, "Cannot access a property or method of a null object reference.");
            scopes.push_back({v, false});
            break;
          }
          case OP_popscope: if (!scopes.empty()) scopes.pop_back(); break;
          case OP_nextname: {
            const Value index = pop();
            const Value object = pop();
            stack.push_back(object.IsObject() ? NameAt(object.object, ToInt32(index)) : Value());
            break;
          }
          case OP_nextvalue: {
            const Value index = pop();
            const Value object = pop();
            stack.push_back(object.IsObject() ? ValueAt(object.object, ToInt32(index)) : Value());
            break;
          }
          case OP_hasnext: {
            const Value index = pop();
            const Value object = pop();
            stack.push_back(Value::Number(object.IsObject() ? NextIndex(object.object, ToInt32(index)) : 0));
            break;
          }
          case OP_hasnext2: {
            Value& objectReg = locals[ins.a];
            Value& indexReg = locals[ins.b];
            Object* o = objectReg.AsObject();
            int index = ToInt32(indexReg);
            int next = 0;
            while (o) {
              next = NextIndex(o, index);
              if (next > 0) break;
              o = o->proto;
              index = 0;
              // Prototypes of built-in classes hold only hidden names.
              if (o && o->properties.empty()) o = nullptr;
            }
            objectReg = o ? Value::Obj(o) : Value::Null();
            indexReg = Value::Number(next);
            stack.push_back(Value::Bool(next > 0));
            break;
          }
          case OP_pushnull: stack.push_back(Value::Null()); break;
          case OP_pushundefined: stack.push_back(Value()); break;
          case OP_pushbyte: stack.push_back(Value::Number(static_cast<std::int32_t>(ins.a))); break;
          case OP_pushshort: stack.push_back(Value::Number(static_cast<std::int16_t>(ins.a & 0xFFFF))); break;
          case OP_pushtrue: stack.push_back(Value::Bool(true)); break;
          case OP_pushfalse: stack.push_back(Value::Bool(false)); break;
          case OP_pushnan: stack.push_back(Value::Number(std::nan(""))); break;
          case OP_pop: pop(); break;
          case OP_dup: { const Value v = pop(); stack.push_back(v); stack.push_back(v); break; }
          case OP_swap: { const Value b = pop(), a = pop(); stack.push_back(b); stack.push_back(a); break; }
          case OP_pushstring: stack.push_back(PoolString(unit, ins.a)); break;
          case OP_pushint: stack.push_back(Value::Number(abc.ints[ins.a])); break;
          case OP_pushuint: stack.push_back(Value::Number(abc.uints[ins.a])); break;
          case OP_pushdouble: stack.push_back(Value::Number(abc.doubles[ins.a])); break;
          case OP_pushnamespace: stack.push_back(DefaultValue(unit, kNsNamespace, ins.a)); break;
          case OP_li8: case OP_li16: case OP_li32: case OP_lf32: case OP_lf64: case OP_si8: case OP_si16:
          case OP_si32: case OP_sf32: case OP_sf64:
            ThrowError("RangeError", 1506, "The specified range is invalid.");
          case OP_newfunction: {
            ScopeChain chain = outerScope;
            chain.insert(chain.end(), scopes.begin(), scopes.end());
            FunctionObject* f = NewFunction(unit.methods[ins.a].get(), chain);
            f->method->isClosure = true;
            // Functions made inside a class's code print as anonymous in stack traces.
            if (method->declaringClass && f->method->role == MethodInfo::Role::Function)
              f->method->role = MethodInfo::Role::Anonymous;
            Object* proto = NewObject();
            proto->SetOwn("constructor", Value::Obj(f), false);
            f->SetOwn("prototype", Value::Obj(proto), false);
            stack.push_back(Value::Obj(f));
            break;
          }
          case OP_call: {
            popArgs(ins.a, argv);
            const Value receiver = pop();
            const Value function = pop();
            stack.push_back(Call(function, receiver, argv.data(), static_cast<int>(argv.size())));
            break;
          }
          case OP_construct: {
            popArgs(ins.a, argv);
            const Value constructor = pop();
            if (constructor.IsNullish()) ThrowTypeError(1007, "Instantiation attempted on a non-constructor.");
            stack.push_back(Construct(constructor, argv.data(), static_cast<int>(argv.size())));
            break;
          }
          case OP_callmethod: {
            popArgs(ins.b, argv);
            pop();
            ThrowError("VerifyError", 1051, "Illegal early binding access to " + method->name + ".");
          }
          case OP_callstatic: {
            popArgs(ins.b, argv);
            const Value receiver = pop();
            stack.push_back(Invoke(unit.methods[ins.a].get(), receiver, argv.data(), static_cast<int>(argv.size()), &outerScope));
            break;
          }
          case OP_callsuper:
          case OP_callsupervoid: {
            popArgs(ins.b, argv);
            const Multiname name = popName(ins.a, nullptr);
            const Value object = pop();
            ClassObject* base = superTraits();
            const Binding* b = base && name.id != kNoName ? base->instanceTraits->Find(name.id, name, *this) : nullptr;
            Value result;
            if (b && b->kind == Binding::Kind::Method)
              result = Invoke(b->method, object, argv.data(), static_cast<int>(argv.size()),
                              b->method->declaringClass ? &b->method->declaringClass->scope : nullptr);
            else if (b && b->kind == Binding::Kind::Accessor && b->getter)
              result = Call(Invoke(b->getter, object, nullptr, 0, nullptr), object, argv.data(), static_cast<int>(argv.size()));
            else
              ThrowReferenceError(1070, "Method " + (name.text ? *name.text : std::string("*")) + " not found on " +
                                            (base ? base->QualifiedName() : std::string("Object")));
            if (ins.op == OP_callsuper) stack.push_back(result);
            break;
          }
          case OP_callproperty:
          case OP_callproplex:
          case OP_callpropvoid: {
            popArgs(ins.b, argv);
            const Multiname name = popName(ins.a, nullptr);
            const Value object = pop();
            const Value result = CallProperty(object, name, argv.data(), static_cast<int>(argv.size()), ins.op == OP_callproplex);
            if (ins.op != OP_callpropvoid) stack.push_back(result);
            break;
          }
          case OP_returnvoid: return Value();
          case OP_returnvalue: {
            const Value v = pop();
            if (decoded.returnsVoid) return Value();
            return decoded.returnType ? Coerce(v, decoded.returnType) : v;
          }
          case OP_constructsuper: {
            popArgs(ins.a, argv);
            const Value object = pop();
            ClassObject* base = superTraits();
            if (base && base->init) Invoke(base->init, object, argv.data(), static_cast<int>(argv.size()), &base->scope);
            break;
          }
          case OP_constructprop: {
            popArgs(ins.b, argv);
            const Multiname name = popName(ins.a, nullptr);
            const Value object = pop();
            const Value constructor = GetProperty(object, name);
            if (!constructor.IsObject())
              ThrowTypeError(1007, "Instantiation attempted on a non-constructor.");
            stack.push_back(Construct(constructor, argv.data(), static_cast<int>(argv.size())));
            break;
          }
          case OP_sxi1: { const Value v = pop(); stack.push_back(Value::Number((ToInt32(v) & 1) ? -1 : 0)); break; }
          case OP_sxi8: { const Value v = pop(); stack.push_back(Value::Number(static_cast<std::int8_t>(ToInt32(v)))); break; }
          case OP_sxi16: { const Value v = pop(); stack.push_back(Value::Number(static_cast<std::int16_t>(ToInt32(v)))); break; }
          case OP_applytype: {
            popArgs(ins.a, argv);
            const Value factory = pop();
            Value result = factory;
            if (factory.IsObject() && factory.object == vectorClass && argv.size() == 1) {
              ClassObject* param = argv[0].IsObject() && argv[0].object->kind == ObjectKind::Class
                                       ? static_cast<ClassObject*>(argv[0].object) : nullptr;
              result = Value::Obj(ApplyVector(*this, param));
            }
            stack.push_back(result);
            break;
          }
          case OP_newobject: {
            popArgs(ins.a * 2, argv);
            Object* o = NewObject();
            for (std::size_t i = 0; i + 1 < argv.size(); i += 2) o->SetOwn(ToString(argv[i]), argv[i + 1]);
            stack.push_back(Value::Obj(o));
            break;
          }
          case OP_newarray: {
            popArgs(ins.a, argv);
            stack.push_back(Value::Obj(NewArray(argv)));
            break;
          }
          case OP_newactivation: {
            Traits* traits = decoded.activation.get();
            Object* o = heap.Make<Object>(ObjectKind::Activation, traits, nullptr);
            if (traits) InitSlots(o, *traits);
            o->dynamic = false;
            stack.push_back(Value::Obj(o));
            break;
          }
          case OP_newclass: {
            const Value base = pop();
            ClassObject* baseClass = base.IsObject() && base.object->kind == ObjectKind::Class ? static_cast<ClassObject*>(base.object) : nullptr;
            ScopeChain chain = outerScope;
            chain.insert(chain.end(), scopes.begin(), scopes.end());
            stack.push_back(Value::Obj(NewClass(unit, ins.a, baseClass, chain)));
            break;
          }
          case OP_getdescendants: {
            const Multiname name = popName(ins.a, nullptr);
            const Value object = pop();
            if (object.IsObject() && object.object->kind == ObjectKind::Proxy) {
              const Value qname = ProxyName(*this, name);
              stack.push_back(ProxyCall(*this, object.object, kProxyDescendants, &qname, 1));
              break;
            }
            stack.push_back(XmlDescendants(*this, object, name));
            break;
          }
          case OP_checkfilter: {
            const Value& object = stack.back();
            if (!object.IsObject() || !IsXmlKind(object.object))
              ThrowTypeError(1123, "Filter operator not supported on type " + QualifiedClassName(object) + ".");
            break;
          }
          case OP_newcatch: {
            Traits* traits = decoded.handlers[ins.a].catchTraits.get();
            Object* o = heap.Make<Object>(ObjectKind::Catch, traits, nullptr);
            InitSlots(o, *traits);
            o->dynamic = false;
            stack.push_back(Value::Obj(o));
            break;
          }
          case OP_findpropstrict:
          case OP_findproperty: {
            const Multiname name = popName(ins.a, nullptr);
            stack.push_back(findProperty(name, ins.op == OP_findpropstrict));
            break;
          }
          case OP_finddef: {
            const Multiname& name = unit.multinames[ins.a];
            Object* d = FindDefinition(name);
            stack.push_back(Value::Obj(d ? d : globalObject));
            break;
          }
          case OP_getlex: {
            const Multiname& name = unit.multinames[ins.a];
            const Value holder = findProperty(name, true);
            stack.push_back(GetProperty(holder, name));
            break;
          }
          case OP_setproperty:
          case OP_initproperty: {
            const Value value = pop();
            const AbcMultiname& raw = abc.multinames[ins.a];
            if (raw.RuntimeName() && !raw.RuntimeNamespace() && stack.size() >= 2 && stack.back().IsNumber() &&
                stack[stack.size() - 2].IsObject() && stack[stack.size() - 2].object->kind == ObjectKind::Array) {
              const double d = stack.back().number;
              auto* a = static_cast<ArrayObject*>(stack[stack.size() - 2].object);
              if (d >= 0 && d < a->elements.size() && d == std::floor(d)) {
                a->elements[static_cast<std::size_t>(d)] = value;
                stack.resize(stack.size() - 2);
                break;
              }
            }
            if (raw.RuntimeName() && !raw.RuntimeNamespace() && stack.size() >= 2 &&
                IsDictionaryKey(stack[stack.size() - 2], stack.back())) {
              *DictionaryEntry(stack[stack.size() - 2], stack.back(), true) = value;
              stack.resize(stack.size() - 2);
              break;
            }
            const Multiname name = popName(ins.a, nullptr);
            const Value object = pop();
            SetProperty(object, name, value, ins.op == OP_initproperty);
            break;
          }
          case OP_getlocal: stack.push_back(locals[ins.a]); break;
          case OP_setlocal: locals[ins.a] = pop(); break;
          case OP_getglobalscope:
            stack.push_back(!outerScope.empty() ? outerScope[0].value : !scopes.empty() ? scopes[0].value : Value::Null());
            break;
          case OP_getscopeobject:
            if (ins.a >= scopes.size()) ThrowError("VerifyError", 1019, "Getscopeobject " + std::to_string(ins.a) + " is out of bounds.");
            stack.push_back(scopes[ins.a].value);
            break;
          case OP_getouterscope:
            if (ins.a >= outerScope.size()) ThrowError("VerifyError", 1019, "Getscopeobject " + std::to_string(ins.a) + " is out of bounds.");
            stack.push_back(outerScope[ins.a].value);
            break;
          case OP_getproperty: {
            const AbcMultiname& raw = abc.multinames[ins.a];
            if (raw.RuntimeName() && !raw.RuntimeNamespace() && stack.size() >= 2 && stack.back().IsNumber() &&
                stack[stack.size() - 2].IsObject() && stack[stack.size() - 2].object->kind == ObjectKind::Array) {
              const double d = stack.back().number;
              auto* a = static_cast<ArrayObject*>(stack[stack.size() - 2].object);
              if (d >= 0 && d < a->elements.size() && d == std::floor(d) &&
                  a->elements[static_cast<std::size_t>(d)].type != Value::Type::Hole) {
                const Value v = a->elements[static_cast<std::size_t>(d)];
                stack.resize(stack.size() - 2);
                stack.push_back(v);
                break;
              }
            }
            if (raw.RuntimeName() && !raw.RuntimeNamespace() && stack.size() >= 2 &&
                IsDictionaryKey(stack[stack.size() - 2], stack.back())) {
              const Value* entry = DictionaryEntry(stack[stack.size() - 2], stack.back(), false);
              const Value v = entry ? *entry : Value();
              stack.resize(stack.size() - 2);
              stack.push_back(v);
              break;
            }
            const Multiname name = popName(ins.a, nullptr);
            const Value object = pop();
            stack.push_back(GetProperty(object, name));
            break;
          }
          case OP_deleteproperty: {
            const AbcMultiname& raw = abc.multinames[ins.a];
            if (raw.RuntimeName() && !raw.RuntimeNamespace() && stack.size() >= 2 &&
                IsDictionaryKey(stack[stack.size() - 2], stack.back())) {
              // deleting a key the dictionary does not hold succeeds too
              DictionaryDelete(stack[stack.size() - 2], stack.back());
              stack.resize(stack.size() - 2);
              stack.push_back(Value::Bool(true));
              break;
            }
            const Multiname name = popName(ins.a, nullptr);
            const Value object = pop();
            stack.push_back(Value::Bool(DeleteProperty(object, name)));
            break;
          }
          case OP_getslot: {
            const Value object = pop();
            Object* o = object.AsObject();
            if (!o) ThrowTypeError(1009, "Cannot access a property or method of a null object reference.");
            if (ins.a == 0 || ins.a > o->slotValues.size()) ThrowError("VerifyError", 1026, "Slot " + std::to_string(ins.a) + " exceeds slotCount=" + std::to_string(o->slotValues.size()) + " of " + QualifiedClassName(object) + ".");
            stack.push_back(o->slotValues[ins.a - 1]);
            break;
          }
          case OP_setslot: {
            const Value value = pop();
            const Value object = pop();
            Object* o = object.AsObject();
            if (!o) ThrowTypeError(1009, "Cannot access a property or method of a null object reference.");
            if (ins.a == 0 || ins.a > o->slotValues.size()) ThrowError("VerifyError", 1026, "Slot " + std::to_string(ins.a) + " exceeds slotCount=" + std::to_string(o->slotValues.size()) + " of " + QualifiedClassName(object) + ".");
            o->slotValues[ins.a - 1] = o->traits && ins.a - 1 < o->traits->slotValues.size() ? CoerceSlot(o->traits->slotValues[ins.a - 1], value) : value;
            break;
          }
          case OP_getglobalslot:
          case OP_setglobalslot: {
            const Value global = !outerScope.empty() ? outerScope[0].value : !scopes.empty() ? scopes[0].value : Value();
            Object* o = global.AsObject();
            if (!o || ins.a == 0 || ins.a > o->slotValues.size()) ThrowError("VerifyError", 1026, "Slot " + std::to_string(ins.a) + " exceeds slotCount.");
            if (ins.op == OP_getglobalslot) stack.push_back(o->slotValues[ins.a - 1]);
            else o->slotValues[ins.a - 1] = pop();
            break;
          }
          case OP_convert_s: { const Value v = pop(); stack.push_back(v.IsString() ? v : StrValue(ToString(v))); break; }
          case OP_esc_xelem:
          case OP_esc_xattr: {
            const std::string text = ToString(pop());
            std::string out;
            for (char c : text) {
              if (c == '<') out += "&lt;";
              else if (c == '>') out += "&gt;";
              else if (c == '&') out += "&amp;";
              else if (c == '"' && ins.op == OP_esc_xattr) out += "&quot;";
              else out += c;
            }
            stack.push_back(StrValue(out));
            break;
          }
          case OP_convert_i: case OP_coerce_i: { const Value v = pop(); stack.push_back(Value::Number(ToInt32(v))); break; }
          case OP_convert_u: case OP_coerce_u: { const Value v = pop(); stack.push_back(Value::Number(ToUint32(v))); break; }
          case OP_convert_d: case OP_coerce_d: { const Value v = pop(); stack.push_back(v.IsNumber() ? v : Value::Number(ToNumber(v))); break; }
          case OP_convert_b: case OP_coerce_b: { const Value v = pop(); stack.push_back(Value::Bool(ToBoolean(v))); break; }
          case OP_convert_o: {
            const Value v = stack.empty() ? Value() : stack.back();
            if (v.IsNull()) ThrowTypeError(1009, "Cannot access a property or method of a null object reference.");
            if (v.IsNullish()) ThrowTypeError(1010, "A term is undefined and has no properties.");
            break;
          }
          case OP_coerce_o: { const Value v = pop(); stack.push_back(v.IsUndefined() ? Value::Null() : v); break; }
          case OP_coerce_a: break;
          case OP_coerce_s: {
            const Value v = pop();
            stack.push_back(v.IsNullish() ? Value::Null() : v.IsString() ? v : StrValue(ToString(v)));
            break;
          }
          case OP_coerce: {
            const Value v = pop();
            stack.push_back(Coerce(v, ResolveType(unit, ins.a)));
            break;
          }
          case OP_astype: {
            const Value v = pop();
            ClassObject* type = ResolveType(unit, ins.a);
            stack.push_back(!type || IsInstance(v, type) ? v : Value::Null());
            break;
          }
          case OP_astypelate: {
            const Value type = pop();
            const Value v = pop();
            if (!type.IsObject() || type.object->kind != ObjectKind::Class)
              ThrowTypeError(1041, "The right-hand side of operator must be a class.");
            stack.push_back(IsInstance(v, static_cast<ClassObject*>(type.object)) ? v : Value::Null());
            break;
          }
          case OP_istype: {
            const Value v = pop();
            stack.push_back(Value::Bool(IsInstance(v, ResolveType(unit, ins.a))));
            break;
          }
          case OP_istypelate: {
            const Value type = pop();
            const Value v = pop();
            if (!type.IsObject() || type.object->kind != ObjectKind::Class)
              ThrowTypeError(1041, "The right-hand side of operator must be a class.");
            stack.push_back(Value::Bool(IsInstance(v, static_cast<ClassObject*>(type.object))));
            break;
          }
          case OP_instanceof: {
            const Value type = pop();
            const Value v = pop();
            if (!type.IsObject() || (type.object->kind != ObjectKind::Class && type.object->kind != ObjectKind::Function))
              ThrowTypeError(1040, "The right-hand side of instanceof must be a class or function.");
            const Value protoValue = type.object->kind == ObjectKind::Class ? Value::Obj(static_cast<ClassObject*>(type.object)->prototype)
                                                                            : GetPublic(type, "prototype");
            bool result = false;
            Object* start = v.IsObject() ? v.object->proto : v.IsNullish() ? nullptr : ClassOf(v)->prototype;
            for (Object* p = start; p && !result; p = p->proto) result = protoValue.IsObject() && p == protoValue.object;
            stack.push_back(Value::Bool(result));
            break;
          }
          case OP_in: {
            const Value object = pop();
            const Value name = pop();
            if (object.IsNullish()) ThrowTypeError(1009, "Cannot access a property or method of a null object reference.");
            if (IsDictionaryKey(object, name)) {
              stack.push_back(Value::Bool(DictionaryEntry(object, name, false) != nullptr));
              break;
            }
            std::string text;
            NsId ns = 0;
            Multiname m;
            if (name.IsObject() && name.object->kind == ObjectKind::QName) {
              m = ResolveName(unit, 0, &name, nullptr, text, ns);
            } else {
              text = ToString(name);
              m = PublicName(text);
              m.text = &text;
              m.id = FindId(text);
            }
            stack.push_back(Value::Bool(HasProperty(object, m)));
            break;
          }
          case OP_typeof: { const Value v = pop(); stack.push_back(StrValue(TypeOf(v))); break; }
          case OP_not: { const Value v = pop(); stack.push_back(Value::Bool(!ToBoolean(v))); break; }
          case OP_bitnot: { const Value v = pop(); stack.push_back(Value::Number(~ToInt32(v))); break; }
          case OP_negate: { const Value v = pop(); stack.push_back(Value::Number(-ToNumber(v))); break; }
          case OP_negate_i: { const Value v = pop(); stack.push_back(Value::Number(static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(ToInt32(v))))); break; }
          case OP_increment: { const Value v = pop(); stack.push_back(Value::Number(ToNumber(v) + 1)); break; }
          case OP_decrement: { const Value v = pop(); stack.push_back(Value::Number(ToNumber(v) - 1)); break; }
          case OP_increment_i: { const Value v = pop(); stack.push_back(Value::Number(static_cast<std::int32_t>(static_cast<std::uint32_t>(ToInt32(v)) + 1u))); break; }
          case OP_decrement_i: { const Value v = pop(); stack.push_back(Value::Number(static_cast<std::int32_t>(static_cast<std::uint32_t>(ToInt32(v)) - 1u))); break; }
          case OP_inclocal: locals[ins.a] = Value::Number(ToNumber(locals[ins.a]) + 1); break;
          case OP_declocal: locals[ins.a] = Value::Number(ToNumber(locals[ins.a]) - 1); break;
          case OP_inclocal_i: locals[ins.a] = Value::Number(static_cast<std::int32_t>(static_cast<std::uint32_t>(ToInt32(locals[ins.a])) + 1u)); break;
          case OP_declocal_i: locals[ins.a] = Value::Number(static_cast<std::int32_t>(static_cast<std::uint32_t>(ToInt32(locals[ins.a])) - 1u)); break;
          case OP_add: {
            const Value b = pop();
            Value& a = stack.empty() ? (stack.push_back(Value()), stack.back()) : stack.back();
            if (a.IsNumber() && b.IsNumber()) a.number += b.number;
            else a = Add(a, b);
            break;
          }
          case OP_add_i: { const Value b = pop(), a = pop(); stack.push_back(Value::Number(static_cast<std::int32_t>(static_cast<std::uint32_t>(ToInt32(a)) + static_cast<std::uint32_t>(ToInt32(b))))); break; }
          case OP_subtract_i: { const Value b = pop(), a = pop(); stack.push_back(Value::Number(static_cast<std::int32_t>(static_cast<std::uint32_t>(ToInt32(a)) - static_cast<std::uint32_t>(ToInt32(b))))); break; }
          case OP_multiply_i: { const Value b = pop(), a = pop(); stack.push_back(Value::Number(static_cast<std::int32_t>(static_cast<std::uint32_t>(ToInt32(a)) * static_cast<std::uint32_t>(ToInt32(b))))); break; }
          case OP_subtract: { const Value b = pop(), a = pop(); stack.push_back(Value::Number(ToNumber(a) - ToNumber(b))); break; }
          case OP_multiply: { const Value b = pop(), a = pop(); stack.push_back(Value::Number(ToNumber(a) * ToNumber(b))); break; }
          case OP_divide: { const Value b = pop(), a = pop(); stack.push_back(Value::Number(ToNumber(a) / ToNumber(b))); break; }
          case OP_modulo: { const Value b = pop(), a = pop(); stack.push_back(Value::Number(std::fmod(ToNumber(a), ToNumber(b)))); break; }
          case OP_lshift: { const Value b = pop(), a = pop(); stack.push_back(Value::Number(static_cast<std::int32_t>(static_cast<std::uint32_t>(ToInt32(a)) << (ToUint32(b) & 31)))); break; }
          case OP_rshift: { const Value b = pop(), a = pop(); stack.push_back(Value::Number(ToInt32(a) >> (ToUint32(b) & 31))); break; }
          case OP_urshift: { const Value b = pop(), a = pop(); stack.push_back(Value::Number(ToUint32(a) >> (ToUint32(b) & 31))); break; }
          case OP_bitand: { const Value b = pop(), a = pop(); stack.push_back(Value::Number(ToInt32(a) & ToInt32(b))); break; }
          case OP_bitor: { const Value b = pop(), a = pop(); stack.push_back(Value::Number(ToInt32(a) | ToInt32(b))); break; }
          case OP_bitxor: { const Value b = pop(), a = pop(); stack.push_back(Value::Number(ToInt32(a) ^ ToInt32(b))); break; }
          case OP_equals: { const Value b = pop(), a = pop(); stack.push_back(Value::Bool(LooseEquals(a, b))); break; }
          case OP_strictequals: { const Value b = pop(), a = pop(); stack.push_back(Value::Bool(StrictEquals(a, b))); break; }
          case OP_lessthan: { const Value b = pop(), a = pop(); stack.push_back(Value::Bool(compare(a, b) == 1)); break; }
          case OP_lessequals: { const Value b = pop(), a = pop(); stack.push_back(Value::Bool(compare(b, a) == 0)); break; }
          case OP_greaterthan: { const Value b = pop(), a = pop(); stack.push_back(Value::Bool(compare(b, a) == 1)); break; }
          case OP_greaterequals: { const Value b = pop(), a = pop(); stack.push_back(Value::Bool(compare(a, b) == 0)); break; }
          case OP_getlocal0: case OP_getlocal1: case OP_getlocal2: case OP_getlocal3:
            stack.push_back(locals[ins.op - OP_getlocal0]);
            break;
          case OP_setlocal0: case OP_setlocal1: case OP_setlocal2: case OP_setlocal3:
            locals[ins.op - OP_setlocal0] = pop();
            break;
          default:
            ThrowError("VerifyError", 1011, "Method " + method->name + " contained illegal opcode " + std::to_string(ins.op) + ".");
        }
      }
      // Only code that the compiler never reaches may end without a return.
      ThrowError("VerifyError", 1020, "Code cannot fall off the end of a method.");
    } catch (Thrown& thrown) {
      const std::uint32_t offset = pc > 0 ? code[pc - 1].offset : 0;
      const DecodedCode::Handler* handler = nullptr;
      for (const auto& h : decoded.handlers) {
        if (offset < h.from || offset >= h.to) continue;
        ClassObject* type = h.type ? ResolveType(unit, h.type) : nullptr;
        if (h.type && !type) continue;
        if (!type || IsInstance(thrown.value, type)) {
          handler = &h;
          break;
        }
      }
      if (!handler) throw;
      stack.clear();
      scopes.clear();
      stack.push_back(thrown.value);
      pc = handler->target;
    }
  }
}

}  // namespace vantrel::flash::avm2
