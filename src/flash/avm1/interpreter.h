// The ActionScript 1/2 interpreter: runs action blocks with explicit activation records
// (registers, constant pool, `this`, the scope chain, the SWF version of the code) on
// its own stack, so script calls never recurse in C++. Implements MachineInterface for the
// built-in code it calls.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "flash/avm1/machine.h"
#include "flash/script/script_clock.h"
#include "flash/swf/movie.h"

namespace vantrel::flash::avm1 {

struct Pool;
struct StringCache;
class ActionReader;

// A function written in a script (DefineFunction or DefineFunction2).
struct ScriptFunction {
  ActionBlock code;  // the whole block the function sits in
  std::size_t start = 0, length = 0;
  std::string name;
  std::vector<std::string> params;
  std::vector<std::uint8_t> paramRegisters;  // DefineFunction2: 0 means by name
  std::uint8_t registerCount = 0;
  std::uint16_t flags = 0;  // DefineFunction2's preload/suppress bits
  bool v2 = false;
  int swfVersion = 0;  // of the movie that defined it
  std::shared_ptr<const Pool> pool;  // the constant pool at definition
};

// Limits that hold whatever a movie does.
inline constexpr int kMaxCallDepth = 256;
inline constexpr std::size_t kMaxStack = 1u << 20;
inline constexpr std::size_t kMaxStringBytes = 16u << 20;

class Interpreter;
class MovieHost;

// Hooks the interpreter needs from the player for timeline and host actions. Missing
// ones (language tests) make those actions do nothing.
struct InterpreterHost {
  virtual ~InterpreterHost() = default;
  virtual MovieRuntime* GetPlayer() = 0;
  virtual void Trace(const std::string& line) = 0;
};

class Interpreter final : public MachineInterface {
 public:
  // player may be null for language-only use (tests); timeline actions then do nothing.
  Interpreter(Runtime& rt, MovieRuntime* player);
  ~Interpreter() override;

  // Runs a block (a frame's DoAction, a clip event, a button action) with clip's object
  // as target and scope. version is the SWF version of the movie the block comes from.
  void RunBlock(const ActionBlock& block, Object* target, int version);
  // Calls fn with `this`; for event handlers and host calls. Exceptions that escape
  // are dropped (and logged through trace when the player says so).
  Value CallTopLevel(const Value& fn, const Value& thisValue, std::span<const Value> args, Object* target, int version);

  // The SWF version used when no script runs (host calls, queued methods).
  void SetDefaultVersion(int version) { defaultVersion_ = version; }
  // How deep calls may nest (the movie's ScriptLimits; 0 keeps the default of 256).
  void SetCallDepthLimit(int depth) { maxCallDepth_ = depth > 0 ? depth : kMaxCallDepth; }
  // Runs constructor on an existing object (registered classes of clips).
  void ConstructOn(Object* constructor, Object* object, std::span<const Value> args, int version);

  // Variables by path ("name", "clip.name", "/clip:name") seen from target, for the
  // host (GetVariable/SetVariable of the control).
  Value GetVariableFrom(Object* target, std::string_view path, int version);
  void SetVariableFrom(Object* target, std::string_view path, const Value& value, int version);
  std::string ToStringAt(const Value& value, int version);

  // Instruction budget: when it runs out every running block stops (the movie goes on).
  // Setting it also gives the scripts from now on a second of processor time, which
  // bounds the budget in slow builds and for slow built-in calls.
  void SetBudget(long instructions);
  long Budget() const { return budget_; }
  bool BudgetExhausted() const { return budget_ <= 0; }
  // Where trace() output goes (the player's, or a test's collector).
  std::function<void(const std::string&)> onTrace;
  // The movie's host, for the data classes' later callbacks and loads (none in
  // language tests: they do nothing then).
  void SetHost(MovieHost* host) { host_ = host; }
  // Asked when the script's data outgrew the heap's budget: true when it collected.
  std::function<bool()> collectDuringScript;

  // Machine.
  Runtime& Rt() override { return rt_; }
  MovieRuntime& GetPlayer() override;
  bool HasPlayer() const override { return player_ != nullptr; }
  int Version() const override;
  Value Get(Object* object, std::string_view name) override;
  // Get when the caller has already found the clip that `object` stands for
  // (AsDisplay(object)): a removed clip's path is then not looked up again.
  // withResolve = false: a missing property is undefined without asking __resolve (the
  // conversions look their valueOf and toString up this way).
  Value GetOf(Object* object, DisplayObject* display, std::string_view name, bool withResolve = true);
  Value GetMember(const Value& target, std::string_view name) override;
  void Set(Object* object, std::string_view name, const Value& value) override;
  bool Has(Object* object, std::string_view name) override;
  std::vector<std::string> Enumerate(Object* object) override;
  Value CallFunction(const Value& fn, const Value& thisValue, std::span<const Value> args) override;
  Value CallMethod(const Value& target, std::string_view name, std::span<const Value> args) override;
  Value CallHandler(const Value& target, std::string_view name, std::span<const Value> args) override;
  Object* Construct(Object* ctor, std::span<const Value> args) override;
  std::string ToString(const Value& value) override;
  double ToNumber(const Value& value) override;
  bool ToBoolean(const Value& value) override;
  Object* ToObject(const Value& value) override;
  Value ToPrimitive(const Value& value, bool preferString) override;
  std::string TypeOf(const Value& value) override;
  bool InstanceOf(Object* object, Object* ctor) override;
  void Throw(const Value& value) override;
  bool Throwing() const override { return throwing_; }
  bool DropThrown() override;
  void Trace(const std::string& line) override;
  DisplayObject* AsDisplay(Object* object) override;
  Object* Target() override;
  bool Constructing() override;
  void RunLater(Later callback, Object* keepAlive) override;
  void LoadData(const std::string& url, const std::string& method, const std::string& formData, Loaded done,
                Object* keepAlive) override;
  std::string MovieUrl() override;
  std::string SharedObjectFolder() override;

