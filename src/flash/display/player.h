// The running player: the levels of loaded movies, the execution list that runs every
// clip newest-first each frame, loads and their callbacks, the input state, the heap
// everything lives on, and the script host of the movie's machine, which keeps the
// action queue and the timers.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QTransform>

#include "core/text.h"
#include "flash/display/movie_clip.h"
#include "flash/display/script_host.h"
#include "flash/script/script_clock.h"
#include "flash/swf/movie.h"

namespace vantrel::flash {

namespace audio {
class SoundEvents;
}

// A movie loaded into the player (the first one, one loaded into a level or clip, or a
// shared library one of them imports from): its model, its own address, and the
// characters it imported from its libraries.
struct LoadedMovie {
  std::shared_ptr<const Movie> movie;
  std::string url;
  // A character taken from a library: the definition, the library that defines it and
  // its id there. Objects made of it belong to that library (a sprite's timeline finds
  // its parts in the library's dictionary) while the importing timeline knows them by
  // the id they take here.
  struct ImportedCharacter {
    std::shared_ptr<Character> character;
    const LoadedMovie* from = nullptr;
    std::uint16_t id = 0;
  };
  std::map<std::uint16_t, ImportedCharacter> imported;
  // Static texts of the movie written in imported fonts, completed with their glyphs
  // once the fonts arrived (the movie's model itself stays as read).
  std::map<std::uint16_t, std::shared_ptr<Character>> completedTexts;
  // The libraries of the import tags by the address the tags give; null for one that
  // could not be had (the movie runs on without its characters).
  std::map<std::string, const LoadedMovie*> libraries;
  // Libraries still on their way (with the libraries they import in turn). The root
  // timeline stops before the first frame whose imports have not arrived.
  int pendingLibraries = 0;
  int framesReady = 65536;

  int Version() const { return movie->header.version; }
  std::shared_ptr<Character> Find(std::uint16_t id) const;
  // The library character behind an imported id; null when id is the movie's own or
  // unknown.
  const ImportedCharacter* Imported(std::uint16_t id) const;
  // The character id exported under name (ASCII case ignored), or, failing that, the id
  // an arrived import of that name took; 0 when none.
  std::uint16_t Exported(std::string_view name) const;
  // File size in bytes, as the header gives it.
  std::uint32_t Bytes() const { return movie->header.fileLength; }
};

// A transfer the host runs for the engine over the network.
struct FetchRequest {
  std::string url;       // absolute
  std::string base;      // the address of the movie that asked
  std::string method;    // "GET" or "POST"
  std::string formData;  // "a=1&b=2": the query for GET, the body for POST
  // The asking movie's FileAttributes UseNetwork flag: a movie opened from a file that
  // sets it may reach the network and no local file; one that does not reads local
  // files and never the network.
  bool useNetwork = false;
};
struct FetchCallbacks {
  std::function<void(std::int64_t loaded, std::int64_t total)> progress;  // total 0: unknown
  // When set, the body arrives here piece by piece as it is read, and done's body is
  // empty (progressive video and streamed sound).
  std::function<void(std::string_view chunk)> data;
  std::function<void(bool ok, const std::string& bodyOrReason)> done;
};

struct PlayerHooks {
  std::function<void(const std::string&)> trace;
  std::function<void(const std::string& command, const std::string& arguments)> fsCommand;
  std::function<void(const std::string& url, const std::string& target)> getUrl;
  // Quality name read and written by the script's _quality and toggleHighQuality.
  std::function<std::string()> getQuality;
  std::function<void(const std::string&)> setQuality;
  // Reads a file a movie asks for (loadMovie, loadVariables, XML.load, imports) by its
  // resolved path or URL; false with the reason when it cannot be had.
  std::function<bool(const std::string& url, std::string& body, std::string& error)> readFile;
  // The network, from the host: starts fetching a web address and returns the
  // transfer's id (0 when it cannot start). It answers later from the host's event
  // loop, never inside fetch: progress any number of times, then done once, unless
  // cancelFetch(id) came first. Unset: movies reach local files only.
  std::function<std::uint64_t(const FetchRequest& request, FetchCallbacks callbacks)> fetch;
  std::function<void(std::uint64_t id)> cancelFetch;
  // Folder for SharedObject data ("" keeps them in memory).
  std::string sharedObjectFolder;
  // A script was stopped for running too long or taking too much memory (the message
  // for the log and the status area; standard error has it too).
  std::function<void(const std::string& message)> scriptStopped;
  // A frame's scripts have been running for seconds and go on (called from inside the
  // script, a few times a second): the host may repaint and say so, but must not call
  // into the player.
  std::function<void(double seconds)> scriptRunningLong;
  // Seconds a frame's scripts may run; 0 follows the movie (its ScriptLimits timeout,
  // else the reference player's 15 seconds).
  double scriptSeconds = 0;
};

// Maps the object's own twips to stage twips.
QTransform ObjectToStage(const DisplayObject& object);

class MovieRuntime {
 public:
  // makeHost makes the first movie's script host: its machine runs the movie's code and
  // whatever it loads.
  MovieRuntime(std::shared_ptr<const Movie> movie, PlayerHooks hooks, const ScriptHostFactory& makeHost,
               std::string url = {});
  ~MovieRuntime();
  MovieRuntime(const MovieRuntime&) = delete;
  MovieRuntime& operator=(const MovieRuntime&) = delete;

