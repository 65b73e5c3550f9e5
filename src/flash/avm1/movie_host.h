// The ActionScript 1/2 machine as the script host of a movie: the runtime and the
// interpreter, each display object's script object, the three-priority action queue,
// timers (setInterval, setTimeout), the classes registered for symbols and the init
// actions run, the text fields bound to variables, and the callbacks of the data
// classes, which wait in the player's loader stage.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "flash/avm1/interpreter.h"
#include "flash/display/script_host.h"

namespace vantrel::flash {
struct LoadedMovie;

// The host of the ActionScript 1/2 machine for a runtime's movies.
std::unique_ptr<MovieScriptHost> MakeActionScript1Host(MovieRuntime& player);
}

namespace vantrel::flash::avm1 {

class MovieHost final : public MovieScriptHost {
 public:
  explicit MovieHost(MovieRuntime& player);
  ~MovieHost() override;

  Runtime& Script() { return *runtime_; }
  Interpreter& Machine() { return *machine_; }
  MovieRuntime& GetPlayer() { return player_; }

  // Script object for a display object made now (clips, buttons, text fields).
  Object* MakeScriptObject(DisplayObject& object, Object* proto);
  // After a clip or button has its place: its script object (of the class registered
  // for its symbol), the execution list, its initialize and construct events, and (for
  // clips) its first frame. byScript: attachMovie and friends, which construct at once
  // and copy initObject's properties first.
  void PostInstantiate(MovieClip* clip, Object* initObject, bool byScript);
  // The constructor registered for a sprite of movie (Object.registerClass), or null.
  Object* RegisteredClass(const LoadedMovie* movie, std::uint16_t spriteId);

  // The action queue.
  void QueueMethod(DisplayObject* target, std::string method, std::vector<Value> args, bool evenIfRemoved = false);
  void QueueConstruct(MovieClip* clip, Object* constructor, std::vector<ActionBlock> events);
  // Calls object's method name now with args; undefined when it has none.
  Value CallMethodNow(Object* object, const std::string& name, std::vector<Value> args = {});
  void BroadcastInput(const char* broadcaster, const char* event, std::vector<Value> args);

  // Writes a bound field's text to its variable (a path names the clip that holds it).
  void StoreTextVariable(TextField& field);
  // A script set name on object: the text fields bound to that variable show it.
  void VariableSet(Object* object, std::string_view name);
  // A drag ended: the dragged clip (its script object) keeps the path of its drop
  // target for _droptarget.
  void DragStopped(Object* clip, std::string dropTarget) {
    lastDragged_ = clip;
    lastDropTarget_ = std::move(dropTarget);
  }
  // Where the last drag of clip ended ("" for nothing, or for a clip not dragged last).
  std::string LastDropTarget(const Object* clip) const {
    return clip && clip == lastDragged_ ? lastDropTarget_ : std::string();
  }
  // Timers (setInterval/setTimeout): returns the id.
  int AddTimer(Value function, Object* object, std::string method, std::vector<Value> args, double intervalMs,
               bool repeat);
  bool RemoveTimer(int id);
  // Later callbacks and loads for the data classes (at the player's loader stage).
  void RunLater(avm1::MachineInterface::Later callback, Object* keepAlive);
  void LoadData(const std::string& url, const std::string& method, const std::string& formData, avm1::MachineInterface::Loaded done,
                Object* keepAlive);
  // Collects while a frame's queued script runs, when the interpreter asks because the
  // script's data outgrew the heap's budget; false where the C++ stack may hold cells
  // the roots do not reach (anything but a queued block or method of the frame loop).
  bool CollectDuringScript();

