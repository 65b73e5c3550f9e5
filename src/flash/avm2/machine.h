// The ActionScript 3 machine: loaded ABC files and the application domain their scripts
// define, the built-in classes, property access by multiname, conversions as the
// language does them, and calls into the interpreter. Script errors travel as a thrown
// `Thrown` inside the machine; what leaves it through the public entry points (RunScript,
// Construct, CallFunction at the host side) is caught and reported.
#pragma once

#include <array>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <optional>
#include <unordered_map>
#include <vector>

#include "flash/avm2/abc.h"
#include "flash/avm2/object.h"
#include "flash/script/number_conversions.h"
#include "flash/script/script_clock.h"

namespace vantrel::flash {
class MovieRuntime;
}

namespace vantrel::flash::avm2 {

struct Instruction;  // a decoded instruction (interpreter_internal.h)

// A script error on its way to a handler.
struct Thrown {
  Value value;
};
// The script ran out of its instruction budget or nested too deeply to go on: unwinds
// every script frame (no handler sees it).
struct Halt {
  std::string reason;
};

// An ABC file as the machine runs it: its methods, interned names and the classes and
// script globals it made.
struct AbcUnit {
  std::shared_ptr<const AbcFile> abc;
  std::vector<std::unique_ptr<MethodInfo>> methods;
  std::vector<NsId> namespaces;
  std::vector<std::vector<NsId>> nsSets;
  std::vector<Multiname> multinames;
  std::vector<std::uint32_t> multinameIds;  // interned local names (kNoName for none)
  std::vector<NsId> anyNamespace;           // what a QName of namespace 0 ("*") names: public and "*"
  std::vector<const String*> strings;        // heap strings of the pool, made on first use
  std::vector<ClassObject*> classes;
  struct Script {
    Object* global = nullptr;
    int state = 0;  // 0 not run, 1 running, 2 done
  };
  std::vector<Script> scripts;
};

// Whether the C++ code calling into a script still holds values of its own (in locals
// the machine does not trace) that it uses once the script returns. Only where it holds
// nothing may the script collect garbage while it runs: the call instructions, and a
// host starting a frame's script from outside every other script.
enum class CallerHolds : std::uint8_t { Values, Nothing };

class Machine {
 public:
  explicit Machine(gc::Heap& heap);
  ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  gc::Heap& heap;
  // The SWF version of the movie the machine runs: what of the player's API it sees.
  int swfVersion = 255;
  std::function<void(const std::string&)> onTrace;
  // An error no script caught, as the player's debugger prints it.
  std::function<void(const std::string&)> onUncaught;
  // Dispatches an UncaughtErrorEvent for error to the main movie's uncaughtErrorEvents;
  // true when a listener prevented its default (the error is then not printed).
  bool HandledByUncaughtListeners(const Value& error);
  bool reportingUncaught = false;
  // The player whose display objects the display classes stand for (null in tests).
  flash::MovieRuntime* player = nullptr;
  // Display objects and the script objects that stand for them.
  std::unordered_map<const DisplayObject*, Object*> displayObjects;
  // Objects listening for the frame events (enterFrame, frameConstructed, exitFrame,
  // render), per event in the order each first listened for it: the player tells them in
  // that order every frame.
  std::map<std::string, std::vector<Object*>> frameListeners;
  // What scripts set of an interactive object's part in the tab order and the mouse
  // input: tabEnabled (unset: its class's default), tabChildren, a sprite's hitArea.
  struct InteractiveSettings {
    std::optional<bool> tabEnabled;
    bool tabChildren = true;
    DisplayObject* hitArea = nullptr;
  };
  std::unordered_map<const DisplayObject*, InteractiveSettings> interactive;
  // What scripts set on display objects that changes nothing the player draws or does
  // (metaData, the accessibility objects, the context menu): kept to be read back.
  std::unordered_map<const DisplayObject*, std::map<std::string, Value>> keptOnDisplay;
  // Stage.invalidate() was called: the display objects hear render once the frame's
  // exitFrame has run.
  bool stageInvalidated = false;
  // Where the player is in its frame. A goto in a frame script waits until the script
  // returns; anywhere else (enterFrame and exitFrame listeners, constructors, input and
  // timer events), and once the script returned, a goto of a version 10 movie runs a
  // frame of its own: frameConstructed, the frame scripts, exitFrame. Version 9 movies
  // leave the new frame's script to the frame's own script step.
  enum class FramePhase { Idle, Enter, Construct, Scripts, Exit };
  FramePhase framePhase = FramePhase::Idle;
  int gotoFrameDepth = 0;  // nested frames a goto ran
  // A goto a clip's own frame script makes waits until that script returns (clip
  // object, 0-based frame, play); the running script's clip is an entry with frame -1.
  struct QueuedGoto {
    Object* clip = nullptr;
    int frame = 0;
    bool play = false;
  };
  std::vector<QueuedGoto> queuedGotos;
  // Clips with frame scripts (addFrameScript), with the frame each last ran.
  std::vector<std::pair<Object*, int>> scriptedClips;
  // setTimeout/setInterval: due time in milliseconds of movie time.
  struct Timer {
    int id = 0;
    Value function;
    std::vector<Value> args;
    double interval = 0, due = 0;
    bool repeat = false;
  };
  std::vector<Timer> timers;
  int nextTimer = 0;
  // LocalConnection: the connected objects by their full names, and the messages sent
  // this frame, delivered as it ends (builtins/local_connection.cpp).
  std::map<std::string, Object*> localConnections;
  std::vector<std::vector<Value>> localMessages;
  // The memory the li*/si* instructions read and write: the ByteArray set as the current
  // domain's domainMemory, or else the player's own kilobyte.
  Object* domainMemory = nullptr;
  // The local shared objects the movies opened, by their place in the store
  // (builtins/shared_object.cpp).
  std::map<std::string, Object*> sharedObjects;
  std::string defaultDomainMemory = std::string(1024, '\0');
  double Now() const;
  // While a timer's function runs, the time it was due (else negative): the player runs
  // timers at their times, not at the frame that notices them, so timers started there
  // count from it.
  double firingDue = -1;
  // The time a timer started now counts its delay from.
  double TimerBase() const { return firingDue >= 0 ? firingDue : Now(); }
  // The display object the next display-class instance stands for (the root clip when
  // the document class is constructed); null makes a new one.
  DisplayObject* bindNext = nullptr;
  // Sets an instance's properties for the named children its timeline placed (called
  // once its slots are there, before its constructor runs).
  void (*bindChildren)(Machine&, Object*) = nullptr;
  // Classes linked to library symbols (SymbolClass): `new` of one (or of a subclass)
  // makes a copy of its symbol.
  std::unordered_map<const ClassObject*, std::uint16_t> symbolOf;
  // The movie (LoadedMovie) whose symbol a linked class stands for, when not the first.
  std::unordered_map<const ClassObject*, const void*> symbolMovie;
  // Sounds, loads and streams under way and the mixer's settings (builtins/media.cpp).
  Object* media = nullptr;
  // The LoaderInfo of each movie and of each Loader's content and the objects it made
  // on first use (builtins/player_api.cpp, builtins/loader.cpp). A movie's own is kept
  // by its LoadedMovie, a Loader's by the LoaderInfo object itself.
  struct LoaderInfoParts {
    Object* info = nullptr;
    Value parameters, sharedEvents, uncaughtErrorEvents;
    const void* movie = nullptr;  // the LoadedMovie described; null until a Loader has one
    // A Loader's: the Loader, what it loaded so far and the content it made.
    Object* loader = nullptr;
    Value content, bytes;
    const DisplayObject* contentDisplay = nullptr;
    bool hasUrl = false;
    std::string url, contentType;
    double bytesLoaded = 0, bytesTotal = 0;
    int width = 0, height = 0;  // of a picture
    bool ready = false;         // init has been sent
    std::uint64_t load = 0;     // the player's number of the load under way
    int generation = 0;         // a new load or unload makes the answers of older ones stale
  };
  std::unordered_map<const void*, LoaderInfoParts> loaderInfos;
  // registerClassAlias: the class each alias names and the alias each class is sent
  // under (builtins/amf.cpp; one name may be given to several classes in turn).
  std::map<std::string, ClassObject*> classByAlias;
  std::unordered_map<const ClassObject*, std::string> aliasOfClass;
  // The encoding a new ByteArray starts with (ByteArray.defaultObjectEncoding).
  std::uint32_t defaultObjectEncoding = 3;
  // Runs a movie a Loader loaded: its first frame's code and its document class bound to
  // root; false when the document class's constructor threw (set by the movie's host).
  std::function<bool(DisplayObject* root)> runLoadedMovie;
  // The class linked to the library symbol an object was made from (null for none).
  std::function<ClassObject*(const DisplayObject& object)> linkedClassOf;

