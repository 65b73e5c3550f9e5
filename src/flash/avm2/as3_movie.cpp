#include "flash/avm2/as3_movie.h"

#include "flash/avm2/api/declared_api.h"

#include <algorithm>
#include <cstdio>

#include "flash/display/movie_clip.h"
#include "flash/display/player.h"

namespace vantrel::flash {

std::unique_ptr<MovieScriptHost> MakeActionScript3Host(MovieRuntime& player) {
  return std::make_unique<avm2::As3Movie>(player);
}

}  // namespace vantrel::flash

namespace vantrel::flash::avm2 {

namespace {

// Fuzzing builds give a frame's scripts a hundredth of the budget (as the timeline's).
#ifdef VANTREL_FUZZ_LIMITS
constexpr long kFrameInstructions = MovieRuntime::kInstructionsPerTick / 100;
#else
constexpr long kFrameInstructions = MovieRuntime::kInstructionsPerTick;
#endif

}  // namespace

As3Movie::As3Movie(MovieRuntime& player) : player_(player) {
  machine_ = std::make_unique<Machine>(player.Heap());
  machine_->player = &player;
  // Movies of versions before 9 see the first API, as those of version 9 do.
  machine_->swfVersion = std::max(9, static_cast<int>(player.SwfVersion()));
  HideNewerDeclaredClasses(*machine_, machine_->swfVersion);
  machine_->clock = &player.Clock();
  machine_->onTrace = [this](const std::string& line) { player_.Trace(line); };
  // The root of an ActionScript 3 movie is named as the first instance.
  player.Root().name = "root1";
  // Uncaught errors go to the trace output as the debugger player prints them.
  machine_->onUncaught = [this](const std::string& text) {
    std::fprintf(stderr, "vantrel: uncaught script error: %s\n", text.c_str());
    player_.Trace(text);
  };
}

As3Movie::~As3Movie() = default;

// Whatever stops a script (an error no handler takes, the time or memory limit, the
// library's own failures) ends at these doors: the movie goes on with its next step.
void As3Movie::FrameStarted() {
  machine_->SetBudget(kFrameInstructions);
  machine_->Guard([&] { EnterFrame(); });
}

void As3Movie::EnterFrame() {
  MovieClip& root = player_.Root();
  // The code of the frame the root enters is there before its objects are placed.
  if (first_) {
    LoadFrameCode(0);
    return;
  }
  if (root.Playing()) LoadFrameCode(root.CurrentFrame() + 1);
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
  TickMedia(*machine_);
}

void As3Movie::LoadFrameCode(int frame) {
  MovieClip& root = player_.Root();
  if (frame < 0 || !root.GetTimeline() || frame >= root.GetTimeline()->framesLoaded || !framesDone_.insert(frame).second) return;
  const Frame& f = root.GetTimeline()->FrameAt(frame);
  for (const Frame::AbcBlock& block : f.abc) {
    std::string error;
    if (!machine_->LoadAbc(*block.bytes, (block.flags & 1) != 0, error) && machine_->onUncaught) machine_->onUncaught(error);
  }
  for (const auto& [id, name] : f.symbolClasses) {
    if (id == 0) {
      if (documentClass_.empty()) documentClass_ = name;
      continue;
    }
    // Linking a class to a symbol defines it: its script runs now.
    ClassObject* cls = machine_->FindClass(name);
    if (!cls) continue;
    symbols_[id] = cls;
    machine_->symbolOf.emplace(cls, id);
  }
}

void As3Movie::ConstructDocument() {
  MovieClip& root = player_.Root();
  if (constructed_ || documentClass_.empty()) return;
  constructed_ = true;
  ClassObject* cls = machine_->FindClass(documentClass_);
  if (!cls) return;
  ClassObject* sprite = machine_->FindClass("flash.display.Sprite");
  if (!machine_->IsSubclass(cls, sprite)) {
    if (machine_->onUncaught)
      machine_->onUncaught("TypeError: Error #2023: Class " + cls->QualifiedName() + "$ must inherit from Sprite to link to the root.");
    return;
  }
  machine_->Guard([&] { StageValue(*machine_); });
  machine_->Guard([&] {
    machine_->bindNext = &root;
    machine_->ConstructClass(cls, nullptr, 0);
  });
  machine_->bindNext = nullptr;
  // The root joins the stage once it is made.
  machine_->Guard([&] {
    const Value args[2] = {machine_->StrValue("added"), Value::Bool(true)};
    const Value event = machine_->Construct(Value::Obj(machine_->FindClass("flash.events.Event")), args, 2);
    machine_->CallPublic(DisplayObjectValue(*machine_, &root), "dispatchEvent", {event});
    // Its children heard addedToStage when they were placed.
    const Value stageArgs[1] = {machine_->StrValue("addedToStage")};
    const Value stageEvent = machine_->Construct(Value::Obj(machine_->FindClass("flash.events.Event")), stageArgs, 1);
    machine_->CallPublic(DisplayObjectValue(*machine_, &root), "dispatchEvent", {stageEvent});
  });
}

void As3Movie::Placed(DisplayObject& object) {
  if (object.Movie() != player_.RootMovie()) return;
  const auto it = symbols_.find(object.characterId);
  machine_->Guard([&] { ConstructPlaced(*machine_, &object, it == symbols_.end() ? nullptr : it->second); });
}

void As3Movie::ClipPlaced(MovieClip& clip) {
  player_.AddToExecList(&clip);
  if (clip.Kind() == DisplayKind::Button) {
    clip.ShowButtonState(ButtonCharacter::kUp);
    return;
  }
  clip.RunFrame();
}

void As3Movie::FrameActionsDone() {
  machine_->Guard([&] { ExitFrame(); });
}

void As3Movie::ExitFrame() {
  const bool first = first_;
  first_ = false;
  MovieClip& root = player_.Root();
  LoadFrameCode(root.CurrentFrame());
  if (first || !constructed_) ConstructDocument();
  BindTimelineNames(*machine_, &root);
  BroadcastFrameEvent(*machine_, "frameConstructed");
  RunChangedFrameScripts(*machine_);
  BroadcastFrameEvent(*machine_, "exitFrame");
}

}  // namespace vantrel::flash::avm2
