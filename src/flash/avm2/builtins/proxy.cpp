// flash.utils.Proxy: instances of its subclasses answer every property access their
// class does not declare through the subclass's methods in the flash_proxy namespace.
#include "flash/avm2/builtins/support.h"

namespace vantrel::flash::avm2 {

namespace {

const char kProxyUri[] = "http://www.adobe.com/2006/actionscript/flash/proxy";

enum Tag { kGet = kProxyGet, kSet, kCall, kHas, kDelete, kDescendants, kNextNameIndex, kNextName, kNextValue, kIsAttribute };
static_assert(kNextValue == kProxyNextValue);
const char* const kNames[] = {"getProperty",    "setProperty",   "callProperty", "hasProperty", "deleteProperty",
                              "getDescendants", "nextNameIndex", "nextName",     "nextValue",   "isAttribute"};

Value NotOverridden(Machine& m, const Value&, const Value*, int, int tag) {
  // Each method has its own error number.
  static const int kErrors[] = {2088, 2089, 2090, 2091, 2092, 2093, 2105, 2106, 2107, 0};
  m.ThrowError("flash.errors.IllegalOperationError", kErrors[tag],
               std::string("The Proxy class does not implement ") + kNames[tag] + ". It must be overridden by a subclass.");
}

template <int Tag>
Value Base(Machine& m, const Value& self, const Value* args, int argc) { return NotOverridden(m, self, args, argc, Tag); }

Value IsAttribute(Machine& m, const Value&, const Value* args, int argc) {
  const Value name = Arg(args, argc, 0);
  (void)m;
  return Value::Bool(name.IsObject() && name.object->kind == ObjectKind::QName &&
                     static_cast<NativeObject*>(name.object)->b.IsBoolean() && static_cast<NativeObject*>(name.object)->b.boolean);
}

// A proxy answers hasOwnProperty (in the AS3 namespace) through its hasProperty.
Value HasOwnProperty(Machine& m, const Value& self, const Value* args, int argc) {
  if (!self.IsObject() || self.object->kind != ObjectKind::Proxy) return Value::Bool(false);
  const Value name = m.StrValue(m.ToString(Arg(args, argc, 0)));
  return Value::Bool(m.ToBoolean(ProxyCall(m, self.object, kHas, &name, 1)));
}

Object* AllocateProxy(Machine& m, ClassObject*) { return m.heap.Make<NativeObject>(ObjectKind::Proxy, nullptr, nullptr); }

}  // namespace

Value ProxyCall(Machine& m, Object* proxy, int tag, const Value* args, int argc) {
  Multiname name;
  name.id = m.Intern(kNames[tag]);
  name.text = &m.NameText(name.id);
  const NsId ns = m.InternNs(kNsNamespace, kProxyUri);
  name.ns = &ns;
  name.nsCount = 1;
  const Binding* b = proxy->traits ? proxy->traits->Find(name.id, name, m) : nullptr;
  if (!b || b->kind != Binding::Kind::Method) return NotOverridden(m, Value::Obj(proxy), args, argc, tag);
  return m.Invoke(b->method, Value::Obj(proxy), args, argc,
                  b->method->declaringClass ? &b->method->declaringClass->scope : nullptr);
}

Value ProxyName(Machine& m, const Multiname& name) {
  std::string uri;
  for (std::uint32_t i = 0; i < name.nsCount; ++i) {
    if (m.IsPublicLike(name.ns[i])) {
      uri.clear();
      break;
    }
    if (i == 0) uri = m.Ns(name.ns[i]).uri;
  }
  // A name in any namespace (p.*, p.*::x: the machine's namespace "*") has a null uri.
  bool any = false;
  for (std::uint32_t i = 0; i < name.nsCount; ++i) any = any || m.Ns(name.ns[i]).uri == "*";
  Value args[2] = {any ? Value::Null() : m.StrValue(uri), m.StrValue(name.text ? *name.text : "*")};
  Object* q = m.ConstructClass(m.qnameClass, args, 2);
  if (name.attribute) static_cast<NativeObject*>(q)->b = Value::Bool(true);
  return Value::Obj(q);
}

void InstallProxy(Machine& m) {
  ClassObject* proxy = m.DefineClass("flash.utils", "Proxy", m.objectClass, nullptr, true);
  proxy->allocate = AllocateProxy;
  const NsId ns = m.InternNs(kNsNamespace, kProxyUri);
  Native natives[] = {Base<kGet>,           Base<kSet>,           Base<kCall>,          Base<kHas>,
                      Base<kDelete>,        Base<kDescendants>,   Base<kNextNameIndex>, Base<kNextName>,
                      Base<kNextValue>,     IsAttribute};
  for (int tag = 0; tag <= kIsAttribute; ++tag) {
    MethodInfo* method = m.NativeMethod(kNames[tag], natives[tag]);
    method->declaringClass = proxy;
    method->nsPrefix = std::string(kProxyUri) + "::";
    Binding b;
    b.ns = ns;
    b.kind = Binding::Kind::Method;
    b.method = method;
    proxy->instanceTraits->bindings[m.Intern(kNames[tag])].push_back(b);
  }
  MethodInfo* hasOwn = m.NativeMethod("hasOwnProperty", HasOwnProperty);
  hasOwn->declaringClass = proxy;
  Binding b;
  b.ns = m.As3Ns();
  b.kind = Binding::Kind::Method;
  b.method = hasOwn;
  proxy->instanceTraits->bindings[m.Intern("hasOwnProperty")].push_back(b);
  Value nsArgs[1] = {m.StrValue(kProxyUri)};
  m.DefineGlobal("flash.utils", "flash_proxy", Value::Obj(m.ConstructClass(m.namespaceClass, nsArgs, 1)));
}

}  // namespace vantrel::flash::avm2