  // Adds interface i (with the interfaces it extends) to class c: c's public methods of
  // the interfaces' names answer in the interfaces' namespaces too.
  void AddInterface(ClassObject* c, ClassObject* i);
  // Loads an ABC file; unless lazy, runs its last script. False with the VerifyError
  // text in error when the file is corrupt.
  bool LoadAbc(std::span<const std::uint8_t> bytes, bool lazy, std::string& error,
               CallerHolds holds = CallerHolds::Values);
  // The class of a qualified name ("pkg.Name" or "Name"), its script run first; null
  // when there is none (or it failed).
  ClassObject* FindClass(const std::string& qualifiedName, CallerHolds holds = CallerHolds::Values);
  // Runs fn and reports an uncaught error (through onUncaught); false when one was.
  bool Guard(const std::function<void()>& fn);
  // Decodes and checks a method's body as its first call does; throws the VerifyError.
  void Verify(MethodInfo* method);

  // Names.
  std::uint32_t Intern(std::string_view text);
  std::uint32_t FindId(std::string_view text) const;
  const std::string& NameText(std::uint32_t id) const { return names_[id]; }
  NsId InternNs(std::uint8_t kind, const std::string& uri, std::uint64_t unique = 0);
  const NamespaceInfo& Ns(NsId id) const { return namespaces_[id]; }
  NsId PublicNs() const { return publicNs_; }
  NsId As3Ns() const { return as3Ns_; }
  bool IsPublicLike(NsId id) const { return id == publicNs_ || id == as3Ns_; }
  Multiname PublicName(const std::string& text);

