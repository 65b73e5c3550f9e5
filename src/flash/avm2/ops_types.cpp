// Conversions, coercions, type tests and XML escapes.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "flash/avm2/builtins/xml.h"
#include "flash/avm2/interpreter_internal.h"

namespace vantrel::flash::avm2 {

void Machine::OpCheckFilter(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value& object = stack.back();
  if (!object.IsObject() || !IsXmlKind(object.object))
    ThrowTypeError(1123, "Filter operator not supported on type " + QualifiedClassName(object) + ".");
}

void Machine::OpConvertS(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value v = Pop(f);
  stack.push_back(v.IsString() ? v : StrValue(ToString(v)));
}

void Machine::OpEscapeXml(Frame& f, const Instruction& ins) {
  std::vector<Value>& stack = f.stack;
  const std::string text = ToString(Pop(f));
  stack.push_back(StrValue(ins.op == OP_esc_xattr ? EscapeAttribute(text) : EscapeText(text)));
}

void Machine::OpConvertI(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value v = Pop(f);
  stack.push_back(Value::Number(ToInt32(v)));
}

void Machine::OpConvertU(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value v = Pop(f);
  stack.push_back(Value::Number(ToUint32(v)));
}

void Machine::OpConvertD(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value v = Pop(f);
  stack.push_back(v.IsNumber() ? v : Value::Number(ToNumber(v)));
}

void Machine::OpConvertB(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value v = Pop(f);
  stack.push_back(Value::Bool(ToBoolean(v)));
}

void Machine::OpConvertO(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  MethodInfo* method = f.method;
  const Value v = stack.empty() ? Value() : stack.back();
  if (v.IsNull()) ThrowTypeError(1009, "Cannot access a property or method of a null object reference.");
  if (v.IsNullish()) ThrowTypeError(1010, "A term is undefined and has no properties.");
}

void Machine::OpCoerceO(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value v = Pop(f);
  stack.push_back(v.IsUndefined() ? Value::Null() : v);
}

void Machine::OpCoerceA(Frame&, const Instruction&) {}

void Machine::OpCoerceS(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value v = Pop(f);
  stack.push_back(v.IsNullish() ? Value::Null() : v.IsString() ? v : StrValue(ToString(v)));
}

void Machine::OpCoerce(Frame& f, const Instruction& ins) {
  std::vector<Value>& stack = f.stack;
  AbcUnit& unit = f.unit;
  const Value v = Pop(f);
  stack.push_back(Coerce(v, ResolveType(unit, ins.a)));
}

void Machine::OpAsType(Frame& f, const Instruction& ins) {
  std::vector<Value>& stack = f.stack;
  AbcUnit& unit = f.unit;
  const Value v = Pop(f);
  ClassObject* type = ResolveType(unit, ins.a);
  stack.push_back(!type || IsInstance(v, type) ? v : Value::Null());
}

void Machine::OpAsTypeLate(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value type = Pop(f);
  const Value v = Pop(f);
  if (!type.IsObject() || type.object->kind != ObjectKind::Class)
    ThrowTypeError(1041, "The right-hand side of operator must be a class.");
  stack.push_back(IsInstance(v, static_cast<ClassObject*>(type.object)) ? v : Value::Null());
}

void Machine::OpIsType(Frame& f, const Instruction& ins) {
  std::vector<Value>& stack = f.stack;
  AbcUnit& unit = f.unit;
  const Value v = Pop(f);
  stack.push_back(Value::Bool(IsInstance(v, ResolveType(unit, ins.a))));
}

void Machine::OpIsTypeLate(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value type = Pop(f);
  const Value v = Pop(f);
  if (!type.IsObject() || type.object->kind != ObjectKind::Class)
    ThrowTypeError(1041, "The right-hand side of operator must be a class.");
  stack.push_back(Value::Bool(IsInstance(v, static_cast<ClassObject*>(type.object))));
}

void Machine::OpInstanceOf(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value type = Pop(f);
  const Value v = Pop(f);
  if (!type.IsObject() || (type.object->kind != ObjectKind::Class && type.object->kind != ObjectKind::Function))
    ThrowTypeError(1040, "The right-hand side of instanceof must be a class or function.");
  const Value protoValue = type.object->kind == ObjectKind::Class ? Value::Obj(static_cast<ClassObject*>(type.object)->prototype)
                                                                  : GetPublic(type, "prototype");
  bool result = false;
  Object* start = v.IsObject() ? v.object->proto : v.IsNullish() ? nullptr : PrimitivePrototype(v);
  for (Object* p = start; p && !result; p = p->proto) result = protoValue.IsObject() && p == protoValue.object;
  stack.push_back(Value::Bool(result));
}

void Machine::OpTypeof(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value v = Pop(f);
  stack.push_back(StrValue(TypeOf(v)));
}

}  // namespace vantrel::flash::avm2
