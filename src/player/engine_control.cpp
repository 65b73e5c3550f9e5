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
}

void EngineControl::Advance(double milliseconds) {
  loading_ = false;
  control_.AdvanceTime(milliseconds);
  DeliverEvents();
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