  // Strings and values.
  const String* Str(std::string text);
  Value StrValue(std::string text) { return Value::Str(Str(std::move(text))); }
  const String* EmptyString() const { return empty_; }

  // Conversions as the language does them.
  double ToNumber(const Value& v);
  std::string ToString(const Value& v);
  bool ToBoolean(const Value& v) const;
  std::int32_t ToInt32(const Value& v) { return script::ToInt32(ToNumber(v)); }
  std::uint32_t ToUint32(const Value& v) { return script::ToUint32(ToNumber(v)); }
  Value ToPrimitive(const Value& v, bool stringHint);
  // Without a hint (+ and ==): a Date reads as its text, other objects as their value.
  Value ToDefaultPrimitive(const Value& v);
  Object* ToObject(const Value& v);  // TypeError for null and undefined
  std::string TypeOf(const Value& v);
  bool StrictEquals(const Value& a, const Value& b) const;
  bool LooseEquals(const Value& a, const Value& b);
  // a < b: 1 true, 0 false, -1 undefined (NaN)
  int LessThan(const Value& a, const Value& b);
  Value Add(const Value& a, const Value& b);

  // Types.
  ClassObject* ClassOf(const Value& v) const;
  // The prototype a primitive's dynamic properties come from: every number, int-valued
  // ones too, takes Number's (int.prototype is in no number's chain).
  Object* PrimitivePrototype(const Value& v) const;
  bool IsInstance(const Value& v, ClassObject* type) const;
  bool IsSubclass(ClassObject* c, ClassObject* base) const;
  Value Coerce(const Value& v, ClassObject* type);
  // "Test", "flash.display::MovieClip"
  std::string QualifiedClassName(const Value& v) const;
  std::string ClassNameForError(const Value& v) const;

