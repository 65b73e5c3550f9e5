#include "player/engine_control.h"

#include "player/player.h"

namespace vantrel::player {

namespace {
// Movie commands a runaway movie may queue between two deliveries; more are dropped.
constexpr std::size_t kMaxPendingEvents = 4096;
}  // namespace

EngineControl::EngineControl(flash::FlashControl& control) : control_(control) {
  control_.OnReadyStateChange = [this](int state) {
    if (events_.size() < kMaxPendingEvents) events_.push_back(Event{true, state, {}, {}});
  };
  control_.FSCommand = [this](const std::string& command, const std::string& arguments) {
    if (events_.size() < kMaxPendingEvents) events_.push_back(Event{false, 0, command, arguments});
  };
}

EngineControl::~EngineControl() {
  control_.OnReadyStateChange = nullptr;
  control_.FSCommand = nullptr;
}

void EngineControl::LoadMovie(std::int32_t layer, const std::string& url) {
  loading_ = control_.LoadMovie(layer, url) || loading_;
  passedLastFrame_ = false;
}

void EngineControl::Advance(double milliseconds) {
  loading_ = false;
  const std::int32_t before = control_.FrameNum();
  const bool wasPlaying = control_.Playing();
  control_.AdvanceTime(milliseconds);
  const std::int32_t total = control_.TotalFrames();
  const std::int32_t now = control_.FrameNum();
  // Shown now, or entered and left at once: a movie that loops by script jumps back
  // from its last frame's actions, so the frame before the last is the last one seen.
  const bool shown = total > 0 && now + 1 == total;
  const bool jumpedBack = wasPlaying && total >= 2 && before == total - 2 && now < before;
  if (shown || jumpedBack) passedLastFrame_ = true;
  DeliverEvents();
}

bool EngineControl::PassedLastFrame() {
  const std::int32_t total = control_.TotalFrames();
  const bool passed = passedLastFrame_ || (total > 0 && control_.FrameNum() + 1 == total);
  passedLastFrame_ = false;
  return passed;
}

void EngineControl::DeliverEvents() {
  // Events raised while delivering (a command that loads a movie) wait for the next
  // delivery, so one call always ends.
  // Nothing of this object is touched after the first delivery: a command such as
  // "QUIT" may unload the window that owns it.
  std::deque<Event> batch;
  batch.swap(events_);
  Player* const player = player_;
  if (!player) return;
  for (const Event& event : batch) {
    if (event.readyState) player->OnReadyStateChange(event.state);
    else player->FSCommand(event.command, event.arguments);
  }
}

}  // namespace vantrel::player
