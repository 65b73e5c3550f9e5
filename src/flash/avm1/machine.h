// The ActionScript 1/2 machine as built-in code sees it: the runtime's shared objects
// (the heap, _global and the built-in prototypes), conversions that follow the SWF
// version of the running code, property access with getters/setters and watchers,
// calls back into scripts, and exceptions.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "flash/avm1/object.h"

namespace vantrel::flash {
class MovieRuntime;
class DisplayObject;
}  // namespace vantrel::flash

namespace vantrel::flash::avm1 {

// In a Member's attributes: function is the getter of a read-only property.
inline constexpr std::uint16_t kGetterOnly = 0x8000;

// One built-in method, property or constant of a table.
struct Member {
  const char* name;
  NativeFunction function = nullptr;       // a method (or the getter of a property)
  NativeFunction setter = nullptr;         // with function: a getter/setter property
  std::uint16_t attributes = kDontEnum;
  int nativeClass = -1, nativeIndex = -1;  // ASnative(class, index), -1 when none
};

// The objects every movie of one player shares: the heap, _global, the prototypes of
// the built-in classes, and the ASnative table.
class Runtime {
  std::unique_ptr<gc::Heap> ownHeap_;  // without a player (language tests)

 public:
  // The runtime of a player's movie lives on the player's heap.
  explicit Runtime(gc::Heap& heap);
  Runtime();
  ~Runtime();
  Runtime(const Runtime&) = delete;
  Runtime& operator=(const Runtime&) = delete;

  gc::Heap& heap;
  Object* global = nullptr;
  Object* objectProto = nullptr;
  Object* functionProto = nullptr;
  Object* arrayProto = nullptr;
  Object* stringProto = nullptr;
  Object* numberProto = nullptr;
  Object* booleanProto = nullptr;
  Object* dateProto = nullptr;
  Object* errorProto = nullptr;
  Object* movieClipProto = nullptr;
  Object* buttonProto = nullptr;
  Object* textFieldProto = nullptr;
  Object* textFormatProto = nullptr;
  Object* soundProto = nullptr;
  Object* xmlNodeProto = nullptr;
  Object* xmlProto = nullptr;
  // Other prototypes by class name ("Color", "flash.geom.Matrix", ...), for builtins
  // that make instances of each other's classes.
  std::map<std::string, Object*, std::less<>> prototypes;
  // Script classes registered for library symbols (Object.registerClass). Movies of
  // SWF 6 and earlier share one list, with names compared ignoring case; later ones
  // another, where case counts: a class one side registers is unknown to the other.
  using ClassRegistry = std::map<std::string, Object*, std::less<>>;
  ClassRegistry registeredClasses[2];
  ClassRegistry& RegisteredClasses(int swfVersion) { return registeredClasses[swfVersion >= 7 ? 1 : 0]; }

  const String* Str(std::string text) { return heap.Make<String>(std::move(text)); }
  const String* EmptyString() const { return empty_; }
  Object* MakeObject(Object* proto);
  Object* MakeObject() { return MakeObject(objectProto); }
  Object* MakeArray(std::vector<Value> elements = {});
  // A built-in function; constructor (when given) runs for `new`.
  Object* MakeFunction(NativeFunction native, NativeFunction constructor = nullptr, std::int32_t tag = 0);
  // A class: its constructor function with a fresh prototype (inheriting from parent,
  // Object.prototype when null) linked both ways. Returns the constructor.
  Object* MakeClass(NativeFunction call, NativeFunction construct, Object* parentProto = nullptr);
  // Adds the table's members to object and records their ASnative numbers.
  void AddMembers(Object* on, std::span<const Member> members);
  // The "prototype" property of a class's constructor (null when it has none).
  static Object* PrototypeOf(Object* ctor);
  // The native function ASnative(classNumber, index) names; null when unknown.
  Object* Native(int classNumber, int index) const;
  void RegisterNative(int classNumber, int index, Object* function) {
    natives_[{classNumber, index}] = function;
  }

  // Marks every object the runtime itself keeps alive.
  void Trace(gc::Tracer& tracer) const;

 private:
  void Init();
  const String* empty_ = nullptr;
  std::map<std::pair<int, int>, Object*> natives_;
};

class MachineInterface {
 public:
  virtual ~MachineInterface() = default;

  virtual Runtime& Rt() = 0;
  // The player the machine runs in (display list, input state, hooks); only when
  // HasPlayer() (language tests run without one).
  virtual MovieRuntime& GetPlayer() = 0;
  virtual bool HasPlayer() const = 0;
  // The SWF version of the code that runs now (of the movie that defined it).
  virtual int Version() const = 0;
  bool CaseSensitive() const { return Version() >= 7; }

  Value Str(std::string text) { return Value::Str(Rt().Str(std::move(text))); }
  Object* NewObject() { return Rt().MakeObject(); }
  Object* NewArray(std::vector<Value> elements = {}) { return Rt().MakeArray(std::move(elements)); }