  // Objects.
  Object* NewObject();
  ArrayObject* NewArray(std::vector<Value> elements = {});
  FunctionObject* NewFunction(MethodInfo* method, const ScopeChain& scope);
  FunctionObject* NewNativeFunction(const std::string& name, Native fn, int tag = 0);
  FunctionObject* MethodClosure(MethodInfo* method, const Value& receiver);
  // new constructor(args): primitives for the primitive classes (new Number(1) is 1).
  Value Construct(const Value& constructor, const Value* args, int argc, CallerHolds holds = CallerHolds::Values);
  Object* ConstructClass(ClassObject* cls, const Value* args, int argc, CallerHolds holds = CallerHolds::Values);
  Value Call(const Value& function, const Value& self, const Value* args, int argc,
             CallerHolds holds = CallerHolds::Values);
  Value Invoke(MethodInfo* method, const Value& self, const Value* args, int argc, const ScopeChain* scope,
               CallerHolds holds = CallerHolds::Values);

  // Properties by multiname.
  Value GetProperty(const Value& object, const Multiname& name);
  void SetProperty(const Value& object, const Multiname& name, const Value& value, bool init = false);
  Value CallProperty(const Value& object, const Multiname& name, const Value* args, int argc, bool lex,
                     CallerHolds holds = CallerHolds::Values);
  bool HasProperty(const Value& object, const Multiname& name);
  bool DeleteProperty(const Value& object, const Multiname& name);
  Value GetPublic(const Value& object, const std::string& name) { return GetProperty(object, PublicName(name)); }
  void SetPublic(const Value& object, const std::string& name, const Value& value) { SetProperty(object, PublicName(name), value); }
  Value CallPublic(const Value& object, const std::string& name, std::vector<Value> args = {}) {
    return CallProperty(object, PublicName(name), args.data(), static_cast<int>(args.size()), false);
  }
  // The object of the global scope (or the domain) that has the name; null when none.
  Object* FindDefinition(const Multiname& name);
  // Array index of a property name, or -1.
  static long ArrayIndex(const std::string& name);
  // for..in over an object: 0 at the end, else the next index.
  int NextIndex(Object* object, int index);
  Value NameAt(Object* object, int index);
  Value ValueAt(Object* object, int index);
  // Dictionaries keep object keys by identity: whether key is one for object, its
  // value's place (made when create), and its removal.
  bool IsDictionaryKey(const Value& object, const Value& key) const;
  Value* DictionaryEntry(const Value& object, const Value& key, bool create);
  bool DictionaryDelete(const Value& object, const Value& key);

  // Errors: throws a new instance of the class (by its name) with "Error #id: text".
  // Built-in methods raise their errors through Error.throwError (it shows in stack
  // traces) unless direct: those of flash.text fail in the player's own code.
  [[noreturn]] void ThrowError(const char* className, int id, const std::string& text, bool direct = false);
  [[noreturn]] void ThrowTypeError(int id, const std::string& text) { ThrowError("TypeError", id, text); }
  [[noreturn]] void ThrowReferenceError(int id, const std::string& text) { ThrowError("ReferenceError", id, text); }
  std::string ErrorText(const Value& error);
  // Stops every running script, as script data past the memory budget does, when a
  // string a native is building (bytes so far) would not fit in what is left of it.
  void CheckStringRoom(std::size_t bytes);