  // MovieScriptHost.
  void StartRun() override;
  bool Running() const override { return machine_->Running(); }
  void LevelMade(MovieClip& clip) override;
  void ClipPlaced(MovieClip& clip) override { PostInstantiate(&clip, nullptr, false); }
  void TextFieldPlaced(TextField& field) override;
  void VideoPlaced(DisplayObject& video) override;
  void Placed(DisplayObject&) override {}
  void Removed(DisplayObject& object, const std::string& path, bool keepEarlier) override;
  void ClearVariables(DisplayObject& object) override;
  void FrameStarted() override { machine_->ClearCarriedStack(); }
  void FrameActionsDone() override {}
  void QueueBlock(DisplayObject& target, ActionBlock block, ActionPriority priority, bool evenIfRemoved) override;
  void QueueMethod(DisplayObject& target, const char* method, bool evenIfRemoved) override {
    QueueMethod(&target, method, {}, evenIfRemoved);
  }
  void RunBlockNow(DisplayObject& target, const ActionBlock& block) override;
  void RunInitAction(MovieClip& clip, std::uint16_t spriteId, const ActionBlock& block) override;
  void RunLibraryInitAction(MovieClip& clip, const LoadedMovie& library, std::uint16_t spriteId,
                            const ActionBlock& block) override;
  void RunQueue(bool frameLoop) override;
  void RunTimers() override;
  void RunCallback(const std::function<void()>& callback) override;
  void SyncTextFields() override;
  bool SyncTextVariable(TextField& field) override;
  void TextChanged(TextField& field) override;
  bool HasProperty(DisplayObject& object, const char* name) override;
  std::optional<bool> FlagProperty(DisplayObject& object, const char* name) override;
  std::optional<double> NumberProperty(DisplayObject& object, const char* name) override;
  void BroadcastInput(const char* broadcaster, const char* event, std::optional<double> number) override;
  void CallHandlerNow(DisplayObject& object, const char* name) override;
  void FocusMoved(DisplayObject* old, DisplayObject* now) override;
  void FocusRemoved(DisplayObject& old) override;
  std::string EncodeVariables(DisplayObject& from) override;
  void SetTextVariable(DisplayObject& target, const std::string& name, const std::string& value) override;
  std::string GetVariable(std::string_view path) override;
  void SetVariable(std::string_view path, const std::string& value) override;
  void Unloading() override;
  void TraceRoots(gc::Tracer& tracer) const override;

 private:
  struct QueuedAction {
    enum class Kind { Block, Method, Construct };
    Kind kind = Kind::Block;
    DisplayObject* target = nullptr;
    ActionBlock block;
    std::string method;
    std::vector<Value> args;
    Object* constructor = nullptr;
    std::vector<ActionBlock> events;
    bool evenIfRemoved = false;
  };
  struct Timer {
    int id = 0;
    Value function;
    Object* object = nullptr;
    std::string method;
    std::vector<Value> args;
    double intervalMs = 0;
    double dueMs = 0;
    bool repeat = true;
  };
  void RunAction(QueuedAction& action);
  // The object holding a bound field's variable (null when the path finds none) and
  // the variable's name in it.
  Object* VariableOwner(TextField& field, std::string& name);
  Value ReadProperty(DisplayObject& object, const char* name);

  MovieRuntime& player_;
  std::unique_ptr<Runtime> runtime_;
  std::unique_ptr<Interpreter> machine_;
  std::deque<QueuedAction> queues_[3];
  std::vector<Timer> timers_;
  int nextTimerId_ = 0;
  std::vector<TextField*> boundFields_;
  std::set<std::pair<const Movie*, std::uint16_t>> initialised_;
  // The queued actions running now (outermost first), kept reachable for collections
  // during a script; frameQueue_ while the frame loop drains the queue.
  std::vector<const QueuedAction*> running_;
  bool frameQueue_ = false;
  Object* lastDragged_ = nullptr;  // the script object of the clip whose drag ended last
  std::string lastDropTarget_;
};

// The ActionScript 1/2 host of the player (whose movie runs on this machine).
MovieHost& HostOf(MovieRuntime& player);
inline MovieHost& HostOf(MachineInterface& machine) { return HostOf(machine.GetPlayer()); }

}  // namespace vantrel::flash::avm1
