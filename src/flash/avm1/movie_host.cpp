#include "flash/avm1/movie_host.h"

#include <algorithm>

#include "flash/avm1/builtins/broadcast_setup.h"
#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/data_support.h"
#include "flash/avm1/builtins/shared_object.h"
#include "flash/avm1/display_binding.h"
#include "flash/avm1/object.h"
#include "flash/display/movie_clip.h"
#include "flash/display/player.h"
#include "flash/display/text_field.h"

namespace vantrel::flash {

std::unique_ptr<MovieScriptHost> MakeActionScript1Host(MovieRuntime& player) {
  return std::make_unique<avm1::MovieHost>(player);
}

}  // namespace vantrel::flash

namespace vantrel::flash::avm1 {

namespace {

// Fuzzing builds give a tick's scripts a hundredth of the budget: an endless loop then
// costs milliseconds per input instead of a second, and is stopped the same way.
#ifdef VANTREL_FUZZ_LIMITS
constexpr long kTickInstructions = MovieRuntime::kInstructionsPerTick / 100;
#else
constexpr long kTickInstructions = MovieRuntime::kInstructionsPerTick;
#endif

bool SameNameNoCase(std::string_view a, std::string_view b) { return SameName(a, b, false); }

// How many timer calls one frame may make at most: a 1 ms interval in a slow movie
// catches up on a frame's worth of calls, a 0 ms one cannot spin the frame forever.
constexpr int kMaxTimerCallsPerFrame = 1000;

}  // namespace

MovieHost& HostOf(MovieRuntime& player) { return static_cast<MovieHost&>(player.Scripts()); }

MovieHost::MovieHost(MovieRuntime& player) : player_(player) {
  runtime_ = std::make_unique<Runtime>(player.Heap());
  InstallBuiltins(*runtime_);
  machine_ = std::make_unique<Interpreter>(*runtime_, &player);
  machine_->SetHost(this);
  machine_->SetDefaultVersion(player.SwfVersion());
  machine_->SetCallDepthLimit(player.GetMovie().maxRecursionDepth);
  machine_->onTrace = [this](const std::string& line) { player_.Trace(line); };
  machine_->collectDuringScript = [this] { return CollectDuringScript(); };
}

MovieHost::~MovieHost() = default;

void MovieHost::StartRun() { machine_->SetBudget(kTickInstructions); }

Object* MovieHost::MakeScriptObject(DisplayObject& object, Object* proto) {
  Object* o = runtime_->heap.Make<Object>(proto ? proto : runtime_->objectProto);
  o->kind = NativeKind::Display;
  o->native = std::make_unique<DisplayData>(&object);
  object.SetScriptCell(o);
  return o;
}

void MovieHost::LevelMade(MovieClip& clip) { MakeScriptObject(clip, runtime_->movieClipProto); }

Object* MovieHost::RegisteredClass(const LoadedMovie* movie, std::uint16_t spriteId) {
  if (!movie || spriteId == 0) return nullptr;
  const int version = movie->Version();
  const Runtime::ClassRegistry& classes = runtime_->RegisteredClasses(version);
  if (classes.empty()) return nullptr;
  for (const auto& [name, id] : movie->movie->exports) {
    if (id != spriteId) continue;
    for (const auto& [registered, ctor] : classes) {
      if (version >= 7 ? registered == name : SameNameNoCase(registered, name)) return ctor;
    }
  }
  return nullptr;
}

void MovieHost::PostInstantiate(MovieClip* clip, Object* initObject, bool byScript) {
  Object* ctor = clip->Kind() == DisplayKind::MovieClip ? RegisteredClass(clip->Movie(), clip->spriteId) : nullptr;
  player_.AddToExecList(clip);
  if (clip->Kind() == DisplayKind::Button) {
    MakeScriptObject(*clip, runtime_->buttonProto);
    clip->ShowButtonState(ButtonCharacter::kUp);
    return;
  }
  // The init object's properties are copied in the order they were made (for..in lists
  // them the other way round): a setter among them sees those made before it.
  auto copyInit = [&](Object* object) {
    if (!initObject) return;
    const std::vector<std::string> keys = machine_->Enumerate(initObject);
    for (auto key = keys.rbegin(); key != keys.rend(); ++key) machine_->Set(object, *key, machine_->Get(initObject, *key));
  };
  if (ctor && byScript) {
    Object* proto = machine_->Get(ctor, "prototype").AsObject();
    Object* object = MakeScriptObject(*clip, proto ? proto : runtime_->movieClipProto);
    clip->RunFrame();
    copyInit(object);
    machine_->ConstructOn(ctor, object, {}, clip->Movie()->Version());
    return;
  }
  Object* object = MakeScriptObject(*clip, runtime_->movieClipProto);
  // The clip's initialize and construct events are queued before its first frame places
  // its children: a parent's come before its children's.
  std::vector<ActionBlock> events;
  for (const ClipAction& action : clip->clipActions) {
    if (action.events & 0x200) QueueBlock(*clip, action.actions, ActionPriority::Init, false);
    if (action.events & 0x40000) events.push_back(action.actions);
  }
  // The class is looked up again when the construct action runs: the frame's
  // DoInitAction (which usually registers it) may come after the placement. A clip a
  // script made has its class (or none) from the moment it was made.
  const bool exported = std::any_of(clip->Movie()->movie->exports.begin(), clip->Movie()->movie->exports.end(),
                                    [&](const auto& e) { return e.second == clip->spriteId; });
  if (!byScript && (ctor || exported || !events.empty())) QueueConstruct(clip, ctor, std::move(events));
  clip->RunFrame();
  copyInit(object);
}

void MovieHost::VideoPlaced(DisplayObject& video) {
  const auto proto = runtime_->prototypes.find("Video");
  MakeScriptObject(video, proto == runtime_->prototypes.end() ? nullptr : proto->second);
}

void MovieHost::TextFieldPlaced(TextField& field) {
  Object* object = MakeScriptObject(field, runtime_->textFieldProto);
  // A text field broadcasts onChanged and onScroller to its listeners, itself first.
  GiveBroadcasterMethods(*runtime_, object);
  if (Object* listeners = object->FindOwn("_listeners", true)->value.AsObject())
    if (ArrayData* list = listeners->Array()) list->elements.push_back(Value::Obj(object));
  if (!field.variable.empty()) {
    boundFields_.push_back(&field);
    field.SyncVariable();
  }
}

void MovieHost::Removed(DisplayObject& object, const std::string& path, bool keepEarlier) {
  auto* o = static_cast<Object*>(object.ScriptCell());
  auto* data = o ? o->Data<DisplayData>() : nullptr;
  if (!data || (keepEarlier && !data->removedPath.empty())) return;
  data->removedPath = path;
}

void MovieHost::ClearVariables(DisplayObject& target) {
  auto* object = static_cast<Object*>(target.ScriptCell());
  if (!object) return;
  std::vector<std::string> names;
  for (const Property& p : object->Properties()) {
    // A _lockroot set on the clip before the load holds for the movie it receives.
    if (!SameName(p.name, "_lockroot", false)) names.push_back(p.name);
  }
  for (const std::string& name : names) object->DeleteOwn(name, true);
  object->proto = runtime_->movieClipProto;
}

void MovieHost::RunInitAction(MovieClip& clip, std::uint16_t spriteId, const ActionBlock& block) {
  if (!initialised_.insert({clip.Movie()->movie.get(), spriteId}).second) return;
  RunBlockNow(clip, block);
}

void MovieHost::RunLibraryInitAction(MovieClip& clip, const LoadedMovie& library, std::uint16_t spriteId,
                                     const ActionBlock& block) {
  if (!initialised_.insert({library.movie.get(), spriteId}).second) return;
  auto* object = static_cast<Object*>(clip.ScriptCell());
  if (!object || !block) return;
  machine_->RunBlock(block, object, library.Version());
}

void MovieHost::QueueBlock(DisplayObject& target, ActionBlock block, ActionPriority priority, bool evenIfRemoved) {
  if (!block) return;
  QueuedAction action;
  action.kind = QueuedAction::Kind::Block;
  action.target = &target;
  action.block = std::move(block);
  action.evenIfRemoved = evenIfRemoved;
  queues_[static_cast<int>(priority)].push_back(std::move(action));
}

void MovieHost::QueueMethod(DisplayObject* target, std::string method, std::vector<Value> args, bool evenIfRemoved) {
  if (!target) return;
  QueuedAction action;
  action.kind = QueuedAction::Kind::Method;
  action.target = target;
  action.method = std::move(method);
  action.args = std::move(args);
  action.evenIfRemoved = evenIfRemoved;
  queues_[static_cast<int>(ActionPriority::Normal)].push_back(std::move(action));
}

void MovieHost::QueueConstruct(MovieClip* clip, Object* constructor, std::vector<ActionBlock> events) {
  QueuedAction action;
  action.kind = QueuedAction::Kind::Construct;
  action.target = clip;
  action.constructor = constructor;
  action.events = std::move(events);
  queues_[static_cast<int>(ActionPriority::Construct)].push_back(std::move(action));
}

void MovieHost::RunBlockNow(DisplayObject& target, const ActionBlock& block) {
  auto* object = static_cast<Object*>(target.ScriptCell());
  if (!object) return;
  machine_->RunBlock(block, object, target.Movie()->Version());
}

Value MovieHost::CallMethodNow(Object* object, const std::string& name, std::vector<Value> args) {
  if (!object) return {};
  int version = player_.SwfVersion();
  // Found once and passed on: for a removed clip this looks up what now stands at its
  // path, which thousands of unload events of one removal would otherwise do three times
  // each. Only when the movie's version changes how names compare is it looked up again.
  const bool caseSensitive = machine_->CaseSensitive();
  DisplayObject* d = machine_->AsDisplay(object);
  if (d) version = d->Movie()->Version();
  machine_->SetDefaultVersion(version);
  if (machine_->CaseSensitive() != caseSensitive) d = machine_->AsDisplay(object);
  const Value fn = machine_->GetOf(object, d, name);
  Object* f = fn.AsObject();
  if (!f || !f->IsFunction()) return {};
  return machine_->CallTopLevel(fn, Value::Obj(object), args, object, version);
}

namespace {

// A clip the timeline removed while it waits for its unload handlers, or one inside
// it: only its unload events still run.
bool WaitsToBeRemoved(const DisplayObject& object) {
  int nesting = 0;
  for (const MovieClip* at = object.IsContainer() ? static_cast<const MovieClip*>(&object) : object.Parent();
       at && nesting < 10000; at = at->Parent(), ++nesting) {
    if (at->RemovalPending()) return true;
  }
  return false;
}

}  // namespace

void MovieHost::RunAction(QueuedAction& action) {
  DisplayObject* target = action.target;
  const bool skipped = !action.evenIfRemoved && (target->Removed() || WaitsToBeRemoved(*target));
  switch (action.kind) {
    case QueuedAction::Kind::Block:
      if (skipped) return;
      RunBlockNow(*target, action.block);
      return;
    case QueuedAction::Kind::Method:
      if (skipped) return;
      CallMethodNow(static_cast<Object*>(target->ScriptCell()), action.method, std::move(action.args));
      return;
    case QueuedAction::Kind::Construct: {
      if (target->Removed()) return;
      auto* object = static_cast<Object*>(target->ScriptCell());
      if (!object) return;
      if (!action.constructor && target->Kind() == DisplayKind::MovieClip) {
        action.constructor = RegisteredClass(target->Movie(), static_cast<MovieClip*>(target)->spriteId);
      }
      if (action.constructor) {
        machine_->SetDefaultVersion(target->Movie()->Version());
        if (Object* proto = machine_->Get(action.constructor, "prototype").AsObject()) object->proto = proto;
      }
      for (const ActionBlock& block : action.events) RunBlockNow(*target, block);
      if (action.constructor) machine_->ConstructOn(action.constructor, object, {}, target->Movie()->Version());
      return;
    }
  }
}

void MovieHost::RunQueue(bool frameLoop) {
  const bool outer = frameQueue_;
  frameQueue_ = frameLoop;
  for (;;) {
    std::deque<QueuedAction>* queue = nullptr;
    for (auto& q : queues_) {
      if (!q.empty()) {
        queue = &q;
        break;
      }
    }
    if (!queue) break;
    QueuedAction action = std::move(queue->front());
    queue->pop_front();
    running_.push_back(&action);
    RunAction(action);
    running_.pop_back();
    if (machine_->BudgetExhausted()) {
      // The scripts of this frame ran out of time: the rest of the queue is dropped and
      // the movie goes on with the next frame.
      for (auto& q : queues_) q.clear();
      break;
    }
  }
  frameQueue_ = outer;
}

int MovieHost::AddTimer(Value function, Object* object, std::string method, std::vector<Value> args,
                        double intervalMs, bool repeat) {
  Timer timer;
  timer.id = ++nextTimerId_;
  timer.function = function;
  timer.object = object;
  timer.method = std::move(method);
  timer.args = std::move(args);
  timer.intervalMs = std::max(intervalMs, 1.0);
  timer.dueMs = player_.Milliseconds() + timer.intervalMs;
  timer.repeat = repeat;
  timers_.push_back(std::move(timer));
  return timers_.back().id;
}

bool MovieHost::RemoveTimer(int id) {
  const auto it = std::find_if(timers_.begin(), timers_.end(), [&](const Timer& t) { return t.id == id; });
  if (it == timers_.end()) return false;
  timers_.erase(it);
  return true;
}

void MovieHost::RunTimers() {
  // Timers run after the frame's scripts, for the time until the next frame.
  const double now = player_.Milliseconds() + player_.FrameMilliseconds();
  // Timers run against the clock, not the frames: one shorter than a frame fires as
  // often as it fell due since the last frame, each in the order it fell due (the older
  // timer first on a tie), and the actions its call queued run before the next call.
  // Timers made while firing start from now and so wait for a later frame.
  for (int fired = 0; fired < kMaxTimerCallsPerFrame; ++fired) {
    auto it = timers_.end();
    for (auto at = timers_.begin(); at != timers_.end(); ++at) {
      if (at->dueMs <= now && (it == timers_.end() || at->dueMs < it->dueMs)) it = at;
    }
    if (it == timers_.end()) break;
    Timer timer = *it;
    if (timer.repeat) {
      it->dueMs += it->intervalMs;
    } else {
      timers_.erase(it);
    }
    machine_->SetDefaultVersion(player_.SwfVersion());
    if (timer.object) {
      CallMethodNow(timer.object, timer.method, timer.args);
    } else {
      machine_->CallTopLevel(timer.function, Value(), timer.args, nullptr, player_.SwfVersion());
    }
    RunQueue(false);
  }
  // A timer that could not catch up within the limit starts over from now.
  for (Timer& t : timers_) {
    if (t.dueMs <= now) t.dueMs = now + t.intervalMs;
  }
}

void MovieHost::RunLater(avm1::MachineInterface::Later callback, Object* keepAlive) {
  player_.RunLater([this, callback = std::move(callback)] {
    if (callback) callback(*machine_);
  }, keepAlive);
}

void MovieHost::RunCallback(const std::function<void()>& callback) {
  machine_->SetDefaultVersion(player_.SwfVersion());
  if (callback) callback();
}

void MovieHost::LoadData(const std::string& url, const std::string& method, const std::string& formData,
                         avm1::MachineInterface::Loaded done, Object* keepAlive) {
  player_.Fetch(url, method, formData, nullptr, keepAlive, {},
                [this, done = std::move(done)](bool ok, const std::string& body) { done(*machine_, ok, body); });
}

void MovieHost::SyncTextFields() {
  boundFields_.erase(std::remove_if(boundFields_.begin(), boundFields_.end(), [](TextField* f) { return f->Removed(); }),
                     boundFields_.end());
  for (TextField* field : boundFields_) field->SyncVariable();
}

namespace {

// A bound variable lives on the clip that holds the field: buttons hold no variables, so
// a field shown in a button state binds to the clip the button is in.
MovieClip* VariableScope(const TextField& field) {
  MovieClip* parent = field.Parent();
  while (parent && parent->Kind() == DisplayKind::Button) parent = parent->Parent();
  return parent;
}

}  // namespace

Object* MovieHost::VariableOwner(TextField& field, std::string& name) {
  MovieClip* parent = VariableScope(field);
  if (!parent || !parent->ScriptCell()) return nullptr;
  auto* scope = static_cast<Object*>(parent->ScriptCell());
  const std::string& variable = field.variable;
  const std::size_t colon = variable.rfind(':');
  const std::size_t split = colon != std::string::npos ? colon : variable.rfind('.');
  if (split == std::string::npos) {
    name = variable;
    return scope;
  }
  name = variable.substr(split + 1);
  const std::string path = variable.substr(0, split);
  if (DisplayObject* target = ResolveTarget(*machine_, parent, path)) return static_cast<Object*>(target->ScriptCell());
  // Past the clips the path goes through variables: "obj.name" binds to a plain object.
  return machine_->GetVariableFrom(scope, path, field.Movie()->Version()).AsObject();
}

bool MovieHost::SyncTextVariable(TextField& field) {
  Interpreter& machine = *machine_;
  if (!machine.Running()) machine.SetDefaultVersion(field.Movie()->Version());
  std::string name;
  Object* owner = VariableOwner(field, name);
  if (!owner) return false;
  if (!machine.Has(owner, name)) {
    // A bound variable that does not exist yet takes the field's text (an empty field
    // leaves it undefined).
    if (!field.Text().isEmpty()) machine.Set(owner, name, machine.Str(field.Text().toStdString()));
    return false;
  }
  const Value value = machine.Get(owner, name);
  const QString text = QString::fromStdString(value.IsUndefined() ? std::string() : machine.ToString(value));
  return field.ShowVariableText(text);
}

void MovieHost::VariableSet(Object* object, std::string_view name) {
  if (boundFields_.empty()) return;
  DisplayObject* holder = DisplayOf(*machine_, object);
  if (!holder) return;
  const bool cs = machine_->CaseSensitive();
  for (TextField* field : std::vector<TextField*>(boundFields_)) {
    if (field->Removed()) continue;
    std::string member;
    Object* owner = VariableOwner(*field, member);
    if (owner && DisplayOf(*machine_, owner) == holder && SameName(member, name, cs)) field->SyncVariable();
  }
}

void MovieHost::TextChanged(TextField& field) {
  if (!field.ScriptCell()) return;
  StoreTextVariable(field);
  QueueMethod(&field, "broadcastMessage", {machine_->Str("onChanged"), DisplayValue(&field)});
}

void MovieHost::StoreTextVariable(TextField& field) {
  Interpreter& machine = *machine_;
  if (!machine.Running()) machine.SetDefaultVersion(field.Movie()->Version());
  std::string name;
  if (Object* owner = field.variable.empty() ? nullptr : VariableOwner(field, name))
    machine.Set(owner, name, machine.Str(field.Text().toStdString()));
}

Value MovieHost::ReadProperty(DisplayObject& object, const char* name) {
  auto* o = static_cast<Object*>(object.ScriptCell());
  if (!o) return {};
  machine_->SetDefaultVersion(object.Movie()->Version());
  return machine_->Get(o, name);
}

bool MovieHost::HasProperty(DisplayObject& object, const char* name) {
  auto* o = static_cast<Object*>(object.ScriptCell());
  if (!o) return false;
  machine_->SetDefaultVersion(object.Movie()->Version());
  return machine_->Has(o, name);
}

std::optional<bool> MovieHost::FlagProperty(DisplayObject& object, const char* name) {
  const Value v = ReadProperty(object, name);
  if (v.IsUndefined()) return std::nullopt;
  return machine_->ToBoolean(v);
}

std::optional<double> MovieHost::NumberProperty(DisplayObject& object, const char* name) {
  const Value v = ReadProperty(object, name);
  if (v.IsNullish()) return std::nullopt;
  return machine_->ToNumber(v);
}

void MovieHost::BroadcastInput(const char* broadcaster, const char* event, std::vector<Value> args) {
  machine_->SetDefaultVersion(player_.SwfVersion());
  const Value target = machine_->Get(runtime_->global, broadcaster);
  if (Object* o = target.AsObject()) {
    std::vector<Value> full{machine_->Str(event)};
    full.insert(full.end(), args.begin(), args.end());
    CallMethodNow(o, "broadcastMessage", std::move(full));
  }
}

void MovieHost::BroadcastInput(const char* broadcaster, const char* event, std::optional<double> number) {
  std::vector<Value> args;
  if (number) args.push_back(Value::Number(*number));
  BroadcastInput(broadcaster, event, std::move(args));
}

void MovieHost::CallHandlerNow(DisplayObject& object, const char* name) {
  CallMethodNow(static_cast<Object*>(object.ScriptCell()), name);
}

void MovieHost::FocusMoved(DisplayObject* old, DisplayObject* object) {
  const Value oldValue = old && !old->Removed() ? DisplayValue(old) : Value::Null();
  const Value newValue = object ? DisplayValue(object) : Value::Null();
  if (old && !old->Removed() && old->ScriptCell() && old->Movie()->Version() >= 6)
    CallMethodNow(static_cast<Object*>(old->ScriptCell()), "onKillFocus", {newValue});
  if (object && object->ScriptCell() && object->Movie()->Version() >= 6)
    CallMethodNow(static_cast<Object*>(object->ScriptCell()), "onSetFocus", {oldValue});
  BroadcastInput("Selection", "onSetFocus", std::vector<Value>{oldValue, newValue});
}

void MovieHost::FocusRemoved(DisplayObject& old) {
  BroadcastInput("Selection", "onSetFocus", std::vector<Value>{DisplayValue(&old), Value::Null()});
}

std::string MovieHost::EncodeVariables(DisplayObject& from) {
  auto* o = static_cast<Object*>(from.ScriptCell());
  return o ? data::EncodeVariables(*machine_, o) : std::string();
}

void MovieHost::SetTextVariable(DisplayObject& target, const std::string& name, const std::string& value) {
  auto* o = static_cast<Object*>(target.ScriptCell());
  if (o) machine_->Set(o, name, machine_->Str(value));
}

std::string MovieHost::GetVariable(std::string_view path) {
  const int version = player_.SwfVersion();
  const Value value = machine_->GetVariableFrom(static_cast<Object*>(player_.Root().ScriptCell()), path, version);
  if (value.IsUndefined()) return "";
  return machine_->ToStringAt(value, version);
}

void MovieHost::SetVariable(std::string_view path, const std::string& value) {
  machine_->SetVariableFrom(static_cast<Object*>(player_.Root().ScriptCell()), path, machine_->Str(value),
                            player_.SwfVersion());
}

void MovieHost::Unloading() {
  // What the movie kept in shared objects is written when it goes.
  if (machine_->Running()) return;
  player_.ResetBudgets();
  FlushSharedObjects(*machine_);
}

void MovieHost::TraceRoots(gc::Tracer& tracer) const {
  runtime_->Trace(tracer);
  machine_->TraceRoots(tracer);
  for (const TextField* field : boundFields_) tracer.Mark(field);
  tracer.Mark(lastDragged_);
  auto markAction = [&](const QueuedAction& action) {
    tracer.Mark(action.target);
    tracer.Mark(action.constructor);
    for (const Value& v : action.args) TraceValue(tracer, v);
  };
  for (const auto& queue : queues_)
    for (const QueuedAction& action : queue) markAction(action);
  for (const QueuedAction* action : running_) markAction(*action);
  for (const Timer& timer : timers_) {
    TraceValue(tracer, timer.function);
    tracer.Mark(timer.object);
    for (const Value& v : timer.args) TraceValue(tracer, v);
  }
}

bool MovieHost::CollectDuringScript() {
  // Only one queued block or method runs (no native code between it and the frame
  // loop), so the interpreter's frames, the queues and running_ are all that is held.
  if (!frameQueue_ || running_.size() != 1) return false;
  const QueuedAction::Kind kind = running_.front()->kind;
  if (kind != QueuedAction::Kind::Block && kind != QueuedAction::Kind::Method) return false;
  player_.CollectNow();
  return true;
}

}  // namespace vantrel::flash::avm1
