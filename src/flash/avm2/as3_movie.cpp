#include "flash/avm2/as3_movie.h"

#include <cstdio>

#include "flash/display/movie_clip.h"
#include "flash/display/player.h"

namespace vantrel::flash::avm2 {

As3Movie::As3Movie(Player& player) : player_(player) {
  machine_ = std::make_unique<Machine>(player.Script().heap);
  machine_->player = &player;
  machine_->onTrace = [this](const std::string& line) { player_.Trace(line); };
  machine_->onUncaught = [](const std::string& text) { std::fprintf(stderr, "vantrel: uncaught script error: %s\n", text.c_str()); };
}

As3Movie::~As3Movie() = default;

void As3Movie::BeforeFrame() {
  machine_->SetBudget(Player::kInstructionsPerTick);
  if (first_) return;
  BroadcastFrameEvent(*machine_, "enterFrame");
  // Timers due by now fire once each, in the order they were made.
  const double now = machine_->Now();
  std::vector<int> due;
  for (const Machine::Timer& t : machine_->timers)
    if (t.due <= now) due.push_back(t.id);
  for (const int id : due) {
    auto it = std::find_if(machine_->timers.begin(), machine_->timers.end(), [&](const Machine::Timer& t) { return t.id == id; });
    if (it == machine_->timers.end()) continue;
    const Machine::Timer timer = *it;
    if (timer.repeat) it->due = now + timer.interval;
    else machine_->timers.erase(it);
    machine_->Guard([&] {
      machine_->Call(timer.function, Value::Null(), timer.args.data(), static_cast<int>(timer.args.size()));
    });
  }
}

void As3Movie::AfterFrame() {
  first_ = false;
  MovieClip& root = player_.Root();
  const int frame = root.CurrentFrame();
  if (frame >= 0 && !framesDone_.count(frame) && root.GetTimeline()) {
    framesDone_.insert(frame);
    const Frame& f = root.GetTimeline()->FrameAt(frame);
    for (const Frame::AbcBlock& block : f.abc) {
      std::string error;
      if (!machine_->LoadAbc(*block.bytes, (block.flags & 1) != 0, error) && machine_->onUncaught) machine_->onUncaught(error);
    }
    for (const auto& [id, name] : f.symbolClasses) {
      // Linking a class to a symbol defines it: its script runs now.
      ClassObject* cls = machine_->FindClass(name);
      if (id != 0 || constructed_) continue;
      constructed_ = true;
      if (!cls) continue;
      ClassObject* sprite = machine_->FindClass("flash.display.Sprite");
      if (!machine_->IsSubclass(cls, sprite)) {
        if (machine_->onUncaught)
          machine_->onUncaught("TypeError: Error #2023: Class " + cls->QualifiedName() + "$ must inherit from Sprite to link to the root.");
        continue;
      }
      machine_->Guard([&] {
        machine_->bindNext = &root;
        machine_->ConstructClass(cls, nullptr, 0);
      });
      machine_->bindNext = nullptr;
    }
  }
  BindTimelineNames(*machine_, &root);
  RunChangedFrameScripts(*machine_);
  BroadcastFrameEvent(*machine_, "exitFrame");
}

}  // namespace vantrel::flash::avm2
