// The operand stack, the locals and the scope stack; the domain memory instructions.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "flash/avm2/interpreter_internal.h"

namespace vantrel::flash::avm2 {

void Machine::OpKill(Frame& f, const Instruction& ins) {
  std::vector<Value>& locals = f.locals;
  locals[ins.a] = Value();
}

void Machine::OpPushWith(Frame& f, const Instruction&) {
  ScopeChain& scopes = f.scopes;
  MethodInfo* method = f.method;
  const Value v = Pop(f);
  if (v.IsNullish()) ThrowTypeError(1009, "Cannot access a property or method of a null object reference.");
  scopes.push_back({v, true});
}

void Machine::OpPushScope(Frame& f, const Instruction&) {
  ScopeChain& scopes = f.scopes;
  MethodInfo* method = f.method;
  const Value v = Pop(f);
  if (v.IsNullish()) ThrowTypeError(1009, "Cannot access a property or method of a null object reference.");
  scopes.push_back({v, false});
}

void Machine::OpPopScope(Frame& f, const Instruction&) {
  ScopeChain& scopes = f.scopes;
  if (!scopes.empty()) scopes.pop_back();
}

void Machine::OpPushNull(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  stack.push_back(Value::Null());
}

void Machine::OpPushUndefined(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  stack.push_back(Value());
}

void Machine::OpPushByte(Frame& f, const Instruction& ins) {
  std::vector<Value>& stack = f.stack;
  stack.push_back(Value::Number(static_cast<std::int32_t>(ins.a)));
}

void Machine::OpPushShort(Frame& f, const Instruction& ins) {
  std::vector<Value>& stack = f.stack;
  stack.push_back(Value::Number(static_cast<std::int16_t>(ins.a & 0xFFFF)));
}

void Machine::OpPushTrue(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  stack.push_back(Value::Bool(true));
}

void Machine::OpPushFalse(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  stack.push_back(Value::Bool(false));
}

void Machine::OpPushNan(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  stack.push_back(Value::Number(std::nan("")));
}

void Machine::OpPop(Frame& f, const Instruction&) {
  Pop(f);
}

void Machine::OpDup(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value v = Pop(f);
  stack.push_back(v);
  stack.push_back(v);
}

void Machine::OpSwap(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value b = Pop(f), a = Pop(f);
  stack.push_back(b);
  stack.push_back(a);
}

void Machine::OpPushString(Frame& f, const Instruction& ins) {
  std::vector<Value>& stack = f.stack;
  AbcUnit& unit = f.unit;
  stack.push_back(PoolString(unit, ins.a));
}

void Machine::OpPushInt(Frame& f, const Instruction& ins) {
  std::vector<Value>& stack = f.stack;
  const AbcFile& abc = f.abc;
  stack.push_back(Value::Number(abc.ints[ins.a]));
}

void Machine::OpPushUint(Frame& f, const Instruction& ins) {
  std::vector<Value>& stack = f.stack;
  const AbcFile& abc = f.abc;
  stack.push_back(Value::Number(abc.uints[ins.a]));
}

void Machine::OpPushDouble(Frame& f, const Instruction& ins) {
  std::vector<Value>& stack = f.stack;
  const AbcFile& abc = f.abc;
  stack.push_back(Value::Number(abc.doubles[ins.a]));
}

void Machine::OpPushNamespace(Frame& f, const Instruction& ins) {
  std::vector<Value>& stack = f.stack;
  AbcUnit& unit = f.unit;
  stack.push_back(DefaultValue(unit, kNsNamespace, ins.a));
}

// li8..lf64 and si8..sf64: little-endian loads and stores in the domain memory; an access
// past its end throws. Stores take the value, then the address.
void Machine::OpDomainMemory(Frame& f, const Instruction& ins) {
  std::string& memory = domainMemory ? static_cast<NativeObject*>(domainMemory)->text : defaultDomainMemory;
  const bool store = ins.op >= OP_si8;
  std::size_t size = 0;
  switch (ins.op) {
    case OP_li8: case OP_si8: size = 1; break;
    case OP_li16: case OP_si16: size = 2; break;
    case OP_li32: case OP_si32: case OP_lf32: case OP_sf32: size = 4; break;
    default: size = 8; break;
  }
  const auto address = static_cast<std::uint32_t>(ToInt32(Pop(f)));
  const Value value = store ? Pop(f) : Value();
  if (static_cast<std::uint64_t>(address) + size > memory.size()) ThrowError("RangeError", 1506, "The specified range is invalid.");
  unsigned char* at = reinterpret_cast<unsigned char*>(memory.data()) + address;
  const auto put = [&](std::uint64_t bits) {
    for (std::size_t i = 0; i < size; ++i) at[i] = static_cast<unsigned char>(bits >> (8 * i));
  };
  std::uint64_t bits = 0;
  for (std::size_t i = 0; i < size; ++i) bits |= static_cast<std::uint64_t>(at[i]) << (8 * i);
  switch (ins.op) {
    case OP_si8: case OP_si16: case OP_si32: put(static_cast<std::uint32_t>(ToInt32(value))); return;
    case OP_sf32: {
      const float number = static_cast<float>(ToNumber(value));
      std::uint32_t raw;
      std::memcpy(&raw, &number, 4);
      put(raw);
      return;
    }
    case OP_sf64: {
      const double number = ToNumber(value);
      std::uint64_t raw;
      std::memcpy(&raw, &number, 8);
      put(raw);
      return;
    }
    case OP_lf32: {
      const auto raw = static_cast<std::uint32_t>(bits);
      float number;
      std::memcpy(&number, &raw, 4);
      f.stack.push_back(Value::Number(number));
      return;
    }
    case OP_lf64: {
      double number;
      std::memcpy(&number, &bits, 8);
      f.stack.push_back(Value::Number(number));
      return;
    }
    case OP_li32: f.stack.push_back(Value::Number(static_cast<std::int32_t>(static_cast<std::uint32_t>(bits)))); return;
    default: f.stack.push_back(Value::Number(static_cast<double>(bits))); return;  // li8, li16: unsigned
  }
}

void Machine::OpGetLocal(Frame& f, const Instruction& ins) {
  std::vector<Value>& stack = f.stack;
  std::vector<Value>& locals = f.locals;
  stack.push_back(locals[ins.a]);
}

void Machine::OpSetLocal(Frame& f, const Instruction& ins) {
  std::vector<Value>& locals = f.locals;
  locals[ins.a] = Pop(f);
}

void Machine::OpGetGlobalScope(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  ScopeChain& scopes = f.scopes;
  const ScopeChain& outerScope = f.outerScope;
  stack.push_back(!outerScope.empty() ? outerScope[0].value : !scopes.empty() ? scopes[0].value : Value::Null());
}

void Machine::OpGetScopeObject(Frame& f, const Instruction& ins) {
  std::vector<Value>& stack = f.stack;
  ScopeChain& scopes = f.scopes;
  if (ins.a >= scopes.size()) ThrowError("VerifyError", 1019, "Getscopeobject " + std::to_string(ins.a) + " is out of bounds.");
  stack.push_back(scopes[ins.a].value);
}

void Machine::OpGetOuterScope(Frame& f, const Instruction& ins) {
  std::vector<Value>& stack = f.stack;
  const ScopeChain& outerScope = f.outerScope;
  if (ins.a >= outerScope.size()) ThrowError("VerifyError", 1019, "Getscopeobject " + std::to_string(ins.a) + " is out of bounds.");
  stack.push_back(outerScope[ins.a].value);
}

void Machine::OpGetLocalN(Frame& f, const Instruction& ins) {
  std::vector<Value>& stack = f.stack;
  std::vector<Value>& locals = f.locals;
  stack.push_back(locals[ins.op - OP_getlocal0]);
}

void Machine::OpSetLocalN(Frame& f, const Instruction& ins) {
  std::vector<Value>& locals = f.locals;
  locals[ins.op - OP_setlocal0] = Pop(f);
}

}  // namespace vantrel::flash::avm2