  // Marks what running code holds (between drains nothing runs, but a nested call
  // from the host may).
  void TraceRoots(gc::Tracer& tracer) const;

  struct Frame;

  // Values the last action block left on the stack go: the player's stack lives from
  // one block to the next within a frame, and starts empty in the next frame.
  void ClearCarriedStack() { carried_.clear(); }

  // Whether a script is running now (the heap may not be collected then).
  bool Running() const { return !frames_.empty(); }
  // Stops every running script (the movie goes on).
  void Abort();
  bool StringTooLong(std::size_t bytes) override;
  bool TimeLeft() override;
  // The name of the action with this code ("Add2"), or null for a code that names none.
  static const char* ActionName(std::uint8_t code);

 private:
  using Reader = ActionReader;
  // One member function per action, ActionAdd2 for Add2; avm1/action_list.h lists them
  // with their codes and the family file (avm1/actions_*.cpp) each one is in. The loop
  // (RunFrames) finds them in kActions by code.
  struct Step;
#define VANTREL_AVM1_ACTION(code, name) void Action##name(Step& step);
#define VANTREL_AVM1_ALIAS(code, name, runs)
#include "flash/avm1/action_list.h"
#undef VANTREL_AVM1_ACTION
#undef VANTREL_AVM1_ALIAS
  void ActionUnknown(Step& step);
  struct ActionEntry {
    const char* name;  // null for codes no action has
    void (Interpreter::*run)(Step&);
  };
  static const std::array<ActionEntry, 256> kActions;
  bool DeferReturn(Frame& frame, const Value& v);
  // Runs the frames above base to their end (RunFrames), stopping every script when the
  // library fails inside one (a string or table past what memory holds).
  Value Run(std::size_t base);
  Value RunFrames(std::size_t base);
  bool MemoryLeft();
  void ReportStop(const char* message);
  void OutOfTime();  // stops every running script and says why, once
  void PushHostFrame(Object* target, int version);
  std::unique_ptr<Frame> NewFrame();
  void Recycle(std::unique_ptr<Frame> frame);
  void PopFrame();  // ends the top frame
  Value Invoke(Object* fn, const Value& thisValue, std::span<const Value> args, bool construct, Object* newObject,
               Object* holder);
  // ownArgs, when given, holds the same values as args and may be taken over by the
  // function's arguments object.
  bool PushFunctionFrame(Object* fn, const Value& thisValue, std::span<const Value> args, bool construct,
                         Object* newObject, Object* holder, bool pushResult, std::vector<Value>* ownArgs = nullptr);
  void SetProperty(Object* object, std::string_view name, const Value& value);
  Value GetWithThis(Object* start, std::string_view name, const Value& thisValue);
  // A getter/setter property's functions, run with the player's guard against
  // recursion: a nested access of the same property past the limit reads or writes the
  // value the property keeps underneath instead of calling its function again.
  Value CallGetter(Object* holder, std::string_view name, Object* getter, const Value& thisValue);
  void CallSetter(Object* holder, std::string_view name, Object* setter, const Value& thisValue, const Value& value);
  struct Reentry {
    Object* holder;  // null once the property is deleted: a new one starts afresh
    std::string name;
    std::uint64_t id;
    int get = 0, set = 0, watch = 0;
  };
  std::uint64_t EnterAccessor(Object* holder, std::string_view name, int Reentry::*count, int limit);
  void LeaveAccessor(std::uint64_t id, int Reentry::*count);
  void ForgetAccessors(Object* holder, std::string_view name, bool caseSensitive);
  Value FindMethod(const Value& target, std::string_view name, Object*& holder);
  Object* NewInstance(Object* ctor);
  // Boxing a primitive: the player makes `new _global.String(value)` (Number, Boolean)
  // with whatever class scripts put there; null when that is no function or refuses.
  Object* BoxPrimitive(const Value& value);
  // The built-in wrapper of a primitive (null for undefined and null).
  Object* NativeBox(const Value& value);
  // True when boxing values of the type gives the built-in wrapper: _global's class for
  // it is the built-in one, with its own prototype, reached without a getter. Member
  // lookups on such primitives go straight to the prototype.
  bool BoxesNatively(Value::Type type);
  // value itself, or for a primitive that a script's class boxes, that box (undefined
  // when boxing fails).
  Value BoxedForLookup(const Value& value) override;
  // instanceof and the cast: the class's own stored "prototype" (no getter, no
  // prototype chain, version flags ignored), boxed when it is a primitive; null when
  // it is no object or a clip.
  Object* ClassPrototype(Object* ctor);
  // The class's own "prototype" property as stored (a clip's on its script object);
  // null when there is none.
  const Property* StoredPrototype(Object* ctor);
  // instanceof on values: a primitive is an instance of nothing; a primitive class is
  // boxed and then asked.
  bool IsInstance(const Value& object, const Value& ctor);
  Object* MakeSuper(const Value& thisValue, Object* base);
  Value RootOf(Object* target);
  Value ParentOf(Object* target);
  inline void Push(const Value& v);  // defined in interpreter_internal.h
  inline Value Pop();
  void PushBool(int version, bool value);
  void PushJoined(const std::string& a, const std::string& b);
  Value Less(const Value& a, const Value& b);
  Value LookupVariable(std::string_view name, bool& found);
  Value GetVariable(std::string_view name);
  // Splits a variable path at its last colon or dot into the object the part before it
  // names and the member after it. The part before is walked from each scope in turn,
  // the innermost first: with reading set, the first scope from which it names an object
  // holding the member wins, else the first from which it names any object. False when
  // the name has no colon or dot, or its path names nothing from any scope.
  bool SplitPath(std::string_view path, Value& owner, std::string_view& member, bool reading);
  // The object a path names walked from each scope in turn, the innermost first: the
  // first found (with needMember, the first that holds member); null when none.
  Object* PathFromScopes(std::string_view path, bool opening, std::string_view member, bool needMember);
  Value ResolveDotPath(std::string_view path);
  void SetVariable(std::string_view name, const Value& value);
  void DefineLocal(std::string_view name, const Value& value, bool onlyDeclare);
  const String* Literal(const std::uint8_t* at, std::string_view text, const ActionBlock& block, int version);
  void UnwindAll(std::size_t base);
  bool ReturnFrom(std::size_t base, Value result, Value& runResult);
  bool HandleThrow(std::size_t base);
  void EndOutermostRun();
  std::vector<Value> PopArguments();
  void PushEnumeration(const Value& object);
  std::size_t JumpTarget(const Frame& frame, std::int16_t offset);
  void SkipActions(Frame& frame, int count);
  void SetTargetPath(Frame& frame, std::string_view path);
  DisplayObject* TargetOf(Frame& frame, const Value& target);
  void CallFrameAction(Frame& frame, const Value& f);
  // Whether the clip frame runs for has left the display list.
  bool BaseClipGone(const Frame& frame) const;
  void PushValues(Frame& frame, Reader& r, const std::uint8_t* data);
  void DefinePool(Frame& frame, Reader& r, const std::uint8_t* at);
  void DefineFunctionAction(Frame& frame, Reader& r, bool v2, std::size_t bodyStart);
  void TryAction(Frame& frame, Reader& r, std::size_t bodyStart);
  // args is the call's own list: a script function's arguments object takes it over.
  void CallValue(const Value& fn, const Value& self, std::vector<Value>&& args, Object* holder);
  void ConstructValue(const Value& ctorValue, const std::vector<Value>& args);

