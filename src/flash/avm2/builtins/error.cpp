// Error and its subclasses: message, name (the nearest built-in error class's), errorID.
#include "flash/avm2/builtins/support.h"

namespace vantrel::flash::avm2 {

namespace {

Value ErrorConstruct(Machine& m, const Value& self, const Value* args, int argc);

Object* AllocateError(Machine& m, ClassObject*) { return m.heap.Make<NativeObject>(ObjectKind::Error, nullptr, nullptr); }

Value ErrorConstruct(Machine& m, const Value& self, const Value* args, int argc) {
  auto* e = static_cast<NativeObject*>(self.object);
  const Value message = Arg(args, argc, 0);
  std::string name = "Error";
  for (ClassObject* c = e->cls; c; c = c->base) {
    if (c->init && c->init->native == ErrorConstruct) {
      // flash.errors classes keep Error's name on their instances
      if (c->package.empty()) name = c->name;
      break;
    }
  }
  m.SetPublic(self, "message", message.IsUndefined() ? m.StrValue("") : m.StrValue(m.ToString(message)));
  m.SetPublic(self, "name", m.StrValue(name));
  e->a = Value::Number(m.ToInt32(Arg(args, argc, 1)));
  // The frames running when the error is made, without the Error constructors on top.
  std::size_t skip = 0;
  for (std::size_t i = m.callStack.size(); i-- > 0 && m.callStack[i]->native == ErrorConstruct;) ++skip;
  e->text = m.StackTrace(skip);
  return Value();
}

Value ErrorToString(Machine& m, const Value& self, const Value*, int) {
  const Value message = m.GetPublic(self, "message");
  const std::string name = m.ToString(m.GetPublic(self, "name"));
  const std::string text = m.ToString(message);
  return m.StrValue(text.empty() ? name : name + ": " + text);
}

Value ErrorId(Machine& m, const Value& self, const Value*, int) {
  auto* e = Receiver<NativeObject>(m, self, ObjectKind::Error, "Error.errorID");
  return e->a.IsUndefined() ? Value::Number(0) : e->a;
}

Value StackTrace(Machine& m, const Value& self, const Value*, int) {
  auto* e = Receiver<NativeObject>(m, self, ObjectKind::Error, "Error.getStackTrace");
  return m.StrValue(m.ToString(self) + e->text);
}

Value ErrorCall(Machine& m, const Value& self, const Value* args, int argc) {
  return Value::Obj(m.ConstructClass(static_cast<ClassObject*>(self.object), args, argc));
}

// flash.errors.DRMManagerError(message, id, subErrorID): an Error with a second code.
Value DrmErrorConstruct(Machine& m, const Value& self, const Value* args, int argc) {
  ErrorConstruct(m, self, args, std::min(argc, 2));
  static_cast<NativeObject*>(self.object)->b = Value::Number(m.ToInt32(Arg(args, argc, 2)));
  return Value();
}
Value DrmSubErrorId(Machine& m, const Value& self, const Value*, int) {
  auto* e = Receiver<NativeObject>(m, self, ObjectKind::Error, "DRMManagerError.subErrorID");
  return e->b.IsUndefined() ? Value::Number(0) : e->b;
}
Value DrmToString(Machine& m, const Value& self, const Value* args, int argc) {
  auto* e = Receiver<NativeObject>(m, self, ObjectKind::Error, "DRMManagerError.toString");
  return m.StrValue("DRMManagerError: '" + m.ToString(m.GetPublic(self, "message")) + "', error ID:'" +
                    m.ToString(ErrorId(m, self, args, argc)) + "', subErrorID:'" +
                    m.ToString(e->b.IsUndefined() ? Value::Number(0) : e->b) + "'");
}

}  // namespace

void InstallErrors(Machine& m) {
  ClassObject* error = m.DefineClass("", "Error", m.objectClass, ErrorConstruct, false);
  m.errorClass = error;
  error->allocate = AllocateError;
  error->callHandler = m.NativeMethod("Error", ErrorCall);
  AddPublicSlot(m, error, "message");
  AddPublicSlot(m, error, "name");
  static const Member kErrorMembers[] = {
      {"errorID", ErrorId, nullptr, kAccessor, 0},
      {"toString", ErrorToString, nullptr, kPrototype, 0},
      {"getStackTrace", StackTrace, nullptr, 0, 0},
  };
  Install(m, error, kErrorMembers);
  // Error.prototype is an Error itself: its name and message ("Error") are the slots of
  // an Error, which a lookup through the prototype chain does not see (it sees dynamic
  // properties only), so a subclass's prototype without a name of its own has none.
  Object* proto = error->prototype;
  proto->cls = error;
  proto->traits = error->instanceTraits.get();
  proto->slotValues.assign(error->instanceTraits->slotValues.size(), Value());
  m.SetPublic(Value::Obj(proto), "name", m.StrValue("Error"));
  m.SetPublic(Value::Obj(proto), "message", m.StrValue("Error"));
  static const Constant kErrorConstants[] = {
      {"length", 1},
  };
  Install(m, error, kErrorConstants);
  struct Sub {
    const char* package;
    const char* name;
  };
  static const Sub subs[] = {{"", "DefinitionError"}, {"", "EvalError"}, {"", "RangeError"}, {"", "ReferenceError"},
                             {"", "SecurityError"}, {"", "SyntaxError"}, {"", "TypeError"}, {"", "URIError"},
                             {"", "VerifyError"}, {"", "UninitializedError"}, {"", "ArgumentError"},
                             {"flash.errors", "IOError"}, {"flash.errors", "IllegalOperationError"},
                             {"flash.errors", "MemoryError"}, {"flash.errors", "StackOverflowError"},
                             {"flash.errors", "ScriptTimeoutError"}, {"flash.errors", "InvalidSWFError"}};
  for (const Sub& s : subs) {
    ClassObject* c = m.DefineClass(s.package, s.name, error, ErrorConstruct, false);
    c->callHandler = error->callHandler;
    c->prototype->SetOwn("name", m.StrValue(s.name), false);
    // The top level's error classes declare the one argument they take; those of
    // flash.errors do not.
    if (!*s.package) Install(m, c, kErrorConstants);
  }
  ClassObject* drm = m.DefineClass("flash.errors", "DRMManagerError", error, DrmErrorConstruct, false);
  drm->callHandler = error->callHandler;
  static const Member kDrmMembers[] = {
      {"subErrorID", DrmSubErrorId, nullptr, kAccessor, 0},
      {"toString", DrmToString, nullptr, 0, 0},
  };
  Install(m, drm, kDrmMembers);
  ClassObject* io = m.FindClass("flash.errors.IOError");
  for (const char* name : {"EOFError"}) {
    ClassObject* c = m.DefineClass("flash.errors", name, io, ErrorConstruct, false);
    c->callHandler = error->callHandler;
    c->prototype->SetOwn("name", m.StrValue(name), false);
  }
}

}  // namespace vantrel::flash::avm2