  const Movie& GetMovie() const { return *root_->Movie()->movie; }
  int SwfVersion() const { return GetMovie().header.version; }
  MovieClip& Root() { return *root_; }
  const MovieClip& Root() const { return *root_; }
  // _levelN; null when nothing is loaded there.
  MovieClip* Level(int number) const;
  const std::map<int, MovieClip*>& Levels() const { return levels_; }

  // One frame: the clips' events and timelines newest-first, the action queue, timers
  // and loaders, then a collection when enough was made. The first call shows frame 1.
  void Tick();
  // Moves the root to frame (0-based) and runs the actions that queues (host calls).
  void GotoFrame(int frame, bool play);
  std::uint64_t TickCount() const { return ticks_; }
  bool loop = true;
  audio::SoundEvents* sounds = nullptr;

  // The movie's script host (of the machine its code runs on) and the heap it shares
  // with the display objects.
  MovieScriptHost& Scripts() { return *host_; }
  gc::Heap& Heap() { return heap_; }

  // The action queue, kept by the script host.
  using Priority = ActionPriority;
  void QueueBlock(DisplayObject* target, ActionBlock block, Priority priority = Priority::Normal, bool evenIfRemoved = false) {
    if (target && block) host_->QueueBlock(*target, std::move(block), priority, evenIfRemoved);
  }
  void QueueMethod(DisplayObject* target, const char* method, bool evenIfRemoved = false) {
    if (target) host_->QueueMethod(*target, method, evenIfRemoved);
  }
  void RunQueue() { host_->RunQueue(false); }
  // Runs a block at once (DoInitAction, the Call action when no queue is wanted).
  void RunBlockNow(DisplayObject* target, const ActionBlock& block) {
    if (target) host_->RunBlockNow(*target, block);
  }
  // Runs DoInitAction of sprite (once per movie and sprite).
  void RunInitAction(MovieClip* clip, std::uint16_t spriteId, const ActionBlock& block) {
    host_->RunInitAction(*clip, spriteId, block);
  }

