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
  // A long script collects the garbage it makes where the machine finds it safe.
  machine_->collect = [this] { player_.CollectNow(); };
  machine_->linkedClassOf = [this](const DisplayObject& object) -> ClassObject* {
    const auto it = symbols_.find({object.Movie(), object.characterId});
    return it == symbols_.end() ? nullptr : it->second;
  };
  machine_->runLoadedMovie = [this](DisplayObject* root) {
    return root && root->IsContainer() && StartLoaded(*static_cast<MovieClip*>(root));
  };
}

void As3Movie::TraceRoots(gc::Tracer& tracer) const {
  machine_->TraceRoots(tracer);
  for (const MovieCode& code : loaded_) tracer.Mark(code.root);
  tracer.Mark(hovered_);
  tracer.Mark(lastClick_);
  for (DisplayObject* pressed : pressed_) tracer.Mark(pressed);
  for (MovieClip* button : litButtons_) tracer.Mark(button);
}

bool As3Movie::StartLoaded(MovieClip& root) {
  loaded_.push_back({&root, {}, {}, false});
  bool ok = true;
  machine_->Guard([&] {
    LoadFrameCode(loaded_.back(), 0);
    // The first frame's objects are placed before the document class is made.
    player_.AddToExecList(&root);
    root.RunFrame();
    // The list may have grown while the frame ran (a movie loading another).
    for (MovieCode& code : loaded_)
      if (code.root == &root) ok = ConstructDocument(code);
  });
  return ok;
}

As3Movie::~As3Movie() = default;

void As3Movie::Unloading() {
  // What the movie kept in shared objects is written when it goes.
  machine_->SetBudget(kFrameInstructions);
  machine_->Guard([&] { FlushSharedObjects(*machine_); });
}

// Whatever stops a script (an error no handler takes, the time or memory limit, the
// library's own failures) ends at these doors: the movie goes on with its next step.
void As3Movie::FrameStarted() {
  machine_->SetBudget(kFrameInstructions);
  machine_->Guard([&] { EnterFrame(); });
  // The timeline's placements follow (their constructors run in the frame's construction).
  machine_->framePhase = Machine::FramePhase::Construct;
}

void As3Movie::EnterFrame() {
  MovieClip& root = player_.Root();
  // The code of the frame the root enters is there before its objects are placed.
  // The frame loop holds nothing of its own while the frame's code runs.
  const CallerHolds loop = machine_->HostCallerHolds(CallerHolds::Nothing);
  if (first_) {
    main_.root = &root;
    LoadFrameCode(main_, 0, loop);
    return;
  }
  if (root.Playing()) LoadFrameCode(main_, root.CurrentFrame() + 1, loop);
  for (std::size_t i = 0; i < loaded_.size(); ++i) {
    MovieClip* clip = loaded_[i].root;
    if (!clip->Removed() && clip->Playing()) LoadFrameCode(loaded_[i], clip->CurrentFrame() + 1, loop);
  }
  // The playheads move, and what their new frames remove goes, before enterFrame.
  machine_->framePhase = Machine::FramePhase::Enter;
  player_.AdvanceFrames();
  BroadcastFrameEvent(*machine_, "enterFrame");
  machine_->framePhase = Machine::FramePhase::Idle;
  // Timers due by now fire once each, in the order they were made.
  const double now = machine_->Now();
  std::vector<int> due;
  for (const Machine::Timer& t : machine_->timers)
    if (t.due <= now) due.push_back(t.id);
  for (const int id : due) {
    auto it = std::find_if(machine_->timers.begin(), machine_->timers.end(), [&](const Machine::Timer& t) { return t.id == id; });
    if (it == machine_->timers.end()) continue;
    const Machine::Timer timer = *it;
    // A repeating timer keeps its beat; one that fell behind fires once a frame until it
    // catches up.
    if (timer.repeat) it->due = timer.due + timer.interval;
    else machine_->timers.erase(it);
    machine_->firingDue = timer.due;
    machine_->Guard([&] {
      machine_->Call(timer.function, Value::Null(), timer.args.data(), static_cast<int>(timer.args.size()));
    });
    machine_->firingDue = -1;
  }
  TickMedia(*machine_);
}