  // Property access along the prototype chain with getters, setters, watchers, the
  // properties of display objects (_x, children by name, ...) and __resolve.
  virtual Value Get(Object* object, std::string_view name) = 0;
  // obj[name] for any value: primitives through their class's prototype; undefined
  // for undefined and null.
  virtual Value GetMember(const Value& target, std::string_view name) = 0;
  // Sets a property (setters, watchers, ReadOnly and array lengths respected).
  virtual void Set(Object* object, std::string_view name, const Value& value) = 0;
  // Whether the property exists on object or its prototypes (getters count).
  virtual bool Has(Object* object, std::string_view name) = 0;
  // Property names for..in gives, most recent first, DontEnum left out.
  virtual std::vector<std::string> Enumerate(Object* object) = 0;

  // Calls fn with thisValue; undefined when fn is no function. Script functions run to
  // their end before this returns.
  virtual Value CallFunction(const Value& fn, const Value& thisValue, std::span<const Value> args) = 0;
  // Calls target's method name; undefined when it has none.
  virtual Value CallMethod(const Value& target, std::string_view name, std::span<const Value> args) = 0;
  // CallMethod for a handler the player calls in the middle of a script: an exception
  // it throws is reported in the log and stops there.
  virtual Value CallHandler(const Value& target, std::string_view name, std::span<const Value> args) = 0;
  // `new ctor(args)`; null when ctor is no function.
  virtual Object* Construct(Object* ctor, std::span<const Value> args) = 0;

  // Conversions of the running code's version (objects through valueOf/toString).
  virtual std::string ToString(const Value& value) = 0;
  virtual double ToNumber(const Value& value) = 0;
  virtual bool ToBoolean(const Value& value) = 0;
  // Primitives boxed as the player boxes them, by the class _global holds for their
  // type (new Number(1), ...); null for undefined and null, and when that class is no
  // function or refuses the value.
  virtual Object* ToObject(const Value& value) = 0;
  // value itself, unless it is a primitive whose class a script replaced: then its box
  // (undefined when boxing fails).
  virtual Value BoxedForLookup(const Value& value) = 0;
  // valueOf (hint number) or toString (hint string) of objects; primitives unchanged.
  virtual Value ToPrimitive(const Value& value, bool preferString) = 0;
  // "undefined", "null", "boolean", "number", "string", "movieclip", "object", "function".
  virtual std::string TypeOf(const Value& value) = 0;
  // instanceof: whether ctor.prototype is on object's chain or among its interfaces.
  virtual bool InstanceOf(Object* object, Object* ctor) = 0;
  // Whether a string of bytes is longer than any a script may build. A native building
  // one (a join, XML text) asks as it goes and gives up past it; the running scripts are
  // then stopped, with the reason in the log.
  virtual bool StringTooLong(std::size_t bytes) = 0;
  // Asked at each step of a native's long work (a walk, a sort): false once the scripts'
  // time is spent (they are then stopped, with the reason in the log); the work gives up.
  virtual bool TimeLeft() = 0;

  // Throws value as the script statement `throw` does: the native returns (its result
  // is ignored) and the script's catch block, if any, receives value.
  virtual void Throw(const Value& value) = 0;
  virtual bool Throwing() const = 0;
  // Ends the exception being thrown, for natives that ignore a failing callback; false
  // (nothing ended) when none is thrown or the script is being stopped by its limits.
  virtual bool DropThrown() = 0;

  // trace() output.
  virtual void Trace(const std::string& line) = 0;
  // The display object an object stands for (a clip, button, text field), or null.
  virtual DisplayObject* AsDisplay(Object* object) = 0;
  // The object of the timeline the running code acts on (its `_root`-relative target).
  virtual Object* Target() = 0;
  // Whether the innermost running script function was called by `new` (natives called
  // from it answer for it); false outside any function.
  virtual bool Constructing() = 0;

  // Services of the player for data classes. Callbacks run later, from the frame loop
  // (never inside the call that asked), with the machine to use then; keepAlive stays
  // reachable until the callback has run.
  using Later = std::function<void(MachineInterface& machine)>;
  virtual void RunLater(Later callback, Object* keepAlive) = 0;
  // Loads url (relative to the running movie's own address) with method "GET" or
  // "POST" and form data; done receives true and the body, or false and the reason.
  using Loaded = std::function<void(MachineInterface& machine, bool ok, const std::string& body)>;
  virtual void LoadData(const std::string& url, const std::string& method, const std::string& formData,
                        Loaded done, Object* keepAlive) = 0;
  // The running movie's own address (a file path or URL).
  virtual std::string MovieUrl() = 0;
  // Folder for shared objects ("" when the player keeps none, as in tests).
  virtual std::string SharedObjectFolder() = 0;
};

}  // namespace vantrel::flash::avm1