  // Adds a clip to the execution list (it runs before older clips from the next frame).
  void AddToExecList(MovieClip* clip) { execList_.push_back(clip); }
  // Steps the playhead of every ActionScript 3 clip on a level (removals included)
  // before the frame's enterFrame event; Tick places the frames' new objects after it
  // and steps orphaned clips there.
  void AdvanceFrames();
  // Creates a display object for the character (a clip for sprites, a button, a text
  // field, or a plain drawable); null when the character cannot be placed.
  DisplayObject* Create(const LoadedMovie* movie, std::shared_ptr<Character> character, std::uint16_t id);
  MovieClip* CreateEmptyClip(const LoadedMovie* movie, DisplayKind kind = DisplayKind::MovieClip);
  // Takes a movie a script loaded (from url) into the player: its shared libraries start
  // loading. The player keeps it for as long as it runs.
  const LoadedMovie* AdoptMovie(std::shared_ptr<const Movie> movie, const std::string& url);
  // A fresh root clip playing movie's main timeline, on no level: the one who asked for
  // it places it (an ActionScript 3 Loader holds it as its content).
  MovieClip* CreateMovieRoot(const LoadedMovie* movie);

  // "instance1", "instance2", ...
  int NextInstanceNumber() { return ++instances_; }
  // Order of creation for display objects.
  std::uint64_t NextSerial() { return ++serial_; }
  std::uint32_t Random();
  // Milliseconds of movie time (getTimer()): each tick adds a frame at the frame rate it
  // ran at, so a new root movie with another rate does not move the clock backwards or
  // ahead.
  double Milliseconds() const { return clockMs_; }
  // The length of one frame at the first movie's rate: a movie that replaces it in
  // level 0 does not change how often the stage ticks.
  double FrameMilliseconds() const;
  // Counts one new display object; false once a tick has made kMaxCreationsPerTick.
  static constexpr int kMaxCreationsPerTick = 50000;
  bool CountCreation() { return ++creations_ <= kMaxCreationsPerTick; }

  // Instructions the scripts of one tick (or one host call) may run: time is what bounds
  // them (ScriptSeconds), this only where a build cuts the limits for fuzzing.
#ifdef VANTREL_FUZZ_LIMITS
  static constexpr long kInstructionsPerTick = 2000000;
#else
  static constexpr long kInstructionsPerTick = 1L << 50;
#endif
  // Starts a new run of scripts: a tick, or one call from the host.
  void ResetBudgets();
  // Processor seconds a run of scripts may take (see PlayerHooks::scriptSeconds).
  double ScriptSeconds() const;
  ScriptClock& Clock() { return clock_; }

