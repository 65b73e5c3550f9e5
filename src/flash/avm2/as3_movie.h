// An ActionScript 3 movie in the player: the machine that runs its ABC blocks, the
// document class constructed on the root clip, frame scripts, frame events and timers,
// on the player's clock.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>

#include "flash/avm2/machine.h"

namespace vantrel::flash {
class Player;
}

namespace vantrel::flash::avm2 {

class As3Movie {
 public:
  explicit As3Movie(Player& player);
  ~As3Movie();
  // Start of a frame: enterFrame to its listeners, due timers.
  void BeforeFrame();
  // After the timelines moved: the new frame's ABC blocks and class links (the document
  // class on the first frame), then the frame scripts of clips whose frame changed.
  void AfterFrame();
  // The timeline placed object: its class is constructed on it.
  void Placed(DisplayObject* object);
  void Trace(gc::Tracer& tracer) const { machine_->TraceRoots(tracer); }
  Machine& GetMachine() { return *machine_; }

 private:
  // Loads the ABC blocks of the root's frame and notes its symbol links (once a frame).
  void LoadFrameCode(int frame);
  void ConstructDocument();
  // The bodies of BeforeFrame and AfterFrame, inside the machine's guard.
  void EnterFrame();
  void ExitFrame();

  Player& player_;
  std::unique_ptr<Machine> machine_;
  std::set<int> framesDone_;
  std::map<std::uint16_t, ClassObject*> symbols_;  // character id -> linked class
  std::string documentClass_;
  bool constructed_ = false;
  bool first_ = true;
};

}  // namespace vantrel::flash::avm2
