// Objects of the ActionScript 1/2 core: plain objects with a prototype chain, arrays,
// functions defined by scripts or built in, and the wrappers of primitive values.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "flash/avm1_value.h"

namespace vantrel::flash {
class MovieClip;
}

namespace vantrel::flash::avm1 {

using ObjectPtr = std::shared_ptr<Object>;

// What a built-in function may ask of the running script.
class Machine {
 public:
  virtual ~Machine() = default;
  virtual int Version() const = 0;
  // Calls fn with self as `this`; undefined when fn is no function.
  virtual Value Call(const Value& fn, const Value& self, std::vector<Value> args) = 0;
  // A new object whose prototype is the named global constructor's prototype
  // ("Object", "Array"); null when the object limit is reached.
  virtual ObjectPtr NewObject(const std::string& constructor) = 0;
  // Calls object's method name (a clip's or a script object's); undefined when none.
  virtual Value CallMethodOf(const Value& object, const std::string& name, std::vector<Value> args) = 0;
  virtual MovieClip* Timeline() = 0;
  virtual void Trace(const std::string& text) = 0;
};

using Native = std::function<Value(Machine&, const Value& self, std::vector<Value>& args)>;

// A function written in a script: its body, parameters and the scope it was made in.
struct ScriptFunction {
  std::shared_ptr<const std::vector<std::uint8_t>> code;
  std::size_t start = 0, length = 0;
  std::vector<std::string> params;
  std::vector<std::uint8_t> paramRegisters;  // DefineFunction2: 0 means by name
  std::uint8_t registerCount = 0;
  std::uint16_t flags = 0;
  bool v2 = false;
  std::vector<Value> scope;                      // outer scopes (objects, clips), innermost last
  std::weak_ptr<MovieClip> timeline;             // the clip it was defined on
  std::vector<std::string> constants;            // the constant pool at definition
};

struct Object {
  enum class Kind { Plain, Array, Function, Primitive };
  Kind kind = Kind::Plain;
  std::vector<std::pair<std::string, Value>> properties;  // in order of creation
  ObjectPtr proto;                                        // __proto__
  std::vector<Value> elements;                            // arrays
  std::shared_ptr<ScriptFunction> script;                 // functions from scripts
  Native native;                                          // built-in functions
  Value primitive;                                        // new Number(1), new String("a")
  std::string className;                                  // "Object", "Array", "Function", ...
  std::vector<ObjectPtr> interfaces;                      // prototypes of implemented interfaces

  // Own property or nullptr (names compare exactly, or ignoring case when noCase).
  Value* Find(const std::string& name, bool noCase);
  void Set(const std::string& name, Value value, bool noCase);
  bool Remove(const std::string& name, bool noCase);
  bool IsFunction() const { return kind == Kind::Function; }
};

// Looks name up along the prototype chain (at most 256 links); undefined when absent.
Value GetChain(const Object& object, const std::string& name, bool noCase);
bool HasChain(const Object& object, const std::string& name, bool noCase);

// The index an array property name stands for, or -1 ("3" is 3, "03" is not).
long ArrayIndex(const std::string& name);

// The global objects of one movie: _global with the built-in constructors.
struct Runtime {
  ObjectPtr global;
  ObjectPtr objectProto, functionProto, arrayProto, stringProto, numberProto, booleanProto;
  ObjectPtr clipProto;  // MovieClip.prototype: script additions for every clip
  long created = 0;     // objects made so far; creation stops at kMaxObjects
  static constexpr long kMaxObjects = 2000000;
  // Every object made, so their reference cycles can be broken when the movie ends.
  std::vector<std::weak_ptr<Object>> all;

  Runtime();
  ~Runtime();
  Runtime(const Runtime&) = delete;
  Runtime& operator=(const Runtime&) = delete;

  // A new object of the kind with the prototype; null past kMaxObjects.
  ObjectPtr Make(Object::Kind kind, ObjectPtr proto);
  ObjectPtr MakeNative(Native fn);
};

// Installs Object, Function, Array, String, Number, Boolean, Math, AsBroadcaster, Key
// and Mouse on runtime.global.
void InstallBuiltins(Runtime& runtime);

// Makes a native function (a built-in method) on `on`.
void Method(Runtime& rt, const ObjectPtr& on, const std::string& name, Native fn);

// Methods of strings and of primitive numbers/booleans called on a primitive value.
// False when name is not such a method.
bool CallPrimitiveMethod(Machine& machine, const Value& self, const std::string& name, std::vector<Value>& args,
                         Value& result);

// Array helpers for the machine.
std::string JoinArray(Machine& machine, const Object& array, const std::string& separator, int depth);

}  // namespace vantrel::flash::avm1