  // Runs callback at the loader stage of the frame (never inside the call that asked),
  // as the movie's code; keepAlive stays reachable until it has run.
  void RunLater(std::function<void()> callback, gc::Cell* keepAlive);
  // url resolved against the root movie's own address.
  std::string ResolveUrl(const std::string& url) const;
  // url resolved against base (a local path or a web address).
  static std::string ResolveUrl(const std::string& url, const std::string& base);
  // Runs the init actions of the library movie imports from url (every DoInitAction of
  // its timeline, and those of the libraries it imports in turn, each once) on clip, the
  // timeline that holds the import.
  void RunLibraryInitActions(MovieClip* clip, const LoadedMovie* movie, const std::string& url);
  // Reads url (resolved here): a local file at the loader stage of the next frame, a
  // web address through the host's fetch. progress (optional) hears the bytes as they
  // arrive; done hears true and the body, or false and the reason, at the loader stage
  // of a frame. owner (optional): the clip the load belongs to; its loads end unheard
  // when it unloads (CancelLoads). keepAlive stays reachable until done has run.
  using FetchProgress = std::function<void(std::int64_t loaded, std::int64_t total)>;
  using FetchDone = std::function<void(bool ok, const std::string& bodyOrReason)>;
  // data (optional): the body piece by piece as it arrives, at the loader stage of the
  // frames while it loads; done then hears an empty body. Returns the load's number for
  // CancelLoad.
  using FetchData = std::function<void(const std::string& chunk)>;
  std::uint64_t Fetch(const std::string& url, const std::string& method, const std::string& formData,
                      DisplayObject* owner, gc::Cell* keepAlive, FetchProgress progress, FetchDone done,
                      FetchData data = {});
  // Ends one load (by the number Fetch gave) without calling it back.
  void CancelLoad(std::uint64_t load);
  // Ends every load that belongs to owner without calling it back.
  void CancelLoads(DisplayObject* owner);
  // Loads still on their way.
  std::size_t PendingLoads() const { return fetches_.size() + localLoads_; }
  // What a movie load reports (MovieClipLoader's events), each optional.
  struct MovieLoadEvents {
    // Bytes as they arrive over the network.
    FetchProgress progress;
    // When the data has arrived, before the movie takes its place (the target has lost
    // its variables by then). A load replaced or cancelled after it was asked for still
    // reports this, as the reference player does, and nothing after it.
    std::function<void()> start;
    // Once: after the movie took its place (ok, its size in bytes; 0 for data that is
    // no movie, which leaves the target empty), or false when nothing could be read.
    std::function<void(bool ok, std::size_t bytes)> done;
    // After the loaded movie ran its first frame.
    std::function<void()> init;
  };
  // loadMovie/loadMovieNum/unloadMovie: into a level (target "_levelN") or a clip. A
  // clip keeps its name, depth and placement and loses its variables and children.
  void LoadMovieInto(const std::string& url, int level, DisplayObject* clip, bool variablesOnly, const std::string& method,
                     const std::string& formData, MovieLoadEvents events = {});
  void UnloadLevel(int level);
  // _levelN, made empty when nothing is loaded there (MovieClipLoader targets).
  MovieClip* EnsureLevel(int level);

  // Input from the host. Positions are stage twips; buttons 0 left, 1 right, 2 middle;
  // key codes are the movie's own (Key.getCode), ascii the character typed (0 none).
  // Each call runs the handlers it triggers before it returns.
  void MouseMove(QPointF stage);
  void MouseButton(bool down, int button, QPointF stage);
  void MouseWheel(int lines);
  void KeyDown(int keyCode, int ascii);
  void KeyUp(int keyCode, int ascii);
  QPointF MousePosition() const { return mouse_; }
  bool MouseIsDown() const { return mouseDown_; }
  bool KeyIsDown(int keyCode) const { return keysDown_.count(keyCode) != 0; }
  bool KeyIsToggled(int keyCode) const { return keysToggled_.count(keyCode) != 0; }
  int LastKeyCode() const { return lastKeyCode_; }
  int LastAscii() const { return lastAscii_; }
  bool OverButton() const { return hovered_ != nullptr; }
  // The view the stage shows in, as the window gives it: its size in pixels (empty before
  // the window says) and the stage's place in it (stage twips to view pixels).
  QSizeF viewSize;
  QTransform stageToView;
  bool mouseVisible = true;
  // startDrag/stopDrag.
  void StartDrag(DisplayObject* object, bool lockCenter, const double* rect);
  void StopDrag() { drag_ = nullptr; }
  DisplayObject* Dragged() const { return drag_; }
  DisplayObject* DropTarget() const { return dropTarget_; }
  // Keyboard focus (Selection). SetFocus tells the old object onKillFocus, the new one
  // onSetFocus and the Selection listeners onSetFocus, at once; nothing when the focus
  // stays where it is.
  DisplayObject* Focus() const { return focus_; }
  void SetFocus(DisplayObject* object);
  // Whether Selection.setFocus may give object the focus (buttons, clips with
  // focusEnabled or button handlers, selectable or editable text fields).
  bool Focusable(DisplayObject& object);
  // The objects Tab visits, in the player's order (tabIndex when any object has one,
  // else by position).
  std::vector<DisplayObject*> TabOrder();
  // Tab (reverse: Shift+Tab) moves the focus to the next object of the tab order.
  void CycleFocus(bool reverse);
  // The player's window lost the keyboard focus: what the pointer or Tab rolled over
  // rolls out, and a button or clip holding the focus loses it (a text field keeps it).
  void WindowFocusLost();
  // The focus leaves object (and whatever it holds) as it is removed; the Selection
  // listeners hear it while it still has its path.
  void FocusLeaving(DisplayObject* object);
  // The stage's _focusrect: whether the focused object shows the yellow rectangle.
  bool focusRect = true;
  // The stage's _soundbuftime: the seconds of streamed sound buffered before it plays.
  std::int32_t soundBufferSeconds = 5;
  // Clips without bounds report every corner at 6710886.35 px until getBounds or getRect
  // runs in SWF 8 or later code (or when the first movie is SWF 8 or later); from then
  // on, in every movie, at 6710886.4 px.
  bool wideInvalidBounds = false;
  // The rectangle around the focused object in stage twips; empty when none is shown.
  QRectF FocusHighlight() const;
  // Text typed into the focused input field (a character, or 8 Backspace, 127 Delete).
  void TextInput(char32_t character);
  // The topmost object under a stage point that is visible (for hitTest and drop
  // targets); null when none.
  DisplayObject* ObjectUnder(QPointF stage, bool buttonsOnly);