  // Built-in classes.
  ClassObject* objectClass = nullptr;
  ClassObject* functionClass = nullptr;
  ClassObject* classClass = nullptr;
  ClassObject* arrayClass = nullptr;
  ClassObject* stringClass = nullptr;
  ClassObject* numberClass = nullptr;
  ClassObject* intClass = nullptr;
  ClassObject* uintClass = nullptr;
  ClassObject* booleanClass = nullptr;
  ClassObject* namespaceClass = nullptr;
  ClassObject* qnameClass = nullptr;
  ClassObject* errorClass = nullptr;
  ClassObject* vectorClass = nullptr;
  ClassObject* vectorObjectClass = nullptr;
  ClassObject* xmlClass = nullptr;
  ClassObject* xmlListClass = nullptr;
  // XML's static settings (XML.ignoreComments, ...), read by the parser and printer.
  struct XmlSettings {
    bool ignoreComments = true, ignoreProcessingInstructions = true, ignoreWhitespace = true, prettyPrinting = true;
    int prettyIndent = 2;
  } xmlSettings;
  Object* globalObject = nullptr;  // the top level's globals (trace, NaN, Math, ...)

  // Natives: defining built-in classes and their members.
  ClassObject* DefineClass(const std::string& package, const std::string& name, ClassObject* base,
                           Native constructor = nullptr, bool sealed = true);
  void DefineGlobal(const std::string& package, const std::string& name, const Value& value);
  void DefineGlobal(NsId ns, const std::string& name, const Value& value);  // in a namespace of another kind
  // length: the method's "length" (the arguments it declares).
  void AddMethod(Object* target, const std::string& name, Native fn, int tag = 0, int length = 0);  // dynamic, not enumerable
  void AddTraitMethod(ClassObject* cls, const std::string& name, Native fn, bool isStatic = false, int tag = 0,
                      int length = 0);
  void AddAccessor(ClassObject* cls, const std::string& name, Native getter, Native setter, bool isStatic = false, int tag = 0);
  void AddConstant(ClassObject* cls, const std::string& name, const Value& value);  // static
  MethodInfo* NativeMethod(const std::string& name, Native fn, int tag = 0);

  // Budgets: instructions, and the time on clock (the player's; none in a machine of
  // its own) checked every few thousand of them.
  void SetBudget(long instructions) { budget_ = instructions; }
  long budget_ = 2000000;
  ScriptClock* clock = nullptr;
  int depth_ = 0;
  static constexpr int kMaxDepth = 400;
  // Throws the script error #1023 for a call nested too deeply; the error object is made
  // with a little room above the limit (its constructor is a call too), and a second
  // overflow while making it halts the script.
  [[noreturn]] void StackOverflow();
  int depthLimit_ = kMaxDepth;
  bool overflowing_ = false;
  // Methods and natives running now that a collection must wait for: entered by C++
  // code that holds values of its own.
  int pinned_ = 0;
  // Natives that walk script data recursively (XML trees) nest at most kMaxWalkDepth
  // deep; deeper, the script gets #1023 as a call would. Hold one WalkDepth per level.
#ifdef VANTREL_FUZZ_LIMITS
  static constexpr int kMaxWalkDepth = 256;
#else
  static constexpr int kMaxWalkDepth = 1024;
#endif
  int walkDepth_ = 0;
  struct WalkDepth {
    Machine& m;
    explicit WalkDepth(Machine& machine) : m(machine) {
      if (m.walkDepth_ >= kMaxWalkDepth) m.StackOverflow();
      ++m.walkDepth_;
    }
    ~WalkDepth() { --m.walkDepth_; }
    WalkDepth(const WalkDepth&) = delete;
    WalkDepth& operator=(const WalkDepth&) = delete;
  };
  // The methods running now, innermost last (script and native ones).
  std::vector<const MethodInfo*> callStack;
  // "\n\tat Test/f()" lines for the frames running now, innermost first (what an error
  // made now reports); skip leaves out that many innermost frames.
  std::string StackTrace(std::size_t skip = 0) const;
  static std::string FrameName(const MethodInfo* method);

  // Marks what the machine holds (globals, classes, units, the running methods' frames).
  void TraceRoots(gc::Tracer& tracer) const;

  // Garbage collection inside a long script. The host sets collect (it collects with
  // its own roots and the machine's); the machine calls it, once the script has made
  // enough garbage, only where every method on the stack was entered from a call
  // instruction or from the host with nothing held (CallerHolds::Nothing).
  std::function<void()> collect;
  // Whether the host, calling in now, is outside every script and native, so that
  // what it starts may pass CallerHolds::Nothing.
  CallerHolds HostCallerHolds(CallerHolds host) const {
    return depth_ == 0 && pinned_ == 0 ? host : CallerHolds::Values;
  }

