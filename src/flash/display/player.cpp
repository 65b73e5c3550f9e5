#include "flash/avm1/object.h"
#include "flash/display/player.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/display_binding.h"
#include "flash/display/text_field.h"
#include "flash/avm1/utf16.h"
#include "flash/avm2/as3_movie.h"
#include "flash/movie_loader.h"

namespace vantrel::flash {

namespace {

bool SameNameNoCase(std::string_view a, std::string_view b) { return avm1::SameName(a, b, false); }

constexpr std::size_t kCollectAfterBytes = 16u << 20;

// The ActionScript 3 side of a movie made for it rides on an engine object in the
// runtime's table of named objects, so that the collector traces its roots with the
// rest of the runtime's.
class As3Holder final : public avm1::NativeData {
 public:
  std::unique_ptr<avm2::As3Movie> movie;
  void Trace(gc::Tracer& tracer) const override {
    if (movie) movie->Trace(tracer);
  }
};
constexpr const char* kAs3Key = "ActionScript 3 machine";

avm2::As3Movie* As3Of(avm1::Runtime& runtime) {
  const auto it = runtime.prototypes.find(kAs3Key);
  if (it == runtime.prototypes.end() || !it->second) return nullptr;
  auto* holder = it->second->Data<As3Holder>();
  return holder ? holder->movie.get() : nullptr;
}

std::string ReadLocalFile(const std::string& path, bool& ok) {
  std::ifstream in(path, std::ios::binary);
  ok = static_cast<bool>(in);
  if (!ok) return {};
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

}  // namespace

std::shared_ptr<Character> LoadedMovie::Find(std::uint16_t id) const {
  if (auto c = movie->dictionary.Find(id)) return c;
  const auto it = imported.find(id);
  return it == imported.end() ? nullptr : it->second;
}

std::uint16_t LoadedMovie::Exported(std::string_view name) const {
  for (const auto& [exported, id] : movie->exports) {
    if (SameNameNoCase(exported, name)) return id;
  }
  return 0;
}

Player::Player(std::shared_ptr<const Movie> movie, PlayerHooks hooks, std::string url) : hooks_(std::move(hooks)) {
  runtime_ = std::make_unique<avm1::Runtime>();
  avm1::InstallBuiltins(*runtime_);
  machine_ = std::make_unique<avm1::Interpreter>(*runtime_, this);
  machine_->SetDefaultVersion(movie->header.version);
  machine_->onTrace = [this](const std::string& line) { Trace(line); };
  auto loaded = std::make_unique<LoadedMovie>();
  loaded->movie = std::move(movie);
  loaded->url = std::move(url);
  movies_.push_back(std::move(loaded));
  root_ = runtime_->heap.Make<MovieClip>(*this, movies_.back().get(), &movies_.back()->movie->root);
  root_->serial = NextSerial();
  levels_[0] = root_;
  MakeScriptObject(*root_, runtime_->movieClipProto);
  AddToExecList(root_);
  ResetBudgets();
  if (GetMovie().actionScript3) {
    avm1::Object* o = runtime_->heap.Make<avm1::Object>(nullptr);
    auto holder = std::make_unique<As3Holder>();
    holder->movie = std::make_unique<avm2::As3Movie>(*this);
    o->native = std::move(holder);
    runtime_->prototypes[kAs3Key] = o;
  }
}

Player::~Player() = default;

MovieClip* Player::Level(int number) const {
  const auto it = levels_.find(number);
  return it == levels_.end() ? nullptr : it->second;
}

void Player::ResetBudgets() {
  machine_->SetBudget(kInstructionsPerTick);
  scriptDeadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(1);
}

std::uint32_t Player::Random() {
  random_ ^= random_ << 13;
  random_ ^= random_ >> 17;
  random_ ^= random_ << 5;
  return random_;
}

avm1::Object* Player::MakeScriptObject(DisplayObject& object, avm1::Object* proto) {
  avm1::Object* o = runtime_->heap.Make<avm1::Object>(proto ? proto : runtime_->objectProto);
  o->kind = avm1::NativeKind::Display;
  o->native = std::make_unique<avm1::DisplayData>(&object);
  object.SetScriptObject(o);
  return o;
}

DisplayObject* Player::Create(const LoadedMovie* movie, std::shared_ptr<Character> character, std::uint16_t id) {
  if (!character) return nullptr;
  DisplayObject* object = nullptr;
  switch (character->Kind()) {
    case CharacterKind::Sprite: {
      const auto* sprite = static_cast<const SpriteCharacter*>(character.get());
      auto* clip = runtime_->heap.Make<MovieClip>(*this, movie, &sprite->timeline);
      clip->spriteId = id;
      object = clip;
      break;
    }
    case CharacterKind::Button: {
      auto* clip = runtime_->heap.Make<MovieClip>(*this, movie, nullptr, DisplayKind::Button);
      clip->button = static_cast<const ButtonCharacter*>(character.get());
      object = clip;
      break;
    }
    case CharacterKind::EditText:
      object = runtime_->heap.Make<TextField>(*this, movie, static_cast<const EditText&>(*character));
      break;
    case CharacterKind::Shape: object = runtime_->heap.Make<DisplayObject>(DisplayKind::Shape, *this, movie); break;
    case CharacterKind::MorphShape: object = runtime_->heap.Make<DisplayObject>(DisplayKind::Morph, *this, movie); break;
    case CharacterKind::Text: object = runtime_->heap.Make<DisplayObject>(DisplayKind::StaticText, *this, movie); break;
    case CharacterKind::Bitmap: object = runtime_->heap.Make<DisplayObject>(DisplayKind::Bitmap, *this, movie); break;
    case CharacterKind::Video: object = runtime_->heap.Make<DisplayObject>(DisplayKind::Video, *this, movie); break;
    default: return nullptr;
  }
  if (object->Kind() != DisplayKind::EditText) object->character = std::move(character);
  object->characterId = id;
  object->serial = NextSerial();
  return object;
}

MovieClip* Player::CreateEmptyClip(const LoadedMovie* movie) {
  auto* clip = runtime_->heap.Make<MovieClip>(*this, movie, nullptr);
  clip->serial = NextSerial();
  return clip;
}

avm1::Object* Player::RegisteredClass(const LoadedMovie* movie, std::uint16_t spriteId) {
  if (!movie || spriteId == 0 || runtime_->registeredClasses.empty()) return nullptr;
  for (const auto& [name, id] : movie->movie->exports) {
    if (id != spriteId) continue;
    for (const auto& [registered, ctor] : runtime_->registeredClasses) {
      if (SameNameNoCase(registered, name)) return ctor;
    }
  }
  return nullptr;
}

void Player::PostInstantiate(MovieClip* clip, avm1::Object* initObject, bool byScript) {
  avm1::Object* ctor = clip->Kind() == DisplayKind::MovieClip ? RegisteredClass(clip->Movie(), clip->spriteId) : nullptr;
  AddToExecList(clip);
  if (clip->Kind() == DisplayKind::Button) {
    MakeScriptObject(*clip, runtime_->buttonProto);
    clip->ShowButtonState(ButtonCharacter::kUp);
    return;
  }
  auto copyInit = [&](avm1::Object* object) {
    if (!initObject) return;
    for (const std::string& key : machine_->Enumerate(initObject)) machine_->Set(object, key, machine_->Get(initObject, key));
  };
  if (ctor && byScript) {
    avm1::Object* proto = machine_->Get(ctor, "prototype").AsObject();
    avm1::Object* object = MakeScriptObject(*clip, proto ? proto : runtime_->movieClipProto);
    clip->RunFrame();
    copyInit(object);
    machine_->ConstructOn(ctor, object, {}, clip->Movie()->Version());
    return;
  }
  avm1::Object* object = MakeScriptObject(*clip, runtime_->movieClipProto);
  clip->RunFrame();
  copyInit(object);
  std::vector<ActionBlock> events;
  for (const ClipAction& action : clip->clipActions) {
    if (action.events & 0x200) QueueBlock(clip, action.actions, Priority::Init);
    if (action.events & 0x40000) events.push_back(action.actions);
  }
  // The class is looked up again when the construct action runs: the frame's
  // DoInitAction (which usually registers it) may come after the placement.
  const bool exported = std::any_of(clip->Movie()->movie->exports.begin(), clip->Movie()->movie->exports.end(),
                                    [&](const auto& e) { return e.second == clip->spriteId; });
  if (ctor || exported || !events.empty()) QueueConstruct(clip, ctor, std::move(events));
}

void Player::PostInstantiateText(TextField* field) {
  MakeScriptObject(*field, runtime_->textFieldProto);
  if (!field->variable.empty()) {
    boundFields_.push_back(field);
    field->SyncVariable();
  }
}

void Player::RunInitAction(MovieClip* clip, std::uint16_t spriteId, const ActionBlock& block) {
  if (!initialised_.insert({clip->Movie()->movie.get(), spriteId}).second) return;
  RunBlockNow(clip, block);
}

void Player::QueueBlock(DisplayObject* target, ActionBlock block, Priority priority, bool evenIfRemoved) {
  if (!target || !block) return;
  QueuedAction action;
  action.kind = QueuedAction::Kind::Block;
  action.target = target;
  action.block = std::move(block);
  action.evenIfRemoved = evenIfRemoved;
  queues_[static_cast<int>(priority)].push_back(std::move(action));
}

void Player::QueueMethod(DisplayObject* target, std::string method, std::vector<avm1::Value> args, bool evenIfRemoved) {
  if (!target) return;
  QueuedAction action;
  action.kind = QueuedAction::Kind::Method;
  action.target = target;
  action.method = std::move(method);
  action.args = std::move(args);
  action.evenIfRemoved = evenIfRemoved;
  queues_[static_cast<int>(Priority::Normal)].push_back(std::move(action));
}

void Player::QueueConstruct(MovieClip* clip, avm1::Object* constructor, std::vector<ActionBlock> events) {
  QueuedAction action;
  action.kind = QueuedAction::Kind::Construct;
  action.target = clip;
  action.constructor = constructor;
  action.events = std::move(events);
  queues_[static_cast<int>(Priority::Construct)].push_back(std::move(action));
}

void Player::RunBlockNow(DisplayObject* target, const ActionBlock& block) {
  if (!target || !target->ScriptObject()) return;
  machine_->RunBlock(block, target->ScriptObject(), target->Movie()->Version());
}

avm1::Value Player::CallMethodNow(avm1::Object* object, const std::string& name, std::vector<avm1::Value> args) {
  if (!object) return {};
  int version = SwfVersion();
  if (DisplayObject* d = machine_->AsDisplay(object)) version = d->Movie()->Version();
  machine_->SetDefaultVersion(version);
  const avm1::Value fn = machine_->Get(object, name);
  avm1::Object* f = fn.AsObject();
  if (!f || !f->IsFunction()) return {};
  return machine_->CallTopLevel(fn, avm1::Value::Obj(object), args, object, version);
}

void Player::RunAction(QueuedAction& action) {
  DisplayObject* target = action.target;
  switch (action.kind) {
    case QueuedAction::Kind::Block:
      if (target->Removed() && !action.evenIfRemoved) return;
      RunBlockNow(target, action.block);
      return;
    case QueuedAction::Kind::Method:
      if (target->Removed() && !action.evenIfRemoved) return;
      CallMethodNow(target->ScriptObject(), action.method, std::move(action.args));
      return;
    case QueuedAction::Kind::Construct: {
      if (target->Removed()) return;
      avm1::Object* object = target->ScriptObject();
      if (!object) return;
      if (!action.constructor && target->Kind() == DisplayKind::MovieClip) {
        action.constructor = RegisteredClass(target->Movie(), static_cast<MovieClip*>(target)->spriteId);
      }
      if (action.constructor) {
        machine_->SetDefaultVersion(target->Movie()->Version());
        if (avm1::Object* proto = machine_->Get(action.constructor, "prototype").AsObject()) object->proto = proto;
      }
      for (const ActionBlock& block : action.events) RunBlockNow(target, block);
      if (action.constructor) machine_->ConstructOn(action.constructor, object, {}, target->Movie()->Version());
      return;
    }
    case QueuedAction::Kind::Callback:
      machine_->SetDefaultVersion(SwfVersion());
      if (action.callback) action.callback(*machine_);
      return;
  }
}

void Player::RunQueue() {
  for (;;) {
    std::deque<QueuedAction>* queue = nullptr;
    for (auto& q : queues_) {
      if (!q.empty()) {
        queue = &q;
        break;
      }
    }
    if (!queue) return;
    QueuedAction action = std::move(queue->front());
    queue->pop_front();
    RunAction(action);
    if (machine_->BudgetExhausted()) {
      // The scripts of this frame ran out of time: the rest of the queue is dropped and
      // the movie goes on with the next frame.
      for (auto& q : queues_) q.clear();
      return;
    }
  }
}

void Player::Tick() {
  ResetBudgets();
  creations_ = 0;
  ++ticks_;
  execList_.erase(std::remove_if(execList_.begin(), execList_.end(), [](MovieClip* c) { return c->Removed(); }),
                  execList_.end());
  avm2::As3Movie* as3 = As3Of(*runtime_);
  if (as3) as3->BeforeFrame();
  const std::vector<MovieClip*> snapshot = execList_;
  for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it) {
    if (!(*it)->Removed()) (*it)->RunFrame();
  }
  RunQueue();
  if (as3) as3->AfterFrame();
  RunTimers();
  RunLaterQueue();
  RunQueue();
  SyncTextFields();
  if (runtime_->heap.AllocatedSinceCollection() > kCollectAfterBytes) Collect();
}

void Player::GotoFrame(int frame, bool play) {
  ResetBudgets();
  root_->GotoFrame(frame, play);
  RunQueue();
  SyncTextFields();
}

void Player::SyncTextFields() {
  boundFields_.erase(std::remove_if(boundFields_.begin(), boundFields_.end(), [](TextField* f) { return f->Removed(); }),
                     boundFields_.end());
  for (TextField* field : boundFields_) field->SyncVariable();
}

int Player::AddTimer(avm1::Value function, avm1::Object* object, std::string method, std::vector<avm1::Value> args,
                     double intervalMs, bool repeat) {
  Timer timer;
  timer.id = ++nextTimerId_;
  timer.function = function;
  timer.object = object;
  timer.method = std::move(method);
  timer.args = std::move(args);
  timer.intervalMs = std::max(intervalMs, 1.0);
  timer.dueMs = Milliseconds() + timer.intervalMs;
  timer.repeat = repeat;
  timers_.push_back(std::move(timer));
  return timers_.back().id;
}

bool Player::RemoveTimer(int id) {
  const auto it = std::find_if(timers_.begin(), timers_.end(), [&](const Timer& t) { return t.id == id; });
  if (it == timers_.end()) return false;
  timers_.erase(it);
  return true;
}

void Player::RunTimers() {
  const double now = Milliseconds();
  // Each due timer fires once per frame at most; timers made while firing wait.
  std::vector<int> due;
  for (const Timer& t : timers_) {
    if (t.dueMs <= now) due.push_back(t.id);
  }
  for (const int id : due) {
    auto it = std::find_if(timers_.begin(), timers_.end(), [&](const Timer& t) { return t.id == id; });
    if (it == timers_.end()) continue;
    Timer timer = *it;
    if (timer.repeat) {
      it->dueMs = std::max(it->dueMs + it->intervalMs, now - it->intervalMs + 1);
      while (it->dueMs <= now - 10 * it->intervalMs) it->dueMs += it->intervalMs;
    } else {
      timers_.erase(it);
    }
    machine_->SetDefaultVersion(SwfVersion());
    if (timer.object) {
      CallMethodNow(timer.object, timer.method, timer.args);
    } else {
      machine_->CallTopLevel(timer.function, avm1::Value(), timer.args, nullptr, SwfVersion());
    }
    RunQueue();
  }
}

void Player::RunLater(avm1::Machine::Later callback, avm1::Object* keepAlive) {
  QueuedAction action;
  action.kind = QueuedAction::Kind::Callback;
  action.target = root_;
  action.callback = std::move(callback);
  action.keepAlive = keepAlive;
  later_.push_back(std::move(action));
}

void Player::RunLaterQueue() {
  std::vector<QueuedAction> pending;
  pending.swap(later_);
  for (QueuedAction& action : pending) {
    RunAction(action);
    RunQueue();
  }
}

std::string Player::ResolveUrl(const std::string& url) const {
  if (url.find("://") != std::string::npos) {
    if (url.rfind("file://", 0) == 0) return url.substr(7);
    return url;
  }
  if (!url.empty() && url[0] == '/') return url;
  const std::string& base = RootMovie()->url;
  if (base.find("://") != std::string::npos && base.rfind("file://", 0) != 0) {
    const std::size_t slash = base.rfind('/');
    return (slash == std::string::npos ? base : base.substr(0, slash + 1)) + url;
  }
  std::string local = base.rfind("file://", 0) == 0 ? base.substr(7) : base;
  const std::filesystem::path folder = std::filesystem::path(local).parent_path();
  return (folder / url).lexically_normal().string();
}

void Player::LoadData(const std::string& url, const std::string& method, const std::string& formData,
                      avm1::Machine::Loaded done, avm1::Object* keepAlive) {
  const std::string resolved = ResolveUrl(url);
  (void)method;
  (void)formData;
  RunLater(
      [this, resolved, done = std::move(done)](avm1::Machine& machine) {
        std::string body, error;
        bool ok = false;
        if (hooks_.readFile) {
          ok = hooks_.readFile(resolved, body, error);
        } else if (resolved.find("://") == std::string::npos) {
          std::string path = resolved;
          const std::size_t query = path.find('?');
          if (query != std::string::npos) path.resize(query);
          body = ReadLocalFile(path, ok);
          if (!ok) error = "cannot read " + path;
        } else {
          error = "the network is not available here";
        }
        done(machine, ok, ok ? body : error);
      },
      keepAlive);
}

void Player::LoadMovieInto(const std::string& url, int level, DisplayObject* clip, bool variablesOnly,
                           const std::string& method, const std::string& formData,
                           std::function<void(bool ok, std::size_t bytes)> done) {
  avm1::Object* keep = clip ? clip->ScriptObject() : nullptr;
  if (variablesOnly) {
    LoadData(url, method, formData,
             [this, level, clip](avm1::Machine& machine, bool ok, const std::string& body) {
               if (!ok) return;
               DisplayObject* target = clip ? clip : Level(level);
               if (!target || !target->ScriptObject()) return;
               std::size_t start = 0;
               while (start <= body.size()) {
                 std::size_t end = body.find('&', start);
                 if (end == std::string::npos) end = body.size();
                 const std::string pair = body.substr(start, end - start);
                 const std::size_t eq = pair.find('=');
                 if (!pair.empty()) {
                   const std::string name = avm1::UrlDecode(pair.substr(0, eq));
                   const std::string value = eq == std::string::npos ? "" : avm1::UrlDecode(pair.substr(eq + 1));
                   machine.Set(target->ScriptObject(), name, machine.Str(value));
                 }
                 start = end + 1;
               }
               if (target->IsContainer()) static_cast<MovieClip*>(target)->QueueEvent(0x100, "onData");
             },
             keep);
    return;
  }
  const std::string resolved = ResolveUrl(url);
  RunLater(
      [this, resolved, level, clip, done](avm1::Machine&) {
        std::string body, error;
        bool ok = false;
        if (hooks_.readFile) {
          ok = hooks_.readFile(resolved, body, error);
        } else {
          body = ReadLocalFile(resolved, ok);
        }
        std::shared_ptr<Movie> movie =
            ok ? LoadMovieFromBytes(std::span(reinterpret_cast<const std::uint8_t*>(body.data()), body.size()), &error)
               : nullptr;
        if (!movie || movie->actionScript3) {
          if (done) done(false, 0);
          return;
        }
        auto loaded = std::make_unique<LoadedMovie>();
        loaded->movie = movie;
        loaded->url = resolved;
        LoadedMovie* raw = loaded.get();
        movies_.push_back(std::move(loaded));
        MovieClip* target = nullptr;
        if (clip && clip->IsContainer()) {
          target = static_cast<MovieClip*>(clip);
          std::vector<DisplayObject*> children;
          for (const auto& [d, c] : target->Children()) children.push_back(c);
          for (DisplayObject* c : children) target->RemoveChild(c);
          target->SetTimeline(&raw->movie->root, raw);
          target->clipActions.clear();
        } else {
          if (MovieClip* old = Level(level)) old->MarkRemoved();
          target = runtime_->heap.Make<MovieClip>(*this, raw, &raw->movie->root);
          target->serial = NextSerial();
          levels_[level] = target;
          MakeScriptObject(*target, runtime_->movieClipProto);
          if (level == 0) root_ = target;
          AddToExecList(target);
          if (done) done(true, body.size());
          return;
        }
        AddToExecList(target);
        if (done) done(true, body.size());
      },
      keep);
}

void Player::UnloadLevel(int level) {
  MovieClip* clip = Level(level);
  if (!clip) return;
  clip->QueueEvent(ClipAction::kUnload, "onUnload");
  clip->MarkRemoved();
  if (level != 0) levels_.erase(level);
}

void Player::StartDrag(DisplayObject* object, bool lockCenter, const double* rect) {
  drag_ = object;
  dragLockCenter_ = lockCenter;
  dragConstrained_ = rect != nullptr;
  if (rect) std::copy(rect, rect + 4, dragRect_);
  if (object) {
    const QTransform toStage = object->Parent() ? ObjectToStage(*object->Parent()) : QTransform();
    const QPointF local = toStage.inverted().map(mouse_);
    const Matrix& m = object->GetMatrix();
    dragOffset_ = lockCenter ? QPointF() : QPointF(m.tx - local.x(), m.ty - local.y());
  }
  UpdateDrag();
}

void Player::UpdateDrag() {
  if (!drag_ || drag_->Removed()) {
    drag_ = nullptr;
    return;
  }
  const QTransform toStage = drag_->Parent() ? ObjectToStage(*drag_->Parent()) : QTransform();
  const QPointF local = toStage.inverted().map(mouse_);
  Matrix m = drag_->GetMatrix();
  double x = local.x() + dragOffset_.x();
  double y = local.y() + dragOffset_.y();
  if (dragConstrained_) {
    x = std::clamp(x, std::min(dragRect_[0], dragRect_[2]) * 20, std::max(dragRect_[0], dragRect_[2]) * 20);
    y = std::clamp(y, std::min(dragRect_[1], dragRect_[3]) * 20, std::max(dragRect_[1], dragRect_[3]) * 20);
  }
  m.tx = x;
  m.ty = y;
  drag_->SetMatrix(m);
  drag_->transformedByScript = true;
}

void Player::SetFocus(DisplayObject* object) { focus_ = object; }

void Player::TraceRoots(gc::Tracer& tracer) const {
  runtime_->Trace(tracer);
  machine_->TraceRoots(tracer);
  for (const auto& [level, clip] : levels_) tracer.Mark(clip);
  tracer.Mark(root_);
  for (const MovieClip* clip : execList_) tracer.Mark(clip);
  for (const TextField* field : boundFields_) tracer.Mark(field);
  auto markAction = [&](const QueuedAction& action) {
    tracer.Mark(action.target);
    tracer.Mark(action.constructor);
    tracer.Mark(action.keepAlive);
    for (const avm1::Value& v : action.args) avm1::TraceValue(tracer, v);
  };
  for (const auto& queue : queues_)
    for (const QueuedAction& action : queue) markAction(action);
  for (const QueuedAction& action : later_) markAction(action);
  for (const Timer& timer : timers_) {
    avm1::TraceValue(tracer, timer.function);
    tracer.Mark(timer.object);
    for (const avm1::Value& v : timer.args) avm1::TraceValue(tracer, v);
  }
  for (const DisplayObject* o : {hovered_, pressed_, drag_, dropTarget_, focus_}) tracer.Mark(o);
}

void Player::Collect() {
  if (machine_->Running()) return;
  runtime_->heap.Collect([this](gc::Tracer& tracer) { TraceRoots(tracer); });
}

}  // namespace vantrel::flash
