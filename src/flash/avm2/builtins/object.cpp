// Object, Class, Function, Namespace, QName and Boolean.
#include "flash/avm2/builtins/support.h"
#include "flash/avm2/builtins/xml.h"

namespace vantrel::flash::avm2 {

namespace {

Value ObjectToString(Machine& m, const Value& self, const Value*, int) {
  if (self.IsObject() && self.object->kind == ObjectKind::Class)
    return m.StrValue("[class " + static_cast<ClassObject*>(self.object)->name + "]");
  // A function names its class with the number of its method: "[object Function-12]".
  if (self.IsObject() && self.object->kind == ObjectKind::Function) {
    const MethodInfo* method = static_cast<FunctionObject*>(self.object)->method;
    return m.StrValue("[object Function-" + std::to_string(method ? method->index : 0) + "]");
  }
  if (self.IsObject() && self.object == m.functionClass->prototype) return m.StrValue("function Function() {}");
  if (self.IsObject() && self.object->kind == ObjectKind::Global) return m.StrValue("[object global]");
  // Every number, whole or not, is a Number here.
  if (self.IsNumber()) return m.StrValue("[object Number]");
  ClassObject* c = m.ClassOf(self);
  return m.StrValue("[object " + (c ? c->name : std::string("Object")) + "]");
}

// Function.prototype.toString: every function (and Function.prototype, itself an empty
// function) prints alike.
Value FunctionToString(Machine& m, const Value&, const Value*, int) { return m.StrValue("function Function() {}"); }

Value ObjectValueOf(Machine&, const Value& self, const Value*, int) { return self; }

Value HasOwnProperty(Machine& m, const Value& self, const Value* args, int argc) {
  const std::string name = StrArg(m, args, argc, 0);
  Object* o = self.AsObject();
  if (!o) {
    if (self.IsString() && name == "length") return Value::Bool(true);
    return Value::Bool(false);
  }
  if (o->kind == ObjectKind::Proxy) return Value::Bool(false);
  // An XML value has its children and (by "@name") its attributes.
  if (IsXmlKind(o)) return Value::Bool(XmlHas(m, o, m.PublicName(name)));
  if (o->kind == ObjectKind::Array) {
    const long index = Machine::ArrayIndex(name);
    auto* a = static_cast<ArrayObject*>(o);
    if (index >= 0)
      return Value::Bool(static_cast<std::size_t>(index) < a->elements.size() && a->elements[index].type != Value::Type::Hole);
  }
  if (o->kind == ObjectKind::Vector) {
    const long index = Machine::ArrayIndex(name);
    if (index >= 0) return Value::Bool(static_cast<std::size_t>(index) < static_cast<NativeObject*>(o)->list.size());
  }
  if (o->FindOwn(name)) return Value::Bool(true);
  if (o->traits) {
    const std::uint32_t id = m.FindId(name);
    if (id != kNoName) {
      Multiname pub = m.PublicName(name);
      if (const Binding* b = o->traits->Find(id, pub, m)) return Value::Bool(b->kind != Binding::Kind::Method || true);
    }
  }
  return Value::Bool(false);
}

Value PropertyIsEnumerable(Machine& m, const Value& self, const Value* args, int argc) {
  const std::string name = StrArg(m, args, argc, 0);
  Object* o = self.AsObject();
  if (!o) return Value::Bool(false);
  if (o->kind == ObjectKind::Array) {
    const long index = Machine::ArrayIndex(name);
    auto* a = static_cast<ArrayObject*>(o);
    if (index >= 0)
      return Value::Bool(static_cast<std::size_t>(index) < a->elements.size() && a->elements[index].type != Value::Type::Hole);
  }
  const Object::Property* p = o->FindOwn(name);
  return Value::Bool(p && p->enumerable);
}

Value SetPropertyIsEnumerable(Machine& m, const Value& self, const Value* args, int argc) {
  Object* o = self.AsObject();
  // A dictionary's keys stay enumerable.
  if (!o || o->kind == ObjectKind::Dictionary) return Value();
  if (Object::Property* p = o->FindOwn(StrArg(m, args, argc, 0))) p->enumerable = m.ToBoolean(Arg(args, argc, 1));
  return Value();
}

Value IsPrototypeOf(Machine&, const Value& self, const Value* args, int argc) {
  const Value v = Arg(args, argc, 0);
  if (!self.IsObject() || !v.IsObject()) return Value::Bool(false);
  for (Object* p = v.object->proto; p; p = p->proto)
    if (p == self.object) return Value::Bool(true);
  return Value::Bool(false);
}

Value ObjectCall(Machine& m, const Value&, const Value* args, int argc) {
  if (argc == 0 || args[0].IsNullish()) return Value::Obj(m.NewObject());
  return args[0];
}

// The player's own prototype functions called with null or undefined for this get the
// global object, as functions do.
Value Receiver(Machine& m, const Value& self, const Value& given) {
  if (!given.IsNullish() || !self.IsObject() || self.object->kind != ObjectKind::Function) return given;
  const MethodInfo* method = static_cast<FunctionObject*>(self.object)->method;
  return method && method->native && method->role == MethodInfo::Role::Anonymous ? Value::Obj(m.globalObject) : given;
}

Value FunctionCall(Machine& m, const Value& self, const Value* args, int argc) {
  const Value receiver = Receiver(m, self, Arg(args, argc, 0));
  return m.Call(self, receiver, argc > 1 ? args + 1 : nullptr, argc > 1 ? argc - 1 : 0);
}

Value FunctionApply(Machine& m, const Value& self, const Value* args, int argc) {
  const Value receiver = Receiver(m, self, Arg(args, argc, 0));
  std::vector<Value> list;
  const Value array = Arg(args, argc, 1);
  if (array.IsObject() && array.object->kind == ObjectKind::Array) {
    for (const Value& v : static_cast<ArrayObject*>(array.object)->elements)
      list.push_back(v.type == Value::Type::Hole ? Value() : v);
  } else if (!array.IsNullish()) {
    m.ThrowTypeError(1116, "second argument to Function.prototype.apply must be an array.");
  }
  return m.Call(self, receiver, list.data(), static_cast<int>(list.size()));
}

Value FunctionLength(Machine& m, const Value& self, const Value*, int) {
  if (!self.IsObject() || self.object->kind != ObjectKind::Function) return Value::Number(0);
  auto* f = static_cast<FunctionObject*>(self.object);
  if (!f->method->unit) return Value::Number(f->method->nativeLength);
  return Value::Number(static_cast<double>(f->method->unit->abc->methods[f->method->index].paramTypes.size()));
  (void)m;
}

Value EmptyFunction(Machine&, const Value&, const Value*, int) { return Value(); }

Value FunctionConstruct(Machine& m, const Value&, const Value*, int argc) {
  // new Function() makes a function that does nothing; the player compiles no source
  // text, and says so.
  if (argc > 0) m.ThrowError("EvalError", 1066, "The form function('function body') is not supported.");
  return Value::Obj(m.NewNativeFunction("", EmptyFunction));
}

// new Namespace(uri) and new Namespace(prefix, uri). The URI is a namespace's or a
// QName's, or the value as text (undefined and null too). One argument gives no prefix,
// or "" for the empty URI; a prefix with the empty URI must be empty (undefined is not),
// and one that is no XML name (or null) is no prefix.
Value NamespaceConstruct(Machine& m, const Value& self, const Value* args, int argc) {
  auto* ns = static_cast<NativeObject*>(self.object);
  if (argc == 0) return Value();
  const Value uri = argc >= 2 ? args[1] : args[0];
  if (uri.IsObject() && uri.object->kind == ObjectKind::Namespace) {
    ns->text = static_cast<NativeObject*>(uri.object)->text;
    if (argc == 1) ns->a = static_cast<NativeObject*>(uri.object)->a;
  } else if (uri.IsObject() && uri.object->kind == ObjectKind::QName && static_cast<NativeObject*>(uri.object)->text != "*") {
    ns->text = static_cast<NativeObject*>(uri.object)->text;
  } else {
    ns->text = m.ToString(uri);
  }
  if (argc == 1) return Value();
  const Value prefix = args[0];
  if (ns->text.empty()) {
    const std::string text = m.ToString(prefix);
    if (!text.empty()) m.ThrowTypeError(1098, "Illegal prefix " + text + " for no namespace.");
    ns->a = m.StrValue("");
    return Value();
  }
  if (prefix.IsNullish()) return Value();
  const std::string text = m.ToString(prefix);
  if (text.empty() || IsXmlNameText(text)) ns->a = m.StrValue(text);
  return Value();
}

Value NamespaceUri(Machine& m, const Value& self, const Value*, int) {
  return m.StrValue(Receiver<NativeObject>(m, self, ObjectKind::Namespace, "Namespace.uri")->text);
}
Value NamespacePrefix(Machine& m, const Value& self, const Value*, int) {
  auto* ns = Receiver<NativeObject>(m, self, ObjectKind::Namespace, "Namespace.prefix");
  if (ns->a.IsUndefined()) return ns->text.empty() ? m.StrValue("") : Value();
  return m.StrValue(m.ToString(ns->a));
}

// new QName(name) and new QName(namespace, name): a QName name gives its local name (or,
// alone, the whole QName); a namespace, a QName (its URI), null (any namespace) or a
// text is the namespace; without one, "*" is any namespace and other names the default.
Value QNameConstruct(Machine& m, const Value& self, const Value* args, int argc) {
  auto* q = static_cast<NativeObject*>(self.object);
  Value name = argc >= 2 ? args[1] : Arg(args, argc, 0);
  const bool nameIsQName = name.IsObject() && name.object->kind == ObjectKind::QName;
  if (nameIsQName && (argc < 2 || args[0].IsUndefined())) {
    q->text = static_cast<NativeObject*>(name.object)->text;
    q->a = static_cast<NativeObject*>(name.object)->a;
    return Value();
  }
  if (nameIsQName) name = static_cast<NativeObject*>(name.object)->a;
  const std::string local = name.IsUndefined() ? "" : m.ToString(name);
  q->a = m.StrValue(local);
  const Value ns = argc >= 2 ? args[0] : Value();
  if (ns.IsUndefined()) q->text = local == "*" ? "*" : "";
  else if (ns.IsNull()) q->text = "*";
  else if (ns.IsObject() && ns.object->kind == ObjectKind::Namespace) q->text = static_cast<NativeObject*>(ns.object)->text;
  else if (ns.IsObject() && ns.object->kind == ObjectKind::QName && static_cast<NativeObject*>(ns.object)->text != "*")
    q->text = static_cast<NativeObject*>(ns.object)->text;
  else q->text = m.ToString(ns);
  return Value();
}

// QName(...) and Namespace(...) called as functions: a QName or namespace alone comes
// back as it is; anything else makes a new one.
Value QNameCall(Machine& m, const Value&, const Value* args, int argc) {
  if (argc == 1 && args[0].IsObject() && args[0].object->kind == ObjectKind::QName) return args[0];
  return Value::Obj(m.ConstructClass(m.qnameClass, args, argc));
}
Value NamespaceCall(Machine& m, const Value&, const Value* args, int argc) {
  if (argc == 1 && args[0].IsObject() && args[0].object->kind == ObjectKind::Namespace) return args[0];
  return Value::Obj(m.ConstructClass(m.namespaceClass, args, argc));
}

Value QNameLocalName(Machine& m, const Value& self, const Value*, int) {
  return Receiver<NativeObject>(m, self, ObjectKind::QName, "QName.localName")->a;
}
Value QNameUri(Machine& m, const Value& self, const Value*, int) {
  auto* q = Receiver<NativeObject>(m, self, ObjectKind::QName, "QName.uri");
  return q->text == "*" ? Value::Null() : m.StrValue(q->text);
}
Value QNameToString(Machine& m, const Value& self, const Value*, int) {
  auto* q = Receiver<NativeObject>(m, self, ObjectKind::QName, "QName.prototype.toString");
  if (q->text.empty()) return q->a;
  return m.StrValue(q->text + "::" + m.ToString(q->a));
}
Value NamespaceToString(Machine& m, const Value& self, const Value*, int) {
  return m.StrValue(Receiver<NativeObject>(m, self, ObjectKind::Namespace, "Namespace.prototype.toString")->text);
}

Value BooleanToString(Machine& m, const Value& self, const Value*, int) {
  if (self.IsBoolean()) return m.StrValue(self.boolean ? "true" : "false");
  if (self.IsObject() && self.object == m.booleanClass->prototype) return m.StrValue("false");
  m.ThrowTypeError(1004, "Method Boolean.prototype.toString was invoked on an incompatible object.");
}
Value BooleanValueOf(Machine& m, const Value& self, const Value*, int) {
  if (self.IsBoolean()) return self;
  if (self.IsObject() && self.object == m.booleanClass->prototype) return Value::Bool(false);
  m.ThrowTypeError(1004, "Method Boolean.prototype.valueOf was invoked on an incompatible object.");
}
Value BooleanCall(Machine& m, const Value&, const Value* args, int argc) { return Value::Bool(m.ToBoolean(Arg(args, argc, 0))); }


}  // namespace

void InstallObjectClasses(Machine& m) {
  m.objectClass = m.DefineClass("", "Object", nullptr, nullptr, false);
  m.classClass = m.DefineClass("", "Class", m.objectClass);
  m.functionClass = m.DefineClass("", "Function", m.objectClass, nullptr, false);
  for (ClassObject* c : {m.objectClass, m.classClass, m.functionClass}) {
    c->cls = m.classClass;
    c->proto = m.classClass->prototype;
  }
  m.classClass->prototype->proto = m.objectClass->prototype;
  m.functionClass->prototype->proto = m.objectClass->prototype;
  m.objectClass->prototype->cls = m.objectClass;
  // Function.prototype is a Function ("is Function" holds), Class.prototype no Class.
  m.functionClass->prototype->cls = m.functionClass;
  m.objectClass->callHandler = m.NativeMethod("Object", ObjectCall);
  static const Member kObjectMembers[] = {
      {"toString", ObjectToString, nullptr, kPrototype, 0},
      {"toLocaleString", ObjectToString, nullptr, kPrototype, 0},
      {"valueOf", ObjectValueOf, nullptr, kPrototype, 0},
      {"hasOwnProperty", HasOwnProperty, nullptr, kPrototype, 0},
      {"propertyIsEnumerable", PropertyIsEnumerable, nullptr, kPrototype, 0},
      {"setPropertyIsEnumerable", SetPropertyIsEnumerable, nullptr, kPrototype, 0},
      {"isPrototypeOf", IsPrototypeOf, nullptr, kPrototype, 0},
  };
  Install(m, m.objectClass, kObjectMembers);
  static const Constant kObjectConstants[] = {
      {"length", 1},
  };
  Install(m, m.objectClass, kObjectConstants);
  static const Member kFunctionMembers[] = {
      {"call", FunctionCall, nullptr, kPrototype, 0},
      {"apply", FunctionApply, nullptr, kPrototype, 0},
      {"toString", FunctionToString, nullptr, kPrototype, 0},
      {"length", FunctionLength, nullptr, kAccessor, 0},
  };
  Install(m, m.functionClass, kFunctionMembers);
  // call and apply are also methods of every function (AS3 ones in the player): read off
  // a function, they are bound to it, so f.call.call() still calls f.
  static const Member kFunctionMethods[] = {
      {"call", FunctionCall, nullptr, 0, 0, 1},
      {"apply", FunctionApply, nullptr, 0, 0, 2},
  };
  Install(m, m.functionClass, kFunctionMethods);
  for (const char* name : {"call", "apply"})
    for (Binding& b : m.functionClass->instanceTraits->bindings[m.Intern(name)])
      if (b.kind == Binding::Kind::Method) b.method->nsPrefix = "http://adobe.com/AS3/2006/builtin::";
  static const Constant kFunctionConstants[] = {
      {"length", 1},
  };
  Install(m, m.functionClass, kFunctionConstants);
  m.functionClass->callHandler = m.NativeMethod("Function", FunctionConstruct);
  m.functionClass->allocate = nullptr;
  // new Function() goes through the call handler (functions are not plain instances).
  m.functionClass->init = nullptr;

  m.namespaceClass = m.DefineClass("", "Namespace", m.objectClass, NamespaceConstruct);
  m.namespaceClass->allocate = AllocateNative<ObjectKind::Namespace>;
  static const Member kNamespaceMembers[] = {
      {"uri", NamespaceUri, nullptr, kAccessor, 0},
      {"prefix", NamespacePrefix, nullptr, kAccessor, 0},
      {"toString", NamespaceToString, nullptr, kPrototype, 0},
      {"valueOf", NamespaceToString, nullptr, kPrototype, 0},
  };
  Install(m, m.namespaceClass, kNamespaceMembers);
  m.qnameClass = m.DefineClass("", "QName", m.objectClass, QNameConstruct);
  m.qnameClass->allocate = AllocateNative<ObjectKind::QName>;
  m.qnameClass->callHandler = m.NativeMethod("QName", QNameCall);
  m.namespaceClass->callHandler = m.NativeMethod("Namespace", NamespaceCall);
  static const Member kQnameMembers[] = {
      {"localName", QNameLocalName, nullptr, kAccessor, 0},
      {"uri", QNameUri, nullptr, kAccessor, 0},
      {"toString", QNameToString, nullptr, kPrototype, 0},
  };
  Install(m, m.qnameClass, kQnameMembers);
  static const Constant kTwoArguments[] = {
      {"length", 2},
  };
  Install(m, m.namespaceClass, kTwoArguments);
  Install(m, m.qnameClass, kTwoArguments);

  m.booleanClass = m.DefineClass("", "Boolean", m.objectClass);
  m.booleanClass->isFinal = true;
  m.booleanClass->callHandler = m.NativeMethod("Boolean", BooleanCall);
  static const Member kBooleanMembers[] = {
      {"toString", BooleanToString, nullptr, kPrototype, 0},
      {"valueOf", BooleanValueOf, nullptr, kPrototype, 0},
  };
  Install(m, m.booleanClass, kBooleanMembers);
  static const Constant kBooleanConstants[] = {
      {"length", 1},
  };
  Install(m, m.booleanClass, kBooleanConstants);
}

}  // namespace vantrel::flash::avm2
