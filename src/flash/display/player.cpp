#include "flash/display/player.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "flash/character/loaded_image.h"
#include "flash/character/shape.h"
#include "flash/character/text.h"
#include "flash/display/text_field.h"
#include "flash/display/video_object.h"
#include "flash/script/string_utils.h"
#include "flash/script/utf16.h"
#include "flash/character/definition.h"
#include "flash/swf/movie_loader.h"

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

bool SameNameNoCase(std::string_view a, std::string_view b) { return script::EqualIgnoringCase(a, b); }

constexpr std::size_t kCollectAfterBytes = 16u << 20;

bool IsWebAddress(const std::string& url) {
  const std::size_t scheme = url.find("://");
  return scheme != std::string::npos && url.compare(0, scheme, "file") != 0;
}

std::string ReadLocalFile(const std::string& path, bool& ok) {
  std::ifstream in(path, std::ios::binary);
  ok = static_cast<bool>(in);
  if (!ok) return {};
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// The clip whose own content is topmost under point (stage twips), searching clip's
// children from the highest depth down: a shape, text or bitmap hit answers for the clip
// that holds it, a button for the clip it is in. skip (the dragged clip, with what it
// holds) and masks are passed over.
MovieClip* DropTargetIn(MovieClip& clip, const QTransform& toStage, QPointF point, const DisplayObject* skip,
                        int nesting) {
  if (nesting > MovieClip::kMaxNesting) return nullptr;
  const auto& list = clip.Children();
  for (auto it = list.rbegin(); it != list.rend(); ++it) {
    DisplayObject* child = it->second;
    if (child == skip || !child->visible || child->clipDepth != 0) continue;
    const Matrix& m = child->GetMatrix();
    const QTransform childToStage = QTransform(m.a, m.b, m.c, m.d, m.tx, m.ty) * toStage;
    if (child->IsContainer()) {
      auto& inner = static_cast<MovieClip&>(*child);
      MovieClip* found = DropTargetIn(inner, childToStage, point, skip, nesting + 1);
      if (!found && inner.drawing) {
        bool invertible = false;
        const QPointF local = childToStage.inverted(&invertible).map(point);
        if (invertible && inner.drawing->HitTest(local)) found = &inner;
      }
      if (found) return inner.button ? &clip : found;
      continue;
    }
    const Drawable* drawn = child->Drawn();
    if (!drawn) continue;
    bool invertible = false;
    const QPointF local = childToStage.inverted(&invertible).map(point);
    if (invertible && drawn->HitTest(local, child->ratio)) return &clip;
  }
  return nullptr;
}

}  // namespace

std::shared_ptr<Character> LoadedMovie::Find(std::uint16_t id) const {
  if (const auto completed = completedTexts.find(id); completed != completedTexts.end()) return completed->second;
  if (auto c = movie->dictionary.Find(id)) return c;
  const auto it = imported.find(id);
  return it == imported.end() ? nullptr : it->second.character;
}

const LoadedMovie::ImportedCharacter* LoadedMovie::Imported(std::uint16_t id) const {
  if (movie->dictionary.Find(id)) return nullptr;
  const auto it = imported.find(id);
  return it == imported.end() ? nullptr : &it->second;
}

std::uint16_t LoadedMovie::Exported(std::string_view name) const {
  for (const auto& [exported, id] : movie->exports) {
    if (SameNameNoCase(exported, name)) return id;
  }
  // attachMovie and registerClass know an imported symbol by the name it was imported under.
  for (const Movie::ImportedAsset& asset : movie->imports) {
    if (SameNameNoCase(asset.name, name) && imported.count(asset.id)) return asset.id;
  }
  return 0;
}

double MovieRuntime::FrameMilliseconds() const { return 1000.0 / movies_.front()->movie->FrameRate(); }

