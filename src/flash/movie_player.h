// The running movie: the root timeline, the tick that advances every timeline, the
// queue of frame actions and the script core's connection to the host (trace output,
// FSCommand, other getURL calls). One MoviePlayer per loaded movie.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include <QPointF>
#include <QTransform>

#include "flash/avm1_object.h"
#include "flash/movie.h"
#include "flash/movie_clip.h"

namespace vantrel::flash {

namespace audio {
class SoundEvents;
}

// Maps the clip's own twips to stage twips (its placement and every parent's).
QTransform ClipToStage(const MovieClip& clip);

struct PlayerHooks {
  std::function<void(const std::string&)> trace;
  std::function<void(const std::string& command, const std::string& arguments)> fsCommand;
  std::function<void(const std::string& url, const std::string& target)> getUrl;
  // Quality name read and written by the script's _quality and toggleHighQuality.
  std::function<std::string()> getQuality;
  std::function<void(const std::string&)> setQuality;
};

class MoviePlayer {
 public:
  MoviePlayer(std::shared_ptr<const Movie> movie, PlayerHooks hooks);
  MoviePlayer(const MoviePlayer&) = delete;
  MoviePlayer& operator=(const MoviePlayer&) = delete;

  const Movie& GetMovie() const { return *movie_; }
  int SwfVersion() const { return movie_->header.version; }
  MovieClip& Root() { return *root_; }
  const MovieClip& Root() const { return *root_; }
  DisplayObject& RootObject() { return rootObject_; }
  const DisplayObject& RootObject() const { return rootObject_; }

  // Shows the first frame and runs its actions (done once, by the first Tick too).
  void Start();
  // One frame for every timeline, then the queued actions.
  void Tick();
  // Moves the root to frame (0-based) and runs the actions that queues.
  void GotoFrame(int frame, bool play);
  std::uint64_t TickCount() const { return ticks_; }

  // Root looping: off stops the root at its last frame.
  bool loop = true;
  // Where timelines report the frames they show, for their sounds (null: silent).
  audio::SoundEvents* sounds = nullptr;

  // Queue of frame actions; they run in order after the frame is built.
  void QueueActions(MovieClip& clip, ActionBlock block);
  // Runs a DoInitAction block of sprite the first time its frame is reached.
  void QueueInitActions(MovieClip& clip, std::uint16_t spriteId, ActionBlock block);
  // Queues a call of the clip's event handler function (its variable name).
  void QueueHandler(MovieClip& clip, std::string name);
  void RunQueuedActions();

  // Counts one new display object; false once a tick has made kMaxCreationsPerTick.
  static constexpr int kMaxCreationsPerTick = 50000;
  bool CountCreation() { return ++creations_ <= kMaxCreationsPerTick; }

  // The number of the next display object placed without a name ("instance1", ...).
  int NextInstanceNumber() { return ++instances_; }

  // A deterministic pseudo-random number (random() of the scripts).
  std::uint32_t Random();
  // Milliseconds of movie time: ticks at the movie's frame rate (getTimer()).
  double Milliseconds() const { return ticks_ * 1000.0 / movie_->FrameRate(); }

  // Script instructions left for this tick; every tick (and every host call that runs
  // scripts) starts with kInstructionsPerTick.
  static constexpr long kInstructionsPerTick = 2000000;
  long& InstructionBudget() { return instructions_; }
  // Wall-clock time the scripts of one tick (or one host call) may take; past it the
  // running scripts stop as when the instruction budget runs out.
  static constexpr std::chrono::milliseconds kScriptTimePerTick{1000};
  bool ScriptTimeLeft() const { return std::chrono::steady_clock::now() < scriptDeadline_; }
  // Starts a new tick's instruction and time budgets.
  void ResetBudgets() {
    instructions_ = kInstructionsPerTick;
    scriptDeadline_ = std::chrono::steady_clock::now() + kScriptTimePerTick;
  }

  // The script objects of this movie (_global and the built-ins), made on first use.
  avm1::Runtime& Script();

  // Input from the host. Positions are stage twips; buttons 0 left, 1 right, 2 middle;
  // key codes are the movie's own (Key.getCode), ascii the character typed (0 none).
  // Each call runs the handlers it triggers before it returns.
  void MouseMove(QPointF stage);
  void MouseButton(bool down, int button, QPointF stage);
  void MouseWheel(int lines);
  void KeyDown(int keyCode, int ascii);
  void KeyUp(int keyCode, int ascii);
  QPointF MousePosition() const { return mouse_; }
  bool KeyIsDown(int keyCode) const { return keysDown_.count(keyCode) != 0; }
  bool KeyIsToggled(int keyCode) const { return keysToggled_.count(keyCode) != 0; }
  int LastKeyCode() const { return lastKeyCode_; }
  int LastAscii() const { return lastAscii_; }
  // True while the mouse is over a button or a clip that acts as one (the hand cursor).
  bool OverButton() const { return !hovered_.expired(); }
  // Mouse.hide() and Mouse.show(): whether the movie wants the pointer shown.
  bool mouseVisible = true;

  PlayerHooks& Hooks() { return hooks_; }
  const Dictionary& GetDictionary() const { return movie_->dictionary; }

 private:
  struct QueuedAction {
    std::weak_ptr<MovieClip> clip;
    ActionBlock block;
    std::string handler;  // set instead of block for a handler call
  };
  std::shared_ptr<const Movie> movie_;
  PlayerHooks hooks_;
  std::unique_ptr<avm1::Runtime> runtime_;  // before root_: clips' objects go first
  DisplayObject rootObject_;
  std::shared_ptr<MovieClip> root_;
  std::deque<QueuedAction> queue_;
  std::set<std::uint16_t> initialised_;
  std::uint64_t ticks_ = 0;
  int creations_ = 0;
  int instances_ = 0;
  long instructions_ = kInstructionsPerTick;
  std::chrono::steady_clock::time_point scriptDeadline_ = std::chrono::steady_clock::now() + kScriptTimePerTick;
  std::uint32_t random_ = 0x2545F491u;
  // Input state: the pointer, the pressed mouse button, keys held, and the button (or
  // clip acting as one) under the pointer and the one the press started on.
  void UpdateHover();
  void ButtonTransition(MovieClip& target, std::uint16_t buttonCondition, std::uint32_t clipEvent,
                        const char* handler);
  void MouseBroadcast(const char* event, std::uint32_t clipEvent);
  QPointF mouse_{0, 0};
  bool mouseDown_ = false;
  std::set<int> keysDown_, keysToggled_;
  int lastKeyCode_ = 0, lastAscii_ = 0;
  std::weak_ptr<MovieClip> hovered_, pressed_;
  bool started_ = false;
};

}  // namespace vantrel::flash