void As3Movie::LoadFrameCode(MovieCode& code, int frame, CallerHolds holds) {
  MovieClip& root = *code.root;
  if (frame < 0 || !root.GetTimeline() || frame >= root.GetTimeline()->framesLoaded || !code.framesDone.insert(frame).second) return;
  const Frame& f = root.GetTimeline()->FrameAt(frame);
  for (const Frame::AbcBlock& block : f.abc) {
    std::string error;
    if (!machine_->LoadAbc(*block.bytes, (block.flags & 1) != 0, error, holds) && machine_->onUncaught)
      machine_->onUncaught(error);
  }
  // The root's class is the one linked to id 0, or else one linked to a character the
  // movie does not define.
  for (const auto& [id, name] : f.symbolClasses)
    if (id == 0 && code.documentClass.empty()) code.documentClass = name;
  for (const auto& [id, name] : f.symbolClasses)
    if (id != 0 && code.documentClass.empty() && !root.Movie()->Find(id)) code.documentClass = name;
  for (const auto& [id, name] : f.symbolClasses) {
    if (id == 0 || (name == code.documentClass && !root.Movie()->Find(id))) continue;
    // Linking a class to a symbol defines it: its script runs now.
    ClassObject* cls = machine_->FindClass(name, holds);
    if (!cls) continue;
    symbols_[{root.Movie(), id}] = cls;
    machine_->symbolOf.emplace(cls, id);
    if (root.Movie() != player_.RootMovie()) machine_->symbolMovie.emplace(cls, root.Movie());
  }
}

bool As3Movie::ConstructDocument(MovieCode& code, CallerHolds holds) {
  MovieClip& root = *code.root;
  if (code.constructed || code.documentClass.empty()) return true;
  code.constructed = true;
  ClassObject* cls = machine_->FindClass(code.documentClass, holds);
  if (!cls) return true;
  ClassObject* sprite = machine_->FindClass("flash.display.Sprite");
  if (!machine_->IsSubclass(cls, sprite)) {
    if (machine_->onUncaught)
      machine_->onUncaught("TypeError: Error #2023: Class " + cls->QualifiedName() + "$ must inherit from Sprite to link to the root.");
    return true;
  }
  machine_->Guard([&] { StageValue(*machine_); });
  const bool ok = machine_->Guard([&] {
    machine_->bindNext = &root;
    machine_->ConstructClass(cls, nullptr, 0, holds);
  });
  machine_->bindNext = nullptr;
  return ok;
}

void As3Movie::ConstructDocument() {
  MovieClip& root = player_.Root();
  if (main_.constructed || main_.documentClass.empty()) return;
  ConstructDocument(main_, machine_->HostCallerHolds(CallerHolds::Nothing));
  if (!machine_->displayObjects.count(&root)) return;  // no document class made
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
  const auto it = symbols_.find({object.Movie(), object.characterId});
  machine_->Guard([&] { ConstructPlaced(*machine_, &object, it == symbols_.end() ? nullptr : it->second); });
}

void As3Movie::TimelineRemoving(DisplayObject& object) { avm2::TimelineRemoving(*machine_, &object); }

void As3Movie::ClipPlaced(MovieClip& clip) {
  player_.AddToExecList(&clip);
  if (clip.Kind() == DisplayKind::Button) {
    machine_->Guard([&] { BuildButtonStates(*machine_, clip); });
    return;
  }
  clip.RunFrame();
}

void As3Movie::FrameActionsDone() {
  machine_->Guard([&] { ExitFrame(); });
  machine_->framePhase = Machine::FramePhase::Idle;
}

void As3Movie::ExitFrame() {
  const bool first = first_;
  first_ = false;
  MovieClip& root = player_.Root();
  main_.root = &root;
  const CallerHolds loop = machine_->HostCallerHolds(CallerHolds::Nothing);
  LoadFrameCode(main_, root.CurrentFrame(), loop);
  if (first || !main_.constructed) ConstructDocument();
  BindTimelineNames(*machine_, &root);
  for (std::size_t i = 0; i < loaded_.size(); ++i) {
    MovieClip* clip = loaded_[i].root;
    if (clip->Removed()) continue;
    LoadFrameCode(loaded_[i], clip->CurrentFrame(), loop);
    BindTimelineNames(*machine_, clip);
  }
  BroadcastFrameEvent(*machine_, "frameConstructed");
  machine_->framePhase = Machine::FramePhase::Scripts;
  RunChangedFrameScripts(*machine_, loop);
  machine_->framePhase = Machine::FramePhase::Exit;
  BroadcastFrameEvent(*machine_, "exitFrame");
  machine_->framePhase = Machine::FramePhase::Idle;
  if (machine_->stageInvalidated) {
    machine_->stageInvalidated = false;
    BroadcastFrameEvent(*machine_, "render");
  }
  DeliverLocalMessages(*machine_);
}

}  // namespace vantrel::flash::avm2