MovieRuntime::MovieRuntime(std::shared_ptr<const Movie> movie, PlayerHooks hooks, const ScriptHostFactory& makeHost,
                           std::string url)
    : hooks_(std::move(hooks)) {
  clock_.onRunningLong = hooks_.scriptRunningLong;
  auto loaded = std::make_unique<LoadedMovie>();
  loaded->movie = std::move(movie);
  loaded->url = std::move(url);
  movies_.push_back(std::move(loaded));
  root_ = heap_.Make<MovieClip>(*this, movies_.back().get(), &movies_.back()->movie->root);
  root_->serial = NextSerial();
  root_->depth = -16384;  // a level's depth as scripts see it: its number - 16384
  levels_[0] = root_;
  host_ = makeHost(*this, GetMovie().actionScript3);
  host_->LevelMade(*root_);
  AddToExecList(root_);
  ResetBudgets();
  StartImports(movies_.back().get(), 0);
}

MovieRuntime::~MovieRuntime() {
  // What the movie kept in shared objects is written when it goes, as when it unloads.
  if (host_) host_->Unloading();
  // Transfers still running never call back into a player that is gone.
  if (hooks_.cancelFetch) {
    for (const auto& [load, pending] : fetches_) {
      if (pending.hostId != 0) hooks_.cancelFetch(pending.hostId);
    }
  }
  fetches_.clear();
}

MovieClip* MovieRuntime::Level(int number) const {
  const auto it = levels_.find(number);
  return it == levels_.end() ? nullptr : it->second;
}

void MovieRuntime::ResetBudgets() {
  clock_.Start(ScriptSeconds());
  host_->StartRun();
}

double MovieRuntime::ScriptSeconds() const {
#ifdef VANTREL_FUZZ_LIMITS
  return 0.05;  // an endless loop costs milliseconds per input
#else
  if (hooks_.scriptSeconds > 0) return hooks_.scriptSeconds;
  const int movie = root_ ? GetMovie().scriptTimeoutSeconds : 0;
  return movie > 0 ? movie : kDefaultScriptSeconds;
#endif
}

std::uint32_t MovieRuntime::Random() {
  random_ ^= random_ << 13;
  random_ ^= random_ >> 17;
  random_ ^= random_ << 5;
  return random_;
}

DisplayObject* MovieRuntime::Create(const LoadedMovie* placing, std::shared_ptr<Character> character, std::uint16_t id) {
  if (!character) return nullptr;
  // An imported character belongs to its library: a sprite plays the library's
  // timeline with the library's dictionary, and registerClass knows it by the
  // library's symbol.
  const LoadedMovie* movie = placing;
  std::uint16_t ownId = id;
  if (const LoadedMovie::ImportedCharacter* imported = placing ? placing->Imported(id) : nullptr;
      imported && imported->character == character && imported->from) {
    movie = imported->from;
    ownId = imported->id;
  }
  DisplayObject* object = nullptr;
  switch (character->Kind()) {
    case CharacterKind::Sprite: {
      const auto* sprite = static_cast<const SpriteCharacter*>(character.get());
      auto* clip = heap_.Make<MovieClip>(*this, movie, &sprite->timeline);
      clip->spriteId = ownId;
      if (sprite->scalingGrid) clip->scale9Grid = ToQRectF(*sprite->scalingGrid);
      object = clip;
      break;
    }
    case CharacterKind::Button: {
      auto* clip = heap_.Make<MovieClip>(*this, movie, nullptr, DisplayKind::Button);
      clip->button = static_cast<const ButtonCharacter*>(character.get());
      if (clip->button->scalingGrid) clip->scale9Grid = ToQRectF(*clip->button->scalingGrid);
      object = clip;
      break;
    }
    case CharacterKind::EditText:
      object = heap_.Make<TextField>(*this, movie, static_cast<const EditText&>(*character));
      break;
    case CharacterKind::Shape: object = heap_.Make<DisplayObject>(DisplayKind::Shape, *this, movie); break;
    case CharacterKind::MorphShape: object = heap_.Make<DisplayObject>(DisplayKind::Morph, *this, movie); break;
    case CharacterKind::Text: object = heap_.Make<DisplayObject>(DisplayKind::StaticText, *this, movie); break;
    case CharacterKind::Bitmap: object = heap_.Make<DisplayObject>(DisplayKind::Bitmap, *this, movie); break;
    case CharacterKind::Video: object = heap_.Make<VideoObject>(*this, movie); break;
    default: return nullptr;
  }
  if (object->Kind() != DisplayKind::EditText) object->character = std::move(character);
  object->characterId = id;
  object->serial = NextSerial();
  return object;
}

