#include "flash/avm1/machine.h"

#include <algorithm>

namespace vantrel::flash::avm1 {

Runtime::Runtime() : ownHeap_(std::make_unique<gc::Heap>()), heap(*ownHeap_) { Init(); }

Runtime::Runtime(gc::Heap& heap) : heap(heap) { Init(); }

void Runtime::Init() {
  objectProto = heap.Make<Object>(nullptr);
  functionProto = heap.Make<Object>(objectProto);
  global = heap.Make<Object>(nullptr);  // _global is bare: no __proto__, no valueOf
  empty_ = heap.Make<String>(std::string());
}

Runtime::~Runtime() = default;

Object* Runtime::MakeObject(Object* proto) { return heap.Make<Object>(proto); }

Object* Runtime::MakeArray(std::vector<Value> elements) {
  Object* array = heap.Make<Object>(arrayProto ? arrayProto : objectProto);
  array->kind = NativeKind::Array;
  auto data = std::make_unique<ArrayData>(array);
  data->Assign(std::move(elements));
  heap.Note(data->Bytes());
  array->native = std::move(data);
  return array;
}

Object* Runtime::MakeFunction(NativeFunction native, NativeFunction constructor, std::int32_t tag) {
  Object* fn = heap.Make<Object>(functionProto);
  fn->kind = NativeKind::Function;
  auto data = std::make_unique<FunctionData>();
  data->native = native;
  data->constructor = constructor;
  data->tag = tag;
  fn->native = std::move(data);
  return fn;
}

Object* Runtime::MakeClass(NativeFunction call, NativeFunction construct, Object* parentProto) {
  Object* ctor = MakeFunction(call, construct);
  Object* proto = MakeObject(parentProto ? parentProto : objectProto);
  ctor->Define("prototype", Value::Obj(proto), kDontEnum | kDontDelete);
  proto->Define("constructor", Value::Obj(ctor), kDontEnum | kDontDelete);
  return ctor;
}

void Runtime::AddMembers(Object* on, std::span<const Member> members) {
  // One allocation for the whole table instead of a growth step every few members.
  std::vector<Property>& properties = on->Properties();
  if (properties.capacity() < properties.size() + members.size())
    properties.reserve(std::max(properties.size() + members.size(), 2 * properties.capacity()));
  for (const Member& m : members) {
    if (!m.function) continue;
    Object* fn = MakeFunction(m.function);
    const std::uint16_t attributes = m.attributes & ~kGetterOnly;
    if (m.setter || (m.attributes & kGetterOnly)) {
      Object* setter = m.setter ? MakeFunction(m.setter) : nullptr;
      on->DefineAccessor(m.name, fn, setter, attributes);
      // An accessor's setter is the native after its getter.
      if (setter && m.nativeClass >= 0) natives_[{m.nativeClass, m.nativeIndex + 1}] = setter;
    } else {
      on->Define(m.name, Value::Obj(fn), attributes);
    }
    if (m.nativeClass >= 0) natives_[{m.nativeClass, m.nativeIndex}] = fn;
  }
}

Object* Runtime::PrototypeOf(Object* ctor) {
  if (!ctor) return nullptr;
  const Property* p = ctor->FindOwn("prototype", true);
  return p ? p->value.AsObject() : nullptr;
}

Object* Runtime::Native(int classNumber, int index) const {
  const auto it = natives_.find({classNumber, index});
  return it == natives_.end() ? nullptr : it->second;
}

void Runtime::Trace(gc::Tracer& tracer) const {
  for (const Object* o : {global, objectProto, functionProto, arrayProto, stringProto, numberProto, booleanProto, dateProto,
                          errorProto, movieClipProto, buttonProto, textFieldProto, textFormatProto, soundProto,
                          xmlNodeProto, xmlProto})
    tracer.Mark(o);
  tracer.Mark(empty_);
  for (const auto& [name, o] : prototypes) tracer.Mark(o);
  for (const ClassRegistry& registry : registeredClasses) {
    for (const auto& [name, o] : registry) tracer.Mark(o);
  }
  for (const auto& [key, o] : natives_) tracer.Mark(o);
}

}  // namespace vantrel::flash::avm1