  // The interpreter (interpreter.cpp). owner is the function object the method runs as
  // (its scope chain lives there), kept alive while the method runs.
  Value Execute(MethodInfo* method, const Value& self, const Value* args, int argc, const ScopeChain* scope,
                const Object* owner = nullptr, CallerHolds holds = CallerHolds::Values);
  // The name of the instruction with this opcode ("getproperty"), or null for an opcode
  // that names none.
  static const char* InstructionName(std::uint8_t op);

  // ABC units, for the interpreter.
  Value PoolString(AbcUnit& unit, std::uint32_t index);
  void RunScript(AbcUnit& unit, std::size_t index, CallerHolds holds = CallerHolds::Values);
  ClassObject* NewClass(AbcUnit& unit, std::uint32_t index, ClassObject* base, const ScopeChain& scope);
  Value DefaultValue(AbcUnit& unit, std::uint8_t kind, std::uint32_t index);
  Multiname ResolveName(AbcUnit& unit, std::uint32_t index, const Value* runtimeName, const Value* runtimeNs,
                        std::string& storage, NsId& nsStorage);
  ClassObject* ResolveType(AbcUnit& unit, std::uint32_t index);  // null for "*"
  void OverrideProtected(std::vector<Binding>& list, NsId ns, Binding::Kind kind, MethodInfo* method,
                         std::uint8_t traitKind) const;
  void InitTraits(AbcUnit& unit, Traits& traits, const std::vector<AbcTrait>& abcTraits, ClassObject* owner, bool isStatic);
  void InitSlots(Object* object, const Traits& traits);
  void NamePrefix(MethodInfo* method, NsId ns) const;
  Value CoerceSlot(const Traits::SlotInfo& slot, const Value& v);
  std::vector<std::unique_ptr<AbcUnit>> units;
  std::vector<std::unique_ptr<Traits>> ownedTraits;
  std::vector<std::unique_ptr<MethodInfo>> nativeMethods;

  // Domain: the definitions of every script, by local name.
  struct Definition {
    NsId ns;
    AbcUnit* unit = nullptr;    // script definitions
    std::size_t script = 0;
    Value value;                // native definitions
  };
  std::unordered_map<std::uint32_t, std::vector<Definition>> domain;
  Value LookupDomain(const Multiname& name, bool& found, CallerHolds holds = CallerHolds::Values);