  PlayerHooks& Hooks() { return hooks_; }
  const LoadedMovie* RootMovie() const { return root_->Movie(); }
  // The quality as scripts see it: the host's, except that "BEST", which the host does
  // not offer, reads back as long as the host's stays at high.
  std::string Quality() const {
    const std::string host = hooks_.getQuality ? hooks_.getQuality() : "HIGH";
    return bestQuality_ && core::EqualsNoCase(host, "HIGH") ? "BEST" : host;
  }
  // A script sets the quality by name; "BEST" draws as high. False when the host has no
  // quality to set.
  bool SetQuality(const std::string& name) {
    if (!hooks_.setQuality) return false;
    bestQuality_ = core::EqualsNoCase(name, "BEST");
    hooks_.setQuality(bestQuality_ ? "HIGH" : name);
    return true;
  }
  void Trace(const std::string& line) {
    if (hooks_.trace) hooks_.trace(line);
  }

  // Collects garbage now (between frames only).
  void Collect();
  // Collects at once, for a script host that knows the C++ stack holds nothing the
  // roots do not reach (a frame's queued script that outgrew the heap's budget).
  void CollectNow();
  // A script was stopped (too long, too much memory): the log line the host shows.
  void ScriptStopped(const std::string& message) {
    if (hooks_.scriptStopped) hooks_.scriptStopped(message);
  }
  std::size_t LiveCells() const { return heap_.CellCount(); }

 private:
  struct LaterAction {
    std::function<void()> callback;
    gc::Cell* keepAlive = nullptr;
  };
  void RunLaterQueue();
  // Finds what the pointer is over and tells the buttons that it came or went. From a
  // frame (or a move that did not move), only a change in what is under the pointer
  // counts: a rollover that keyboard focus gave stays.
  void UpdateHover(bool onlyChanges = false);
  // After each frame: clips that appeared, hid, were disabled or moved under a still
  // pointer hear of it.
  void RecheckPointer();
  void ButtonEvent(DisplayObject* target, std::uint16_t condition, std::uint32_t clipEvent, const char* method);
  void ClipMouseEvents(std::uint32_t clipEvent);
  void KeyEvents(bool down, int keyCode, int ascii);
  void UpdateDrag();
  void TraceRoots(gc::Tracer& tracer) const;
  void SyncTextFields();