MovieClip* MovieRuntime::CreateEmptyClip(const LoadedMovie* movie, DisplayKind kind) {
  auto* clip = heap_.Make<MovieClip>(*this, movie, nullptr, kind);
  clip->serial = NextSerial();
  return clip;
}

const LoadedMovie* MovieRuntime::AdoptMovie(std::shared_ptr<const Movie> movie, const std::string& url) {
  auto loaded = std::make_unique<LoadedMovie>();
  loaded->movie = std::move(movie);
  loaded->url = url;
  LoadedMovie* raw = loaded.get();
  movies_.push_back(std::move(loaded));
  StartImports(raw, 0);
  return raw;
}

MovieClip* MovieRuntime::CreateMovieRoot(const LoadedMovie* movie) {
  auto* clip = heap_.Make<MovieClip>(*this, movie, &movie->movie->root);
  clip->serial = NextSerial();
  return clip;
}

namespace {

bool PlaysActionScript3(const MovieClip& clip) { return clip.Movie() && clip.Movie()->movie && clip.Movie()->movie->actionScript3; }

// Text fields whose boxes wait to fit their text fit them before the frame is drawn.
// Before the frame is shown: text fields fit their boxes and morphs take the bounds of
// their ratio.
void SettleBounds(DisplayObject& object, int nesting) {
  if (object.Kind() == DisplayKind::EditText) static_cast<TextField&>(object).SettleBounds();
  object.boundsRatio = object.ratio;
  if (!object.IsContainer() || nesting > MovieClip::kMaxNesting) return;
  for (const auto& [depth, child] : static_cast<MovieClip&>(object).Children())
    if (child) SettleBounds(*child, nesting + 1);
}

}  // namespace

void MovieRuntime::Tick() {
  ResetBudgets();
  creations_ = 0;
  ++ticks_;
  clockMs_ += FrameMilliseconds();
  // Clips whose removal waited for their unload events go now.
  for (MovieClip* clip : std::vector<MovieClip*>(execList_)) {
    if (!clip->Removed() && clip->RemovalPending()) clip->Parent()->RemoveChild(clip, false);
  }
  execList_.erase(std::remove_if(execList_.begin(), execList_.end(), [](MovieClip* c) { return c->Removed(); }),
                  execList_.end());
  // The first movie shows its first frame with the libraries it imports: those that
  // can be read at once (local files) are read before that frame rather than after it.
  if (ticks_ == 1 && root_->CurrentFrame() < 0 && root_->FramesLoaded() == 0) RunLaterQueue();
  host_->FrameStarted();
  const std::vector<MovieClip*> snapshot = execList_;
  std::vector<std::pair<MovieClip*, std::function<void()>>> inits;
  inits.swap(pendingInits_);
  for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it) {
    if (!(*it)->Removed()) (*it)->RunFrame();
    // A loaded movie's loader hears of it once its first frame's actions have run.
    for (auto& [clip, init] : inits) {
      if (clip != *it || !init) continue;
      if (clip->CurrentFrame() < 0 && clip->FramesLoaded() == 0) continue;  // still waits for its libraries
      RunLater(std::move(init), clip->ScriptCell());
      init = nullptr;
    }
  }
  for (auto& [clip, init] : inits) {
    if (init && !clip->Removed()) pendingInits_.emplace_back(clip, std::move(init));
  }
  host_->RunQueue(true);
  host_->FrameActionsDone();
  host_->RunTimers();
  RunLaterQueue();
  host_->RunQueue(true);
  RecheckPointer();
  host_->SyncTextFields();
  for (const auto& [level, clip] : levels_) SettleBounds(*clip, 0);
  if (heap_.AllocatedSinceCollection() > kCollectAfterBytes) Collect();
}