 private:
  void InstallBuiltins();
  // Interfaces a class names before their own newclass has run (a script may declare a
  // class above the interfaces it implements): added when they appear.
  struct PendingInterface {
    ClassObject* cls;
    AbcUnit* unit;
    std::uint32_t name;
  };
  std::vector<PendingInterface> pendingInterfaces_;
  void ResolvePendingInterfaces(ClassObject* created);
  // The interpreter's parts: one member function per instruction (OpGetProperty for
  // getproperty; avm2/op_list.h lists them with their opcodes and the family files
  // avm2/ops_*.cpp they are in), found by opcode in kInstructions.
  struct Frame;
  // The interpreter frames running now, innermost last (their values are roots).
  std::vector<const Frame*> frames_;
  void TraceFrame(gc::Tracer& tracer, const Frame& f) const;
  // Collects, when the script has made enough garbage and nothing pins the stack.
  void CollectInScript();
#define VANTREL_AVM2_OP(code, name, function) void Op##function(Frame& f, const Instruction& ins);
#define VANTREL_AVM2_ALIAS(code, name, function)
#include "flash/avm2/op_list.h"
#undef VANTREL_AVM2_OP
#undef VANTREL_AVM2_ALIAS
  void OpIllegal(Frame& f, const Instruction& ins);
  struct InstructionEntry {
    const char* name;  // null for opcodes that name no instruction
    void (Machine::*run)(Frame&, const Instruction&);
  };
  static const std::array<InstructionEntry, 256> kInstructions;
  inline Value Pop(Frame& f);  // these three are defined in interpreter_internal.h
  inline void PopArgs(Frame& f, std::uint32_t n, std::vector<Value>& out);
  inline int Compare(const Value& a, const Value& b);
  Multiname PopName(Frame& f, std::uint32_t index, Value* runtime);
  Value FindProperty(Frame& f, const Multiname& name, bool strict);
  ClassObject* SuperTraits(Frame& f);
  // A deque: multinames keep pointers to the texts, which must not move as names come.
  std::deque<std::string> names_;
  std::unordered_map<std::string, std::uint32_t> nameIds_;
  std::vector<NamespaceInfo> namespaces_;
  std::map<std::tuple<std::uint8_t, std::string, std::uint64_t>, NsId> nsIds_;
  std::unordered_map<std::string, const String*> stringCache_;
  NsId publicNs_ = 0, as3Ns_ = 0;
  const String* empty_ = nullptr;
  std::uint64_t nextPrivate_ = 1;
};

// Built-in class families (builtins/*.cpp).
void InstallObjectClasses(Machine& machine);
void InstallArray(Machine& machine);
void InstallString(Machine& machine);
void InstallNumbers(Machine& machine);
void InstallMath(Machine& machine);
void InstallVector(Machine& machine);
// Vector.<param> (param null for Vector.<*>), made once per element type.
ClassObject* ApplyVector(Machine& machine, ClassObject* param);
void InstallErrors(Machine& machine);
void InstallGlobals(Machine& machine);
// describeType, describeTypeJSON and the class-name functions (builtins/describe_type.cpp).
void InstallDescribeType(Machine& machine);
void InstallRegExp(Machine& machine);
void InstallDate(Machine& machine);
void InstallJson(Machine& machine);
void InstallByteArray(Machine& machine);
void InstallUtils(Machine& machine);
void InstallDisplay(Machine& machine);
void InstallGraphics(Machine& machine);
// The constructors of the drawing data classes (after the declared API made them).
void InstallGraphicsData(Machine& machine);
void InstallEvents(Machine& machine);
void InstallMedia(Machine& machine);
void InstallNetStream(Machine& machine);
void InstallVideo(Machine& machine);
// Moves the sounds, loads and streams under way on by a frame (their events run here).
void TickMedia(Machine& machine);
void InstallGeom(Machine& machine);
void InstallDisplayGeometry(Machine& machine);
void InstallText(Machine& machine);
void InstallStage(Machine& machine);
void InstallBitmapData(Machine& machine);
void InstallFilters(Machine& machine);
void InstallUiSystem(Machine& machine);
void InstallTextEngine(Machine& machine);
void InstallMatrix3D(Machine& machine);
// The display object properties the stage refuses (after the declared API is in place).
void RefuseStageProperties(Machine& machine);
void InstallShaders(Machine& machine);
void InstallXml(Machine& machine);
// flash.xml.XMLNode and XMLDocument (builtins/xml_document.cpp).
void InstallXmlDocument(Machine& machine);
void InstallProxy(Machine& machine);
void InstallTimer(Machine& machine);
void InstallLocalConnection(Machine& machine);
void InstallSharedObject(Machine& machine);
// Writes every shared object the movies opened and filled, as the player does when a
// movie goes (movies often never call flush()).
void FlushSharedObjects(Machine& machine);
// Delivers the LocalConnection messages sent so far, in the order they were sent.
void DeliverLocalMessages(Machine& machine);
void InstallUrlLoader(Machine& machine);
// The standalone player's answers: ExternalInterface, Security, Capabilities, Camera,
// Microphone and LoaderInfo (builtins/player_api.cpp).
void InstallPlayerApi(Machine& machine);
void InstallLoader(Machine& machine);
void InstallSimpleButton(Machine& machine);

// flash.utils.Proxy (builtins/proxy.cpp): what the machine asks a proxy's flash_proxy
// methods for the accesses its class does not declare.
enum ProxyHook { kProxyGet, kProxySet, kProxyCall, kProxyHas, kProxyDelete, kProxyDescendants, kProxyNextNameIndex,
                 kProxyNextName, kProxyNextValue };
Value ProxyCall(Machine& machine, Object* proxy, int hook, const Value* args, int argc);
// The name as a QName (what getProperty and its kin receive).
Value ProxyName(Machine& machine, const Multiname& name);

// E4X (builtins/xml.cpp): XML and XMLList objects answer property access, calls,
// descendants, equality and conversion in their own way.
inline bool IsXmlKind(const Object* o) { return o && (o->kind == ObjectKind::Xml || o->kind == ObjectKind::XmlList); }
Value XmlGet(Machine& machine, Object* object, const Multiname& name);
void XmlSet(Machine& machine, Object* object, const Multiname& name, const Value& value);
bool XmlHas(Machine& machine, Object* object, const Multiname& name);
bool XmlDelete(Machine& machine, Object* object, const Multiname& name);
Value XmlCall(Machine& machine, Object* object, const Multiname& name, const Value* args, int argc);
Value XmlDescendants(Machine& machine, const Value& object, const Multiname& name);
std::string XmlToString(Machine& machine, Object* object);
bool XmlEquals(Machine& machine, const Value& a, const Value& b);
Value XmlConcat(Machine& machine, const Value& a, const Value& b);
std::size_t XmlItemCount(Object* object);
Value XmlItem(Object* object, std::size_t index);

// The display side (builtins/display.cpp): frame scripts of clips whose frame changed,
// frame events to their listeners, and the script object of a display object.
void RunChangedFrameScripts(Machine& machine, CallerHolds holds = CallerHolds::Values);
// The frame a goto runs outside the frame's own steps (see Machine::FramePhase).
void RunGotoFrame(Machine& machine);
// A timeline removal: removed (and removedFromStage) while the object is still in place.
void TimelineRemoving(Machine& machine, DisplayObject* object);
// Named timeline children as properties of their parents' objects, over the tree.
void BindTimelineNames(Machine& machine, DisplayObject* root);
void BroadcastFrameEvent(Machine& machine, const std::string& type);
Value DisplayObjectValue(Machine& machine, DisplayObject* object);
// Adds child on top of parent's children (a container) and tells it, as addChild does;
// takes it away again, as removeChild does.
void AddChildOf(Machine& machine, DisplayObject* parent, DisplayObject* child);
// A movie's address as LoaderInfo tells it: a local path as a file: URL.
std::string AddressAsUrl(const std::string& address);
void RemoveChildOf(Machine& machine, DisplayObject* parent, DisplayObject* child);
// The stage (made on first use; null without a player).
Value StageValue(Machine& machine);
// A display object the timeline placed: its class (linked to its symbol, or the plain
// class of its kind) is constructed on it, then it hears added (and addedToStage).
// Without announce it hears neither (a button's state, made before it joins a list).
void ConstructPlaced(Machine& machine, DisplayObject* object, ClassObject* linked, bool announce = true);
// A library button's states, made from its records (builtins/simple_button.cpp).
void BuildButtonStates(Machine& machine, MovieClip& button);
// Sets an event's type, bubbles and cancelable as the Event constructor does.
void InitEvent(Machine& machine, NativeObject* event, const std::string& type, bool bubbles, bool cancelable);
// Tells object and everything under it that it is on the stage now (or no longer).
void DispatchStageEvents(Machine& machine, DisplayObject* object, bool added);
// Whether the object's script object is of the class (or a subclass).
bool IsInstanceOf(Machine& machine, const DisplayObject* object, const char* qualifiedClass);
// tabEnabled as scripts read it (what they set, or its class's default).
bool TabEnabledOf(Machine& machine, DisplayObject* object);

// Numbers as the player prints them (shortest round trip, ECMAScript layout).
std::string NumberToString(double number);
std::string NumberToRadix(double number, int radix);

}  // namespace vantrel::flash::avm2
