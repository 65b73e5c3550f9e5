// An ActionScript 3 movie in the player, its script host: the machine that runs its ABC
// blocks, the document class constructed on the root clip, the classes constructed on
// the objects the timelines place, frame scripts, frame events and timers, on the
// player's clock.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <QPointF>

#include "flash/avm2/machine.h"
#include "flash/display/script_host.h"

namespace vantrel::flash {
class MovieRuntime;

// The host of the ActionScript 3 machine for a runtime's movies.
std::unique_ptr<MovieScriptHost> MakeActionScript3Host(MovieRuntime& player);
}

namespace vantrel::flash::avm2 {

class As3Movie final : public MovieScriptHost {
 public:
  explicit As3Movie(MovieRuntime& player);
  ~As3Movie() override;
  Machine& GetMachine() { return *machine_; }

  // Start of a frame: enterFrame to its listeners, due timers.
  void FrameStarted() override;
  // After the timelines moved: the new frame's ABC blocks and class links (the document
  // class on the first frame), then the frame scripts of clips whose frame changed.
  void FrameActionsDone() override;
  // The timeline placed object: its class is constructed on it.
  void Placed(DisplayObject& object) override;
  // A clip or button made for a symbol: it joins the execution list and shows its first
  // frame (or its up state).
  void ClipPlaced(MovieClip& clip) override;
  void TraceRoots(gc::Tracer& tracer) const override;

  // What belongs to the ActionScript 1/2 side of a movie has no part here: the
  // timelines' action blocks, clip events, the objects' own handlers and properties
  // and the variables of the host's calls. The machine keeps its own budget per frame.
  void StartRun() override {}
  bool Running() const override { return false; }
  void LevelMade(MovieClip&) override {}
  void TextFieldPlaced(TextField&) override {}
  void VideoPlaced(DisplayObject&) override {}
  void Removed(DisplayObject&, const std::string&, bool) override {}
  void TimelineRemoving(DisplayObject& object) override;
  void ClearVariables(DisplayObject&) override {}
  void QueueBlock(DisplayObject&, ActionBlock, ActionPriority, bool) override {}
  void QueueMethod(DisplayObject&, const char*, bool) override {}
  void RunBlockNow(DisplayObject&, const ActionBlock&) override {}
  void RunInitAction(MovieClip&, std::uint16_t, const ActionBlock&) override {}
  void RunQueue(bool) override {}
  void RunTimers() override {}
  void RunCallback(const std::function<void()>& callback) override {
    if (callback) callback();
  }
  void SyncTextFields() override {}
  bool SyncTextVariable(TextField&) override { return false; }
  bool HasProperty(DisplayObject&, const char*) override { return false; }
  void BroadcastInput(const char*, const char*, std::optional<double>) override {}
  void CallHandlerNow(DisplayObject&, const char*) override {}
  void FocusRemoved(DisplayObject&) override {}
  std::string EncodeVariables(DisplayObject&) override { return {}; }
  void SetTextVariable(DisplayObject&, const std::string&, const std::string&) override {}
  std::string GetVariable(std::string_view) override { return {}; }
  void SetVariable(std::string_view, const std::string&) override {}
  void Unloading() override;

  // Input (as3_input.cpp): the pointer, its buttons and wheel, the keys and the focus
  // reach the display list as events. The tab order asks for tabEnabled, tabChildren
  // and tabIndex as the scripts set them.
  bool TakesInput() const override { return true; }
  void PointerMoved() override;
  void PointerButton(bool down, int button) override;
  void PointerWheel(int lines) override;
  void KeyPressed(bool down, int keyCode, int charCode) override;
  bool TextTyped(TextField& field, const std::string& utf8) override;
  void TextChanged(TextField& field) override;
  void FocusMoved(DisplayObject* old, DisplayObject* now) override;
  std::optional<bool> FlagProperty(DisplayObject& object, const char* name) override;
  std::optional<double> NumberProperty(DisplayObject& object, const char* name) override;
  // The interactive object under the pointer (the stage when there is none).
  DisplayObject* ObjectUnderPointer();

  // Runs a movie a Loader loaded on root, a clip of its main timeline: the code of its
  // first frame, the objects it places and its document class. False when the document
  // class's constructor threw.
  bool StartLoaded(MovieClip& root);

 private:
  // The code of one movie: the first one's, or one a Loader runs.
  struct MovieCode {
    MovieClip* root = nullptr;
    std::set<int> framesDone;
    std::string documentClass;
    bool constructed = false;
  };
  // Loads the ABC blocks of the movie's frame and notes its symbol links (once a frame).
  // holds is CallerHolds::Nothing where the frame loop calls, so scripts may collect.
  void LoadFrameCode(MovieCode& code, int frame, CallerHolds holds = CallerHolds::Values);
  // Constructs the document class on the movie's root; false when its constructor threw.
  bool ConstructDocument(MovieCode& code, CallerHolds holds = CallerHolds::Values);
  void ConstructDocument();
  // The bodies of BeforeFrame and AfterFrame, inside the machine's guard.
  void EnterFrame();
  void ExitFrame();

  // Input: the topmost interactive object under point in clip.
  // hit: something under the point takes it (target null: a container above decides).
  struct Pick {
    bool hit = false;
    DisplayObject* target = nullptr;
  };
  Pick PickIn(MovieClip& clip, QPointF stage, int nesting);
  bool Interactive(DisplayObject& object);
  bool TakesPointer(DisplayObject& object, QPointF stage);
  DisplayObject* StageObject();
  // Sends a new event of the class made with args to target; false when a listener
  // prevented its default.
  bool Dispatch(DisplayObject* target, const char* eventClass, std::vector<Value> args);
  void MouseEvent(DisplayObject* target, const std::string& type, DisplayObject* related, bool bubbles = true,
                  int delta = 0);
  bool FocusEvent(DisplayObject* target, const char* type, DisplayObject* related, bool cancelable, int keyCode);
  // A press of the left button moves the focus to what it pressed (or takes it away).
  void ClickFocus(DisplayObject* clicked);
  // Buttons show the state the pointer and the left button give them: down while pressed
  // under the pointer, over under it or while pressed away from it, up otherwise.
  void UpdateButtonStates();
  // Updates the buttons' states when the input handler that makes it ends.
  struct ButtonStatesAfter {
    As3Movie& movie;
    ~ButtonStatesAfter() { movie.UpdateButtonStates(); }
  };
  void TabFocus(bool reverse);

  MovieRuntime& player_;
  std::unique_ptr<Machine> machine_;
  // The object under the pointer (null over the stage), what each button pressed, the
  // last click that may start a double click.
  DisplayObject* hovered_ = nullptr;
  DisplayObject* pressed_[3] = {nullptr, nullptr, nullptr};
  DisplayObject* lastClick_ = nullptr;
  // The buttons showing another state than up.
  std::vector<MovieClip*> litButtons_;
  double lastClickTime_ = 0;
  // The buttons held (bit 0 left, 1 right, 2 middle).
  int buttonsDown_ = 0;
  MovieCode main_;
  // Movies Loaders run, in the order they arrived (a deque: a script that loads a
  // movie must not move the one whose code runs).
  std::deque<MovieCode> loaded_;
  // (movie, character id) -> linked class
  std::map<std::pair<const LoadedMovie*, std::uint16_t>, ClassObject*> symbols_;
  bool first_ = true;
};

}  // namespace vantrel::flash::avm2