void MovieRuntime::AdvanceFrames() {
  const std::vector<MovieClip*> snapshot = execList_;
  for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it) {
    MovieClip* clip = *it;
    if (!clip->Removed() && PlaysActionScript3(*clip)) clip->AdvanceFrame();
  }
}

void MovieRuntime::GotoFrame(int frame, bool play) {
  ResetBudgets();
  root_->GotoFrame(frame, play);
  RunQueue();
  host_->SyncTextFields();
}

void MovieRuntime::RunLater(std::function<void()> callback, gc::Cell* keepAlive) {
  later_.push_back(LaterAction{std::move(callback), keepAlive});
}

void MovieRuntime::RunLaterQueue() {
  std::vector<LaterAction> pending;
  pending.swap(later_);
  inLaterStage_ = true;
  for (LaterAction& action : pending) {
    host_->RunCallback(action.callback);
    RunQueue();
  }
  // A local file asked for by a load event arrives in the same frame, and so on down a
  // chain of such loads (bounded; the rest waits for the next frame).
  for (int round = 0; round < 64 && !laterNow_.empty(); ++round) {
    pending.clear();
    pending.swap(laterNow_);
    for (LaterAction& action : pending) {
      host_->RunCallback(action.callback);
      RunQueue();
    }
  }
  inLaterStage_ = false;
  for (LaterAction& action : laterNow_) later_.push_back(std::move(action));
  laterNow_.clear();
}

std::string MovieRuntime::ResolveUrl(const std::string& url) const { return ResolveUrl(url, RootMovie()->url); }

