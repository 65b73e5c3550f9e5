#include "flash/movie_player.h"

#include "flash/avm1.h"

namespace vantrel::flash {

namespace {
constexpr int kMaxBlocksPerRun = 100000;
}

MoviePlayer::MoviePlayer(std::shared_ptr<const Movie> movie, PlayerHooks hooks)
    : movie_(std::move(movie)), hooks_(std::move(hooks)) {
  root_ = std::make_shared<MovieClip>(*this, &movie_->root, nullptr);
  rootObject_.clip = root_;
  rootObject_.name = "";
  rootObject_.createdTick = 0;
  root_->SetOwner(&rootObject_);
}

void MoviePlayer::Start() {
  if (started_) return;
  started_ = true;
  creations_ = 0;
  ResetBudgets();
  root_->GotoFrame(0, true);
  RunQueuedActions();
  // The root's load event comes once its first frame has run, so an onLoad the frame
  // defines hears it.
  if (root_->HasVariable("onLoad")) {
    QueueHandler(*root_, "onLoad");
    RunQueuedActions();
  }
}

void MoviePlayer::Tick() {
  if (!started_) {
    Start();
    return;
  }
  ++ticks_;
  creations_ = 0;
  ResetBudgets();
  if (root_->HasVariable("onEnterFrame")) QueueHandler(*root_, "onEnterFrame");
  root_->RunFrame();
  RunQueuedActions();
}

void MoviePlayer::GotoFrame(int frame, bool play) {
  if (!started_) Start();
  creations_ = 0;
  ResetBudgets();
  root_->GotoFrame(frame, play);
  RunQueuedActions();
}

void MoviePlayer::QueueActions(MovieClip& clip, ActionBlock block) {
  if (!block || block->empty()) return;
  queue_.push_back({clip.weak_from_this(), std::move(block), {}});
}

void MoviePlayer::QueueInitActions(MovieClip& clip, std::uint16_t spriteId, ActionBlock block) {
  if (!initialised_.insert(spriteId).second) return;
  QueueActions(clip, std::move(block));
}

void MoviePlayer::QueueHandler(MovieClip& clip, std::string name) {
  queue_.push_back({clip.weak_from_this(), nullptr, std::move(name)});
}

void MoviePlayer::RunQueuedActions() {
  // Actions can queue more (a goto queues its target frame); the count keeps a movie
  // that jumps back and forth from holding the tick forever.
  for (int run = 0; run < kMaxBlocksPerRun && !queue_.empty(); ++run) {
    QueuedAction action = std::move(queue_.front());
    queue_.pop_front();
    const auto clip = action.clip.lock();
    if (!clip) continue;  // removed before its turn
    if (!action.handler.empty()) avm1::CallHandler(*clip, action.handler);
    else if (action.block) avm1::RunActions(*clip, *action.block);
  }
  queue_.clear();
}

avm1::Runtime& MoviePlayer::Script() {
  if (!runtime_) {
    runtime_ = std::make_unique<avm1::Runtime>();
    avm1::InstallBuiltins(*runtime_);
  }
  return *runtime_;
}

std::uint32_t MoviePlayer::Random() {
  random_ = random_ * 1664525u + 1013904223u;
  return random_ >> 8;
}

}  // namespace vantrel::flash