  struct PendingFetch {
    std::uint64_t hostId = 0;
    DisplayObject* owner = nullptr;
    gc::Cell* keepAlive = nullptr;
    FetchProgress progress;
    FetchDone done;
    FetchData data;
  };
  std::map<std::uint64_t, PendingFetch> fetches_;  // by the player's own load number
  std::uint64_t nextLoad_ = 0;
  std::size_t localLoads_ = 0;
  // The newest movie load into each target; an older one that arrives later is dropped.
  std::map<const DisplayObject*, std::uint64_t> movieLoads_;
  std::map<int, std::uint64_t> levelLoads_;
  // Loaded clips whose first frame has yet to run, and what to do after it.
  std::vector<std::pair<MovieClip*, std::function<void()>>> pendingInits_;
  void ReplaceMovie(MovieClip* target, const LoadedMovie* movie);
  // Starts loading the libraries movie imports from (nesting: how many libraries deep
  // movie is itself). A library that cannot be read or is no movie counts as arrived.
  void StartImports(LoadedMovie* movie, int nesting);
  void LibraryArrived(LoadedMovie* movie, const std::string& url, const LoadedMovie* library);
  // The root timeline may play up to the first frame whose libraries have not arrived.
  static void UpdateFramesReady(LoadedMovie* movie);
  // Who waits for a library movie's own libraries: (importer, address) pairs.
  std::map<const LoadedMovie*, std::vector<std::pair<LoadedMovie*, std::string>>> libraryWaiters_;
  static constexpr int kMaxLibraryNesting = 8;
  static constexpr int kMaxLibraryLoads = 64;
  int libraryLoads_ = 0;
  void ClearVariables(DisplayObject* target);

  PlayerHooks hooks_;
  bool bestQuality_ = false;  // a script set "BEST"
  // The host goes before the heap (declared after it), so its machine never holds a
  // freed cell.
  gc::Heap heap_;
  std::unique_ptr<MovieScriptHost> host_;
  std::vector<std::unique_ptr<LoadedMovie>> movies_;
  MovieClip* root_ = nullptr;
  std::map<int, MovieClip*> levels_;
  std::vector<MovieClip*> execList_;
  std::vector<LaterAction> later_;
  // Local files asked for during the loader stage: read in the same stage.
  std::vector<LaterAction> laterNow_;
  bool inLaterStage_ = false;
  std::uint64_t ticks_ = 0;
  double clockMs_ = 0;
  std::uint64_t serial_ = 0;
  int creations_ = 0;
  int instances_ = 0;
  std::uint32_t random_ = 0x2545F491u;
  ScriptClock clock_;

  // Input state.
  QPointF mouse_{0, 0};
  bool mouseDown_ = false;
  std::set<int> keysDown_, keysToggled_;
  int lastKeyCode_ = 0, lastAscii_ = 0;
  DisplayObject* hovered_ = nullptr;
  DisplayObject* pressed_ = nullptr;
  bool pointerSeen_ = false;          // the pointer has come onto the movie
  DisplayObject* lastPick_ = nullptr;  // what the pointer was last found over
  // The button under the pointer was removed: the one found there next takes its state
  // over (a button a timeline places again and again keeps the press).
  enum class LostButton { None, Over, OverDown, OutDown };
  LostButton lostButton_ = LostButton::None;
  DisplayObject* drag_ = nullptr;
  DisplayObject* dropTarget_ = nullptr;
  DisplayObject* focus_ = nullptr;
  // Keys reach the focused object while its highlight is active (after Tab or a
  // setFocus, until the mouse moves); the rectangle shows when it is also visible.
  enum class Highlight { Inactive, Hidden, Visible };
  Highlight highlight_ = Highlight::Inactive;
  void FocusKeyEvents(bool down, int keyCode);
  void RollFocusOver(DisplayObject* next);
  // A click gives the focus to the text field under it (caret where it was), or takes
  // it away.
  void ClickFocus(QPointF stage);
  void ChangeFocus(DisplayObject* object, bool rollOver);
  bool keyTaken_ = false;
  bool dragLockCenter_ = false;
  QPointF dragOffset_;
  bool dragConstrained_ = false;
  double dragRect_[4] = {0, 0, 0, 0};
};

}  // namespace vantrel::flash
