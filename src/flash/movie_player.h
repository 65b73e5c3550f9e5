// The running movie: the root timeline, the tick that advances every timeline, the
// queue of frame actions and the script core's connection to the host (trace output,
// FSCommand, other getURL calls). One MoviePlayer per loaded movie.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "flash/avm1_object.h"
#include "flash/movie.h"
#include "flash/movie_clip.h"

namespace vantrel::flash {

namespace audio {
class SoundEvents;
}

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

  // A deterministic pseudo-random number (random() of the scripts).
  std::uint32_t Random();
  // Milliseconds of movie time: ticks at the movie's frame rate (getTimer()).
  double Milliseconds() const { return ticks_ * 1000.0 / movie_->FrameRate(); }

  // Script instructions left for this tick; every tick (and every host call that runs
  // scripts) starts with kInstructionsPerTick.
  static constexpr long kInstructionsPerTick = 2000000;
  long& InstructionBudget() { return instructions_; }

  // The script objects of this movie (_global and the built-ins), made on first use.
  avm1::Runtime& Script();

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
  long instructions_ = kInstructionsPerTick;
  std::uint32_t random_ = 0x2545F491u;
  bool started_ = false;
};

}  // namespace vantrel::flash