std::string MovieRuntime::ResolveUrl(const std::string& url, const std::string& base) {
  if (url.find("://") != std::string::npos) {
    if (url.rfind("file://", 0) == 0) return url.substr(7);
    return url;
  }
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

std::uint64_t MovieRuntime::Fetch(const std::string& url, const std::string& method, const std::string& formData,
                            DisplayObject* owner, gc::Cell* keepAlive, FetchProgress progress, FetchDone done,
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
        [this, resolved, done = std::move(done)] {
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
    RunLater([failed] { failed(false, "the network is not available here"); }, keepAlive);
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
    RunLater([this, load, loaded, total] {
      const auto found = fetches_.find(load);
      if (found != fetches_.end() && found->second.progress) found->second.progress(loaded, total);
    }, it->second.keepAlive);
  };
  if (streamed) {
    callbacks.data = [this, load](std::string_view chunk) {
      const auto it = fetches_.find(load);
      if (it == fetches_.end()) return;
      RunLater([this, load, piece = std::string(chunk)] {
        const auto found = fetches_.find(load);
        if (found != fetches_.end() && found->second.data) found->second.data(piece);
      }, it->second.keepAlive);
    };
  }
  callbacks.done = [this, load](bool ok, const std::string& body) {
    const auto it = fetches_.find(load);
    if (it == fetches_.end()) return;
    it->second.hostId = 0;
    RunLater([this, load, ok, body] {
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
    RunLater([failed] { failed(false, "the transfer could not start"); }, keepAlive);
    return 0;
  }
  it->second.hostId = hostId;
  return load;
}

void MovieRuntime::CancelLoad(std::uint64_t load) {
  const auto it = fetches_.find(load);
  if (it == fetches_.end()) return;
  if (it->second.hostId != 0 && hooks_.cancelFetch) hooks_.cancelFetch(it->second.hostId);
  fetches_.erase(it);
}

void MovieRuntime::CancelLoads(DisplayObject* owner) {
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

void MovieRuntime::LoadMovieInto(const std::string& url, int level, DisplayObject* clip, bool variablesOnly,
                           const std::string& method, const std::string& formData, MovieLoadEvents events) {
  gc::Cell* keep = clip ? clip->ScriptCell() : nullptr;
  // GET and POST send the variables of the timeline that asked.
  std::string sent = formData;
  if (sent.empty() && !method.empty()) {
    DisplayObject* from = clip ? clip : Level(level);
    if (from && from->ScriptCell()) sent = host_->EncodeVariables(*from);
  }
  if (variablesOnly) {
    Fetch(url, method, sent, clip, keep, {},
          [this, level, clip](bool ok, const std::string& body) {
            if (!ok) return;
            DisplayObject* target = clip ? clip : Level(level);
            if (!target || target->Removed() || !target->ScriptCell()) return;
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
                host_->SetTextVariable(*target, name, value);
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
          const LoadedMovie* raw = movie ? AdoptMovie(movie, resolved) : nullptr;
          MovieClip* target = nullptr;
          if (clip) {
            target = static_cast<MovieClip*>(clip);
            ReplaceMovie(target, raw);
          } else {
            if (MovieClip* old = Level(level)) old->MarkRemoved();
            target = heap_.Make<MovieClip>(*this, raw, &raw->movie->root);
            target->serial = NextSerial();
            target->depth = level - 16384;
            levels_[level] = target;
            host_->LevelMade(*target);
            if (level == 0) root_ = target;
            AddToExecList(target);
          }
          // Parameters after "?" in the address become the loaded movie's variables.
          if (const std::size_t query = resolved.find('?'); query != std::string::npos && target->ScriptCell()) {
            const std::string parameters = resolved.substr(query + 1);
            std::size_t start = 0;
            while (start < parameters.size()) {
              std::size_t end = parameters.find('&', start);
              if (end == std::string::npos) end = parameters.size();
              const std::string pair = parameters.substr(start, end - start);
              const std::size_t eq = pair.find('=');
              const std::string name = script::UrlDecode(pair.substr(0, eq));
              if (!name.empty())
                host_->SetTextVariable(*target, name, eq == std::string::npos ? "" : script::UrlDecode(pair.substr(eq + 1)));
              start = end + 1;
            }
          }
          if (events.init) pendingInits_.emplace_back(target, events.init);
          if (events.done) events.done(true, raw ? body.size() : 0);
        });
}

void MovieRuntime::ReplaceMovie(MovieClip* target, const LoadedMovie* movie) {
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

void MovieRuntime::ClearVariables(DisplayObject* target) { host_->ClearVariables(*target); }

void MovieRuntime::StartImports(LoadedMovie* movie, int nesting) {
  const std::vector<Movie::ImportedAsset>& imports = movie->movie->imports;
  if (imports.empty()) return;
  std::vector<std::string> urls;  // each library once, in the order the tags name them
  for (const Movie::ImportedAsset& asset : imports) {
    if (std::find(urls.begin(), urls.end(), asset.url) == urls.end()) urls.push_back(asset.url);
  }
  // Libraries that import each other in a ring, or a tree of them that fans out, end
  // here without further libraries.
  std::vector<std::string> loads;
  for (const std::string& url : urls) {
    if (nesting >= kMaxLibraryNesting || libraryLoads_ >= kMaxLibraryLoads)
      movie->libraries[url] = nullptr;
    else
      loads.push_back(url);
    if (nesting < kMaxLibraryNesting) ++libraryLoads_;
  }
  if (loads.empty()) return;
  movie->pendingLibraries += static_cast<int>(loads.size());
  UpdateFramesReady(movie);
  for (const std::string& url : loads) {
    const std::string resolved = ResolveUrl(url, movie->url);
    Fetch(resolved, "", "", nullptr, nullptr, {}, [this, movie, url, resolved, nesting](bool ok, const std::string& body) {
      std::shared_ptr<Movie> library;
      if (ok) {
        std::string error;
        library = LoadMovieFromBytes(std::span(reinterpret_cast<const std::uint8_t*>(body.data()), body.size()), &error);
        if (library && library->actionScript3) library = nullptr;
      }
      if (!library) {
        // The movie goes on with what it has.
        LibraryArrived(movie, url, nullptr);
        return;
      }
      auto loaded = std::make_unique<LoadedMovie>();
      loaded->movie = std::move(library);
      loaded->url = resolved;
      LoadedMovie* raw = loaded.get();
      movies_.push_back(std::move(loaded));
      StartImports(raw, nesting + 1);
      if (raw->pendingLibraries == 0)
        LibraryArrived(movie, url, raw);
      else
        libraryWaiters_[raw].emplace_back(movie, url);
    });
  }
}

void MovieRuntime::UpdateFramesReady(LoadedMovie* movie) {
  int ready = 65536;
  for (const Movie::ImportedAsset& asset : movie->movie->imports) {
    if (!movie->libraries.count(asset.url)) ready = std::min(ready, asset.frame);
  }
  movie->framesReady = ready;
}

void MovieRuntime::LibraryArrived(LoadedMovie* movie, const std::string& url, const LoadedMovie* library) {
  if (movie->libraries.count(url)) return;
  movie->libraries[url] = library;
  if (library) {
    for (const Movie::ImportedAsset& asset : movie->movie->imports) {
      if (asset.url != url || movie->movie->dictionary.Find(asset.id)) continue;
      const std::uint16_t there = library->Exported(asset.name);
      if (there == 0) continue;  // a name the library does not export leaves the id empty
      LoadedMovie::ImportedCharacter entry;
      if (const LoadedMovie::ImportedCharacter* deeper = library->Imported(there)) {
        entry = *deeper;  // the library passes on what it imported itself
      } else {
        entry.character = library->movie->dictionary.Find(there);
        entry.from = library;
        entry.id = there;
      }
      if (entry.character) movie->imported[asset.id] = std::move(entry);
    }
    // Static text in an imported font gets the font's glyphs.
    movie->movie->dictionary.ForEach([&](const std::shared_ptr<Character>& character) {
      if (!character || character->Kind() != CharacterKind::Text) return;
      const auto known = movie->completedTexts.find(character->id);
      const auto& text = static_cast<const StaticText&>(known == movie->completedTexts.end() ? *character : *known->second);
      std::shared_ptr<StaticText> completed;
      for (std::size_t i = 0; i < text.records.size(); ++i) {
        const TextRecord& record = text.records[i];
        if (record.font) continue;
        const auto font = movie->imported.find(record.fontId);
        if (font == movie->imported.end() || font->second.character->Kind() != CharacterKind::Font) continue;
        if (!completed) {
          completed = std::make_shared<StaticText>();
          completed->id = text.id;
          completed->bounds = text.bounds;
          completed->matrix = text.matrix;
          completed->records = text.records;
        }
        completed->records[i].font = std::static_pointer_cast<const Font>(font->second.character);
      }
      if (completed) movie->completedTexts[text.id] = std::move(completed);
    });
  }
  movie->pendingLibraries = std::max(0, movie->pendingLibraries - 1);
  UpdateFramesReady(movie);
  if (movie->pendingLibraries > 0) return;
  // A library complete with its own libraries completes the movies that wait for it.
  const auto waiting = libraryWaiters_.find(movie);
  if (waiting == libraryWaiters_.end()) return;
  const std::vector<std::pair<LoadedMovie*, std::string>> importers = std::move(waiting->second);
  libraryWaiters_.erase(waiting);
  for (const auto& [importer, address] : importers) LibraryArrived(importer, address, movie);
}

void MovieRuntime::RunLibraryInitActions(MovieClip* clip, const LoadedMovie* movie, const std::string& url) {
  // The library's timeline never plays: its init actions, and those of what it imports
  // in turn, run in file order on the timeline that imports it.
  struct Walk {
    const LoadedMovie* library;
    std::size_t frame = 0, command = 0;
  };
  std::vector<Walk> stack;
  auto enter = [&](const LoadedMovie* from, const std::string& address) {
    const auto it = from->libraries.find(address);
    if (it != from->libraries.end() && it->second && stack.size() < static_cast<std::size_t>(kMaxLibraryNesting))
      stack.push_back({it->second});
  };
  if (!movie || !clip) return;
  enter(movie, url);
  while (!stack.empty() && !clip->Removed()) {
    Walk& walk = stack.back();
    const std::vector<Frame>& frames = walk.library->movie->root.frames;
    if (walk.frame >= frames.size()) {
      stack.pop_back();
      continue;
    }
    const std::vector<DisplayCommand>& commands = frames[walk.frame].commands;
    if (walk.command >= commands.size()) {
      ++walk.frame;
      walk.command = 0;
      continue;
    }
    const DisplayCommand& command = commands[walk.command++];
    const LoadedMovie* library = walk.library;
    if (command.type == DisplayCommand::Type::InitAction)
      host_->RunLibraryInitAction(*clip, *library, command.place.characterId.value_or(0), command.actions);
    else if (command.type == DisplayCommand::Type::Import)
      enter(library, command.url);  // walk is not used after this
  }
}

MovieClip* MovieRuntime::EnsureLevel(int level) {
  if (MovieClip* existing = Level(level)) return existing;
  MovieClip* clip = CreateEmptyClip(root_->Movie());
  clip->depth = level - 16384;
  levels_[level] = clip;
  host_->LevelMade(*clip);
  AddToExecList(clip);
  return clip;
}

void MovieRuntime::UnloadLevel(int level) {
  levelLoads_.erase(level);
  MovieClip* clip = Level(level);
  if (!clip) return;
  CancelLoads(clip);
  clip->QueueEvent(ClipAction::kUnload, "onUnload");
  // The level stays reachable for the rest of the scripts that run now and goes at the
  // loader stage of the frame.
  RunLater(
      [this, clip, level] {
        if (clip->Removed()) return;
        clip->MarkRemoved();
        if (level != 0 && Level(level) == clip) levels_.erase(level);
      },
      clip->ScriptCell());
}

void MovieRuntime::StartDrag(DisplayObject* object, bool lockCenter, const double* rect) {
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

void MovieRuntime::UpdateDrag() {
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
  // The drop target is the topmost clip under the mouse besides the dragged one and
  // what it holds.
  dropTarget_ = nullptr;
  for (auto it = levels_.rbegin(); it != levels_.rend() && !dropTarget_; ++it) {
    const Matrix& lm = it->second->GetMatrix();
    dropTarget_ = DropTargetIn(*it->second, QTransform(lm.a, lm.b, lm.c, lm.d, lm.tx, lm.ty), mouse_, drag_, 0);
  }
}

void MovieRuntime::TraceRoots(gc::Tracer& tracer) const {
  host_->TraceRoots(tracer);
  for (const auto& [level, clip] : levels_) tracer.Mark(clip);
  tracer.Mark(root_);
  for (const MovieClip* clip : execList_) tracer.Mark(clip);
  for (const LaterAction& action : later_) tracer.Mark(action.keepAlive);
  for (const LaterAction& action : laterNow_) tracer.Mark(action.keepAlive);
  for (const auto& [load, pending] : fetches_) tracer.Mark(pending.keepAlive);
  for (const auto& [clip, init] : pendingInits_) tracer.Mark(clip);
  for (const DisplayObject* o : {hovered_, pressed_, lastPick_, drag_, dropTarget_, focus_}) tracer.Mark(o);
}

void MovieRuntime::Collect() {
  if (host_->Running()) return;
  CollectNow();
}

void MovieRuntime::CollectNow() {
  heap_.Collect([this](gc::Tracer& tracer) { TraceRoots(tracer); });
}

}  // namespace vantrel::flash