  Runtime& rt_;
  MovieRuntime* player_;
  MovieHost* host_ = nullptr;
  std::unique_ptr<StringCache> cache_;
  std::vector<std::unique_ptr<Frame>> frames_;
  // Frames that ended, cleared but with their lists' storage kept, for the next calls.
  std::vector<std::unique_ptr<Frame>> spareFrames_;
  std::vector<Value> stack_;
  std::vector<Value> carried_;  // what the last outermost action block left on the stack
  long budget_ = 2000000;
  bool throwing_ = false;
  Value thrown_;
  int defaultVersion_ = 8;
  bool aborting_ = false;
  // Set while super(...) calls the base constructor: its frame's super looks at the
  // prototype it is given, as a constructor's does, not above it.
  bool superConstructorCall_ = false;
  bool budgetReported_ = false;
  std::uint32_t nativeSteps_ = 0;  // steps of natives since the start (TimeLeft)
  bool memoryReported_ = false;
  int runDepth_ = 0;  // Run calls on the C++ stack
  int maxCallDepth_ = kMaxCallDepth;
  // The player's clock (a clock of its own without a player) bounds the scripts' time.
  ScriptClock ownClock_;
  ScriptClock* clock_ = &ownClock_;
  bool debugOps_ = false;  // VANTREL_DEBUG_ACTIONS: every action to standard error
  std::vector<Reentry> reentries_;  // properties whose getter, setter or watcher runs now
  std::uint64_t nextReentry_ = 1;
};

}  // namespace vantrel::flash::avm1
