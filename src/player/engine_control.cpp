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

void EngineControl::LoadMovie(std::int32_t layer, const std::string& url) { control_.LoadMovie(layer, url); }

void EngineControl::Advance(double milliseconds) {
  control_.AdvanceTime(milliseconds);
  DeliverEvents();
}

void EngineControl::DeliverEvents() {
  // Events raised while delivering (a command that loads a movie) wait for the next
  // delivery, so one call always ends.
  std::deque<Event> batch;
  batch.swap(events_);
  for (const Event& event : batch) {
    if (!player_) continue;
    if (event.readyState) player_->OnReadyStateChange(event.state);
    else player_->FSCommand(event.command, event.arguments);
  }
}

}  // namespace vantrel::player
