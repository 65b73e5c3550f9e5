// The interpreter. A method body is decoded and checked once, at its first call, into
// fixed-size instructions with branch targets resolved to instruction numbers; bodies
// that do not decode (unknown opcodes, branches into the middle of an instruction,
// indices out of range) throw the player's VerifyError instead of running.
#include <array>
#include <cmath>
#include <functional>

#include "flash/avm2/interpreter_internal.h"
#include "flash/avm2/machine.h"

namespace vantrel::flash::avm2 {

namespace {

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

Value Machine::Execute(MethodInfo* method, const Value& self, const Value* args, int argc, const ScopeChain* outer,
                       const Object* owner, CallerHolds holds) {
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

  // Arguments.
  const int params = static_cast<int>(info.paramTypes.size());
  const int required = params - static_cast<int>(info.optionals.size());
  // Too few arguments are an error when a parameter left out has a declared type: code compiled without
  // types (the language's own acceptance tests, ECMAScript-style libraries) calls
  // functions with fewer arguments, and the player gives the rest undefined.
  bool missingTyped = false, typed = false;
  for (int i = std::max(argc, 0); i < required; ++i) missingTyped = missingTyped || info.paramTypes[static_cast<std::size_t>(i)] != 0;
  for (std::uint32_t t : info.paramTypes) typed = typed || t != 0;
  // Extra arguments: an error for methods and for closures that declare types, taken
  // silently by untyped closures (callbacks written for any number of arguments).
  if (missingTyped ||
      (argc > params && (!method->isClosure || typed) && !(info.flags & (AbcMethod::kNeedRest | AbcMethod::kNeedArguments | 0x10)))) {
    // The call never started: the error shows the caller's frames only.
    const MethodInfo* top = callStack.back();
    callStack.pop_back();
    try {
      // A function of a script's code is named here by the name the compiler gave it,
      // though stack traces give only its number.
      const std::string callee = method->role == MethodInfo::Role::Function && !method->name.empty()
                                     ? "Function/" + method->name + "()"
                                     : FrameName(method);
      ThrowError("ArgumentError", 1063, "Argument count mismatch on " + callee + ". Expected " +
                                            std::to_string(required) + ", got " + std::to_string(argc) + ".");
    } catch (...) {
      callStack.push_back(top);
      throw;
    }
  }
  Frame f{method, unit, abc, decoded, outer ? *outer : kNoScope};
  f.self = self;
  f.owner = owner;
  // The frame's values are roots while it runs; a collection waits while this method
  // runs when its caller holds values of its own.
  struct Running {
    std::vector<const Frame*>& frames;
    int& pinned;
    const bool pins;
    Running(std::vector<const Frame*>& all, int& p, const Frame& frame, bool pin) : frames(all), pinned(p), pins(pin) {
      frames.push_back(&frame);
      if (pins) ++pinned;
    }
    ~Running() {
      frames.pop_back();
      if (pins) --pinned;
    }
  } running(frames_, pinned_, f, holds == CallerHolds::Values);
  std::vector<Value>& locals = f.locals;
  locals.resize(decoded.localCount);
  locals[0] = self;
  for (int i = 0; i < params; ++i) {
    Value v;
    if (i < argc) {
      v = args[i];
    } else if (i >= required) {
      const AbcOptional& o = info.optionals[static_cast<std::size_t>(i - required)];
      v = DefaultValue(unit, o.kind, o.index);
    }  // an untyped parameter left out is undefined
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
    // callee is the running function; a method (an initializer, say) is wrapped in a
    // function object of its own for it.
    Object* callee = owner ? const_cast<Object*>(owner) : NewFunction(method, outer ? *outer : kNoScope);
    arguments->SetOwn("callee", Value::Obj(callee), false);
  }

  // The sizes a method declares are only hints: a file may claim billions.
  constexpr std::size_t kReserveLimit = 4096;
  f.stack.reserve(std::min<std::size_t>(body.maxStack + 2, kReserveLimit));
  f.scopes.reserve(std::min<std::size_t>(std::size_t{body.maxScopeDepth} + 1, kReserveLimit));
  const Instruction* code = decoded.code.data();
  const std::size_t count = decoded.code.size();

  for (;;) {
    try {
      while (f.pc < count) {
        if (((budget_ & 0xFFF) == 0 && clock && budget_ > 0 && !clock->TimeLeft()) || --budget_ < 0) {
          budget_ = 0;
          throw Halt{"Error: Error #1502: A script has executed for longer than the default timeout period of 15 seconds."};
        }
        if (heap.PastSoftLimit()) CollectInScript();
        const Instruction& ins = code[f.pc++];
        (this->*kInstructions[ins.op].run)(f, ins);
      }
      if (f.returned) return f.result;
      // Only code that the compiler never reaches may end without a return.
      ThrowError("VerifyError", 1020, "Code cannot fall off the end of a method.");
    } catch (Thrown& thrown) {
      const std::uint32_t offset = f.pc > 0 ? code[f.pc - 1].offset : 0;
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
      f.stack.clear();
      f.scopes.clear();
      f.stack.push_back(thrown.value);
      f.pc = handler->target;
    }
  }
}

void Machine::CollectInScript() {
  if (pinned_ == 0 && collect) {
    collect();
    if (!heap.OverBudget()) return;
  } else if (!heap.OverBudget()) {
    heap.DeferSoftLimit();
    return;
  }
  // Script data past the heap's hard limit stops the script.
  if (heap.StopWithoutCollection()) {
    budget_ = 0;
    throw Halt{"Error: Error #1000: The system is out of memory."};
  }
}

void Machine::TraceFrame(gc::Tracer& tracer, const Frame& f) const {
  TraceValue(tracer, f.self);
  tracer.Mark(f.owner);
  for (const Value& v : f.locals) TraceValue(tracer, v);
  for (const Value& v : f.stack) TraceValue(tracer, v);
  for (const Value& v : f.argv) TraceValue(tracer, v);
  for (const Scope& s : f.scopes) TraceValue(tracer, s.value);
  for (const Scope& s : f.outerScope) TraceValue(tracer, s.value);
  TraceValue(tracer, f.result);
}

// The name an instruction's multiname index stands for, with the parts a runtime name
// takes off the stack (name on top of namespace); runtime, when given, gets them too.
Multiname Machine::PopName(Frame& f, std::uint32_t index, Value* runtime) {
  const AbcMultiname& raw = f.abc.multinames[index];
  Value name, ns;
  if (raw.RuntimeName()) name = Pop(f);
  if (raw.RuntimeNamespace()) ns = Pop(f);
  if (runtime) {
    runtime[0] = name;
    runtime[1] = ns;
  }
  if (!raw.RuntimeName() && !raw.RuntimeNamespace()) return f.unit.multinames[index];
  return ResolveName(f.unit, index, raw.RuntimeName() ? &name : nullptr, raw.RuntimeNamespace() ? &ns : nullptr,
                     f.nameStorage, f.nsStorage);
}

// The object on the scope chain (the method's own scopes first, then the ones it closed
// over, then the definitions) that has name; the global object when none has it, or a
// ReferenceError when strict.
Value Machine::FindProperty(Frame& f, const Multiname& name, bool strict) {
  const ScopeChain& scopes = f.scopes;
  const ScopeChain& outerScope = f.outerScope;
  for (std::size_t i = scopes.size(); i-- > 0;) {
    const Scope& s = scopes[i];
    Object* o = s.value.AsObject();
    // A number, string or Boolean on the scope chain has what its class's prototype has.
    if (!o && !s.value.IsNullish() && HasProperty(s.value, name)) return s.value;
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
}

// The base class of the class whose method runs (where super looks), or null.
ClassObject* Machine::SuperTraits(Frame& f) {
  ClassObject* c = f.method->declaringClass;
  return c ? c->base : nullptr;
}

const std::array<Machine::InstructionEntry, 256> Machine::kInstructions = [] {
  std::array<InstructionEntry, 256> table;
  table.fill({nullptr, &Machine::OpIllegal});
#define VANTREL_AVM2_OP(code, name, function) table[code] = {#name, &Machine::Op##function};
#define VANTREL_AVM2_ALIAS(code, name, function) table[code] = {#name, &Machine::Op##function};
#include "flash/avm2/op_list.h"
#undef VANTREL_AVM2_OP
#undef VANTREL_AVM2_ALIAS
  return table;
}();

const char* Machine::InstructionName(std::uint8_t op) { return kInstructions[op].name; }

// Decoding turns opcodes that name no instruction away, so this runs only if the two
// disagree: the method fails as it would have at verification.
void Machine::OpIllegal(Frame& f, const Instruction& ins) {
  ThrowError("VerifyError", 1011, "Method " + f.method->name + " contained illegal opcode " + std::to_string(ins.op) + ".");
}

}  // namespace vantrel::flash::avm2
