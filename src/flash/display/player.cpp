#include "flash/avm1/object.h"
#include "flash/display/player.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "flash/avm1/builtins/broadcast_setup.h"
#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/data_support.h"
#include "flash/avm1/builtins/shared_object.h"
#include "flash/avm1/display_binding.h"
#include "flash/display/video_object.h"
#include "flash/display/text_field.h"
#include "flash/script/string_utils.h"
#include "flash/script/utf16.h"
#include "flash/avm2/as3_movie.h"
#include "flash/loaded_image.h"
#include "flash/movie_loader.h"

namespace vantrel::flash {

namespace {

// The text of loaded variables as the player reads it: movies up to SWF 5 take the
// bytes in the Windows Western code page; later ones read UTF-8 the lenient way the
// player does (a lead byte takes the bytes after it whatever they are, a stray
// continuation byte stands for itself).
std::string DecodeLoadedText(std::string_view bytes, int version) {
  static constexpr char16_t kWestern[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                            0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                            0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                            0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
  std::string out;
  out.reserve(bytes.size());
  const std::size_t n = bytes.size();
  auto at = [&](std::size_t i) { return static_cast<std::int64_t>(static_cast<unsigned char>(bytes[i])); };
  auto put = [&](std::int64_t cp) {
    script::AppendCodePoint(out, cp < 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000) ? 0xFFFD : static_cast<std::uint32_t>(cp));
  };
  if (version <= 5) {
    for (std::size_t i = 0; i < n; ++i) put(at(i) >= 0x80 && at(i) < 0xA0 ? kWestern[at(i) - 0x80] : at(i));
    return out;
  }
  std::size_t i = n >= 3 && at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF ? 3 : 0;
  while (i < n) {
    const std::int64_t b = at(i);
    if (b < 0xC0) {
      put(b);
      i += 1;
    } else if (b < 0xE0 && i + 1 < n) {
      put((b << 6) + at(i + 1) - 0x3080);
      i += 2;
    } else if (b < 0xF0 && i + 2 < n) {
      put((b << 12) + (at(i + 1) << 6) + at(i + 2) - 0xE2080);
      i += 3;
    } else if (b < 0xF8 && i + 3 < n) {
      put((b << 18) + (at(i + 1) << 12) + (at(i + 2) << 6) + at(i + 3) - 0x3C82080);
      i += 4;
    } else if (b < 0xF8) {
      break;  // a sequence the text cuts short is dropped
    } else {
      put(0xFFFD);
      i += 1;
    }
  }
  return out;
}

bool SameNameNoCase(std::string_view a, std::string_view b) { return avm1::SameName(a, b, false); }

constexpr std::size_t kCollectAfterBytes = 16u << 20;

// Fuzzing builds give a tick's scripts a hundredth of the budget: an endless loop then
// costs milliseconds per input instead of a second, and is stopped the same way.
#ifdef VANTREL_FUZZ_LIMITS
constexpr long kTickInstructions = Player::kInstructionsPerTick / 100;
#else
constexpr long kTickInstructions = Player::kInstructionsPerTick;
#endif

bool IsWebAddress(const std::string& url) {
  const std::size_t scheme = url.find("://");
  return scheme != std::string::npos && url.compare(0, scheme, "file") != 0;
}

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
  clock_.onRunningLong = hooks_.scriptRunningLong;
  runtime_ = std::make_unique<avm1::Runtime>();
  avm1::InstallBuiltins(*runtime_);
  machine_ = std::make_unique<avm1::Interpreter>(*runtime_, this);
  machine_->SetDefaultVersion(movie->header.version);
  machine_->SetCallDepthLimit(movie->maxRecursionDepth);
  machine_->onTrace = [this](const std::string& line) { Trace(line); };
  auto loaded = std::make_unique<LoadedMovie>();
  loaded->movie = std::move(movie);
  loaded->url = std::move(url);
  movies_.push_back(std::move(loaded));
  root_ = runtime_->heap.Make<MovieClip>(*this, movies_.back().get(), &movies_.back()->movie->root);
  root_->serial = NextSerial();
  root_->depth = -16384;  // a level's depth as scripts see it: its number - 16384
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

Player::~Player() {
  // What the movie kept in shared objects is written when it goes, as when it unloads.
  if (machine_ && !machine_->Running()) {
    ResetBudgets();
    avm1::FlushSharedObjects(*machine_);
  }
  // Transfers still running never call back into a player that is gone.
  if (hooks_.cancelFetch) {
    for (const auto& [load, pending] : fetches_) {
      if (pending.hostId != 0) hooks_.cancelFetch(pending.hostId);
    }
  }
  fetches_.clear();
}

MovieClip* Player::Level(int number) const {
  const auto it = levels_.find(number);
  return it == levels_.end() ? nullptr : it->second;
}

void Player::ResetBudgets() {
  clock_.Start(ScriptSeconds());
  machine_->SetBudget(kTickInstructions);
}

double Player::ScriptSeconds() const {
#ifdef VANTREL_FUZZ_LIMITS
  return 0.05;  // an endless loop costs milliseconds per input
#else
  if (hooks_.scriptSeconds > 0) return hooks_.scriptSeconds;
  const int movie = root_ ? GetMovie().scriptTimeoutSeconds : 0;
  return movie > 0 ? movie : kDefaultScriptSeconds;
#endif
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
    case CharacterKind::Video: object = runtime_->heap.Make<VideoObject>(*this, movie); break;
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

void Player::PostPlace(DisplayObject* object) {
  if (avm2::As3Movie* as3 = As3Of(*runtime_)) as3->Placed(object);
}

void Player::PostInstantiateVideo(DisplayObject* video) {
  const auto proto = runtime_->prototypes.find("Video");
  MakeScriptObject(*video, proto == runtime_->prototypes.end() ? nullptr : proto->second);
}

void Player::PostInstantiateText(TextField* field) {
  avm1::Object* object = MakeScriptObject(*field, runtime_->textFieldProto);
  // A text field broadcasts onChanged and onScroller to its listeners, itself first.
  avm1::GiveBroadcasterMethods(*runtime_, object);
  if (avm1::Object* listeners = object->FindOwn("_listeners", true)->value.AsObject())
    if (avm1::ArrayData* list = listeners->Array()) list->elements.push_back(avm1::Value::Obj(object));
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
  // Found once and passed on: for a removed clip this looks up what now stands at its
  // path, which thousands of unload events of one removal would otherwise do three times
  // each. Only when the movie's version changes how names compare is it looked up again.
  const bool caseSensitive = machine_->CaseSensitive();
  DisplayObject* d = machine_->AsDisplay(object);
  if (d) version = d->Movie()->Version();
  machine_->SetDefaultVersion(version);
  if (machine_->CaseSensitive() != caseSensitive) d = machine_->AsDisplay(object);
  const avm1::Value fn = machine_->GetOf(object, d, name);
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
    running_.push_back(&action);
    RunAction(action);
    running_.pop_back();
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
  // Clips whose removal waited for their unload events go now.
  for (MovieClip* clip : std::vector<MovieClip*>(execList_)) {
    if (!clip->Removed() && clip->RemovalPending()) clip->Parent()->RemoveChild(clip, false);
  }
  execList_.erase(std::remove_if(execList_.begin(), execList_.end(), [](MovieClip* c) { return c->Removed(); }),
                  execList_.end());
  avm2::As3Movie* as3 = As3Of(*runtime_);
  if (as3) as3->BeforeFrame();
  const std::vector<MovieClip*> snapshot = execList_;
  std::vector<std::pair<MovieClip*, std::function<void()>>> inits;
  inits.swap(pendingInits_);
  for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it) {
    if (!(*it)->Removed()) (*it)->RunFrame();
    // A loaded movie's loader hears of it once its first frame's actions have run.
    for (auto& [clip, init] : inits) {
      if (clip != *it || !init) continue;
      RunLater([init = std::move(init)](avm1::Machine&) { init(); }, clip->ScriptObject());
      init = nullptr;
    }
  }
  for (auto& [clip, init] : inits) {
    if (init && !clip->Removed()) pendingInits_.emplace_back(clip, std::move(init));
  }
  frameQueue_ = true;
  RunQueue();
  frameQueue_ = false;
  if (as3) as3->AfterFrame();
  RunTimers();
  RunLaterQueue();
  frameQueue_ = true;
  RunQueue();
  frameQueue_ = false;
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
  inLaterStage_ = true;
  for (QueuedAction& action : pending) {
    RunAction(action);
    RunQueue();
  }
  // A local file asked for by a load event arrives in the same frame, and so on down a
  // chain of such loads (bounded; the rest waits for the next frame).
  for (int round = 0; round < 64 && !laterNow_.empty(); ++round) {
    pending.clear();
    pending.swap(laterNow_);
    for (QueuedAction& action : pending) {
      RunAction(action);
      RunQueue();
    }
  }
  inLaterStage_ = false;
  for (QueuedAction& action : laterNow_) later_.push_back(std::move(action));
  laterNow_.clear();
}

std::string Player::ResolveUrl(const std::string& url) const {
  if (url.find("://") != std::string::npos) {
    if (url.rfind("file://", 0) == 0) return url.substr(7);
    return url;
  }
  const std::string& base = RootMovie()->url;
  if (!url.empty() && url[0] == '/') {
    // On the web an absolute path stays on the movie's own host.
    if (!IsWebAddress(base)) return url;
    const std::size_t host = base.find("://") + 3;
    const std::size_t slash = base.find('/', host);
    return (slash == std::string::npos ? base : base.substr(0, slash)) + url;
  }
  if (base.find("://") != std::string::npos && base.rfind("file://", 0) != 0) {
    const std::size_t slash = base.rfind('/');
    return (slash == std::string::npos ? base : base.substr(0, slash + 1)) + url;
  }
  std::string local = base.rfind("file://", 0) == 0 ? base.substr(7) : base;
  const std::filesystem::path folder = std::filesystem::path(local).parent_path();
  return (folder / url).lexically_normal().string();
}

std::uint64_t Player::Fetch(const std::string& url, const std::string& method, const std::string& formData,
                            DisplayObject* owner, avm1::Object* keepAlive, FetchProgress progress, FetchDone done,
                            FetchData data) {
  const std::string resolved = ResolveUrl(url);
  if (!hooks_.fetch && (!IsWebAddress(resolved) || hooks_.readFile)) {
    // Without the host's network, local files are read at the loader stage, in the
    // order they were asked for.
    ++localLoads_;
    if (data) {
      // One piece: the whole file.
      done = [data = std::move(data), done = std::move(done)](bool ok, const std::string& body) {
        if (ok) data(body);
        done(ok, ok ? std::string() : body);
      };
    }
    RunLater(
        [this, resolved, done = std::move(done)](avm1::Machine&) {
          --localLoads_;
          std::string body, error;
          bool ok = false;
          if (hooks_.readFile) {
            ok = hooks_.readFile(resolved, body, error);
          } else if (!IsWebAddress(resolved)) {
            std::string path = resolved;
            const std::size_t query = path.find('?');
            if (query != std::string::npos) path.resize(query);
            body = ReadLocalFile(path, ok);
            if (!ok) error = "cannot read " + path;
          }
          done(ok, ok ? body : error);
        },
        keepAlive);
    if (inLaterStage_) {
      laterNow_.push_back(std::move(later_.back()));
      later_.pop_back();
    }
    return 0;
  }
  const std::uint64_t load = ++nextLoad_;
  PendingFetch pending;
  pending.owner = owner;
  pending.keepAlive = keepAlive;
  pending.progress = std::move(progress);
  pending.done = std::move(done);
  pending.data = std::move(data);
  const bool streamed = static_cast<bool>(pending.data);
  fetches_[load] = std::move(pending);
  if (!hooks_.fetch) {
    FetchDone failed = std::move(fetches_[load].done);
    fetches_.erase(load);
    RunLater([failed](avm1::Machine&) { failed(false, "the network is not available here"); }, keepAlive);
    return 0;
  }
  // The host resolves the address against the movie's own (and applies what a movie
  // from there may reach).
  FetchRequest request;
  request.url = url;
  request.base = RootMovie()->url;
  request.useNetwork = RootMovie()->movie && RootMovie()->movie->useNetwork;
  request.method = method == "POST" ? "POST" : "GET";
  request.formData = formData;
  FetchCallbacks callbacks;
  // The host answers from its event loop, between frames: what it says waits for the
  // loader stage of the next frame.
  callbacks.progress = [this, load](std::int64_t loaded, std::int64_t total) {
    const auto it = fetches_.find(load);
    if (it == fetches_.end() || !it->second.progress) return;
    RunLater([this, load, loaded, total](avm1::Machine&) {
      const auto found = fetches_.find(load);
      if (found != fetches_.end() && found->second.progress) found->second.progress(loaded, total);
    }, it->second.keepAlive);
  };
  if (streamed) {
    callbacks.data = [this, load](std::string_view chunk) {
      const auto it = fetches_.find(load);
      if (it == fetches_.end()) return;
      RunLater([this, load, piece = std::string(chunk)](avm1::Machine&) {
        const auto found = fetches_.find(load);
        if (found != fetches_.end() && found->second.data) found->second.data(piece);
      }, it->second.keepAlive);
    };
  }
  callbacks.done = [this, load](bool ok, const std::string& body) {
    const auto it = fetches_.find(load);
    if (it == fetches_.end()) return;
    it->second.hostId = 0;
    RunLater([this, load, ok, body](avm1::Machine&) {
      const auto found = fetches_.find(load);
      if (found == fetches_.end()) return;
      FetchDone finished = std::move(found->second.done);
      fetches_.erase(found);
      finished(ok, body);
    }, it->second.keepAlive);
  };
  const std::uint64_t hostId = hooks_.fetch(request, std::move(callbacks));
  const auto it = fetches_.find(load);
  if (it == fetches_.end()) return 0;
  if (hostId == 0) {
    FetchDone failed = std::move(it->second.done);
    fetches_.erase(it);
    RunLater([failed](avm1::Machine&) { failed(false, "the transfer could not start"); }, keepAlive);
    return 0;
  }
  it->second.hostId = hostId;
  return load;
}

void Player::CancelLoad(std::uint64_t load) {
  const auto it = fetches_.find(load);
  if (it == fetches_.end()) return;
  if (it->second.hostId != 0 && hooks_.cancelFetch) hooks_.cancelFetch(it->second.hostId);
  fetches_.erase(it);
}

void Player::CancelLoads(DisplayObject* owner) {
  if (!owner) return;
  movieLoads_.erase(owner);
  for (auto it = fetches_.begin(); it != fetches_.end();) {
    if (it->second.owner != owner) {
      ++it;
      continue;
    }
    if (it->second.hostId != 0 && hooks_.cancelFetch) hooks_.cancelFetch(it->second.hostId);
    it = fetches_.erase(it);
  }
}

void Player::LoadData(const std::string& url, const std::string& method, const std::string& formData,
                      avm1::Machine::Loaded done, avm1::Object* keepAlive) {
  Fetch(url, method, formData, nullptr, keepAlive, {},
        [this, done = std::move(done)](bool ok, const std::string& body) { done(*machine_, ok, body); });
}

void Player::LoadMovieInto(const std::string& url, int level, DisplayObject* clip, bool variablesOnly,
                           const std::string& method, const std::string& formData, MovieLoadEvents events) {
  avm1::Object* keep = clip ? clip->ScriptObject() : nullptr;
  // GET and POST send the variables of the timeline that asked.
  std::string sent = formData;
  if (sent.empty() && !method.empty()) {
    DisplayObject* from = clip ? clip : Level(level);
    if (from && from->ScriptObject()) sent = avm1::data::EncodeVariables(*machine_, from->ScriptObject());
  }
  if (variablesOnly) {
    Fetch(url, method, sent, clip, keep, {},
          [this, level, clip](bool ok, const std::string& body) {
            if (!ok) return;
            DisplayObject* target = clip ? clip : Level(level);
            if (!target || target->Removed() || !target->ScriptObject()) return;
            std::size_t start = 0;
            while (start <= body.size()) {
              std::size_t end = body.find('&', start);
              if (end == std::string::npos) end = body.size();
              const std::string pair = body.substr(start, end - start);
              const std::size_t eq = pair.find('=');
              if (!pair.empty()) {
                const int version = target->Movie()->Version();
                const std::string name = DecodeLoadedText(script::UrlDecode(pair.substr(0, eq)), version);
                const std::string value =
                    eq == std::string::npos ? "" : DecodeLoadedText(script::UrlDecode(pair.substr(eq + 1)), version);
                machine_->Set(target->ScriptObject(), name, machine_->Str(value));
              }
              start = end + 1;
            }
            if (target->IsContainer()) static_cast<MovieClip*>(target)->QueueEvent(0x100, "onData");
          });
    return;
  }
  // A newer load into the same place replaces one still on its way.
  const std::uint64_t token = ++nextLoad_;
  if (clip) {
    CancelLoads(clip);
    movieLoads_[clip] = token;
  } else {
    levelLoads_[level] = token;
  }
  const std::string resolved = ResolveUrl(url);
  FetchProgress progress = std::move(events.progress);
  Fetch(url, method, sent, clip, keep, std::move(progress),
        [this, resolved, level, clip, events = std::move(events), token](bool ok, std::string body) {
          bool current = false;
          if (clip) {
            const auto it = movieLoads_.find(clip);
            current = it != movieLoads_.end() && it->second == token;
            if (current) movieLoads_.erase(it);
          } else {
            const auto it = levelLoads_.find(level);
            current = it != levelLoads_.end() && it->second == token;
            if (current) levelLoads_.erase(it);
          }
          if (ok && clip && !clip->Removed() && clip->IsContainer()) {
            // What the clip held as a movie goes when the new one arrives.
            if (current) ClearVariables(clip);
            if (events.start) events.start();
          }
          if (!current) return;
          if (!ok || (clip && (clip->Removed() || !clip->IsContainer()))) {
            if (events.done) events.done(false, 0);
            return;
          }
          std::string error;
          const std::span bytes(reinterpret_cast<const std::uint8_t*>(body.data()), body.size());
          std::shared_ptr<Movie> movie = LoadMovieFromBytes(bytes, &error);
          if (movie && movie->actionScript3) movie = nullptr;
          // A JPEG, PNG or GIF file shows as a movie holding just the picture.
          if (!movie && IsLoadableImage(bytes)) movie = MovieFromImage(bytes, &error);
          if (!movie && !clip) {
            // Data that is no movie leaves a level as it was.
            if (events.done) events.done(false, 0);
            return;
          }
          const LoadedMovie* raw = nullptr;
          if (movie) {
            auto loaded = std::make_unique<LoadedMovie>();
            loaded->movie = movie;
            loaded->url = resolved;
            raw = loaded.get();
            movies_.push_back(std::move(loaded));
          }
          MovieClip* target = nullptr;
          if (clip) {
            target = static_cast<MovieClip*>(clip);
            ReplaceMovie(target, raw);
          } else {
            if (MovieClip* old = Level(level)) old->MarkRemoved();
            target = runtime_->heap.Make<MovieClip>(*this, raw, &raw->movie->root);
            target->serial = NextSerial();
            target->depth = level - 16384;
            levels_[level] = target;
            MakeScriptObject(*target, runtime_->movieClipProto);
            if (level == 0) root_ = target;
            AddToExecList(target);
          }
          // Parameters after "?" in the address become the loaded movie's variables.
          if (const std::size_t query = resolved.find('?'); query != std::string::npos && target->ScriptObject()) {
            const std::string parameters = resolved.substr(query + 1);
            std::size_t start = 0;
            while (start < parameters.size()) {
              std::size_t end = parameters.find('&', start);
              if (end == std::string::npos) end = parameters.size();
              const std::string pair = parameters.substr(start, end - start);
              const std::size_t eq = pair.find('=');
              const std::string name = script::UrlDecode(pair.substr(0, eq));
              if (!name.empty())
                machine_->Set(target->ScriptObject(), name,
                              machine_->Str(eq == std::string::npos ? "" : script::UrlDecode(pair.substr(eq + 1))));
              start = end + 1;
            }
          }
          if (events.init) pendingInits_.emplace_back(target, events.init);
          if (events.done) events.done(true, raw ? body.size() : 0);
        });
}

void Player::ReplaceMovie(MovieClip* target, const LoadedMovie* movie) {
  std::vector<DisplayObject*> children;
  for (const auto& [d, c] : target->Children()) children.push_back(c);
  for (DisplayObject* c : children) target->RemoveChild(c);
  // The clip keeps its place, name and transform.
  target->SetTimeline(movie ? &movie->movie->root : nullptr, movie ? movie : target->Movie());
  // onClipEvent handlers belong to the placement and stay for the new movie.
  target->spriteId = 0;
  target->drawing = nullptr;
  // It runs as the newest clip from the next frame on.
  execList_.erase(std::remove(execList_.begin(), execList_.end(), target), execList_.end());
  AddToExecList(target);
}

void Player::ClearVariables(DisplayObject* target) {
  avm1::Object* object = target->ScriptObject();
  if (!object) return;
  std::vector<std::string> names;
  for (const avm1::Property& p : object->Properties()) {
    // A _lockroot set on the clip before the load holds for the movie it receives.
    if (!avm1::SameName(p.name, "_lockroot", false)) names.push_back(p.name);
  }
  for (const std::string& name : names) object->DeleteOwn(name, true);
  object->proto = runtime_->movieClipProto;
}

MovieClip* Player::EnsureLevel(int level) {
  if (MovieClip* existing = Level(level)) return existing;
  MovieClip* clip = CreateEmptyClip(root_->Movie());
  clip->depth = level - 16384;
  levels_[level] = clip;
  MakeScriptObject(*clip, runtime_->movieClipProto);
  AddToExecList(clip);
  return clip;
}

void Player::UnloadLevel(int level) {
  levelLoads_.erase(level);
  MovieClip* clip = Level(level);
  if (!clip) return;
  CancelLoads(clip);
  clip->QueueEvent(ClipAction::kUnload, "onUnload");
  // The level stays reachable for the rest of the scripts that run now and goes at the
  // loader stage of the frame.
  RunLater(
      [this, clip, level](avm1::Machine&) {
        if (clip->Removed()) return;
        clip->MarkRemoved();
        if (level != 0 && Level(level) == clip) levels_.erase(level);
      },
      clip->ScriptObject());
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
  for (const QueuedAction* action : running_) markAction(*action);
  for (const QueuedAction& action : later_) markAction(action);
  for (const QueuedAction& action : laterNow_) markAction(action);
  for (const auto& [load, pending] : fetches_) tracer.Mark(pending.keepAlive);
  for (const auto& [clip, init] : pendingInits_) tracer.Mark(clip);
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

bool Player::CollectDuringScript() {
  // Only one queued block or method runs (no native code between it and the frame
  // loop), so the interpreter's frames, the queues and running_ are all that is held.
  if (!frameQueue_ || running_.size() != 1) return false;
  const QueuedAction::Kind kind = running_.front()->kind;
  if (kind != QueuedAction::Kind::Block && kind != QueuedAction::Kind::Method) return false;
  runtime_->heap.Collect([this](gc::Tracer& tracer) { TraceRoots(tracer); });
  return true;
}

}  // namespace vantrel::flash
