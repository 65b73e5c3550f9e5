// Timeline actions: frames, labels, targets, waits and URLs of the movie a script runs in.
#include <algorithm>
#include <cmath>
#include <string>

#include "flash/avm1/display_binding.h"
#include "flash/avm1/interpreter_internal.h"
#include "flash/display/display_object.h"

namespace vantrel::flash::avm1 {

void Interpreter::ActionNextFrame(Step& step) {
  Frame& frame = step.frame;
  TimelineAction(*this, AsDisplay(frame.target), TimelineOp::NextFrame);
}

void Interpreter::ActionPreviousFrame(Step& step) {
  Frame& frame = step.frame;
  TimelineAction(*this, AsDisplay(frame.target), TimelineOp::PrevFrame);
}

void Interpreter::ActionPlay(Step& step) {
  Frame& frame = step.frame;
  TimelineAction(*this, AsDisplay(frame.target), TimelineOp::Play);
}

void Interpreter::ActionStop(Step& step) {
  Frame& frame = step.frame;
  TimelineAction(*this, AsDisplay(frame.target), TimelineOp::Stop);
}

void Interpreter::ActionToggleQuality(Step&) {
  ToggleQuality(*this);
}

void Interpreter::ActionStopSounds(Step&) {
  StopSounds(*this);
}

void Interpreter::ActionGotoFrame(Step& step) {
  Frame& frame = step.frame;
  Reader& r = step.r;
  GotoFrame(*this, AsDisplay(frame.target), r.U16(), false);
}

void Interpreter::ActionGoToLabel(Step& step) {
  Frame& frame = step.frame;
  Reader& r = step.r;
  GotoLabel(*this, AsDisplay(frame.target), std::string(r.StringView()), false);
}

void Interpreter::ActionGetURL(Step& step) {
  Frame& frame = step.frame;
  Reader& r = step.r;
  const std::string url(r.StringView());
  const std::string target(r.StringView());
  GetUrl(*this, AsDisplay(frame.target), url, target, 0, false, false);
}

void Interpreter::ActionWaitForFrame(Step& step) {
  Frame& frame = step.frame;
  Reader& r = step.r;
  const int wanted = r.U16();
  const int skip = r.U8();
  if (!FrameLoaded(AsDisplay(frame.target), wanted)) SkipActions(frame, skip);
}

void Interpreter::ActionWaitForFrame2(Step& step) {
  Frame& frame = step.frame;
  Reader& r = step.r;
  const int skip = r.U8();
  const Value f = Pop();
  if (!FrameValueLoaded(*this, AsDisplay(frame.target), f)) SkipActions(frame, skip);
}

void Interpreter::ActionSetTarget(Step& step) {
  Frame& frame = step.frame;
  Reader& r = step.r;
  SetTargetPath(frame, r.StringView());
}

void Interpreter::ActionSetTarget2(Step& step) {
  Frame& frame = step.frame;
  const Value t = Pop();
  if (DisplayObject* d = AsDisplay(t.AsObject())) {
    // A clip is found again by its path: of two clips with one name, the first wins.
    SetTargetPath(frame, DisplayDotPath(d));
  } else {
    SetTargetPath(frame, ToString(t));
  }
}

void Interpreter::ActionGotoFrame2(Step& step) {
  Frame& frame = step.frame;
  Reader& r = step.r;
  const std::uint8_t flags = r.U8();
  const int bias = (flags & 2) ? r.U16() : 0;
  const Value f = Pop();
  GotoFrameValue(*this, AsDisplay(frame.target), f, (flags & 1) != 0, bias);
}

void Interpreter::ActionCall(Step& step) {
  Frame& frame = step.frame;
  const Value f = Pop();
  CallFrameAction(frame, f);
}

void Interpreter::ActionGetURL2(Step& step) {
  Frame& frame = step.frame;
  Reader& r = step.r;
  const std::uint8_t flags = r.U8();
  const std::string target = ToString(Pop());
  const std::string url = ToString(Pop());
  // The method in the low bits, load-into-target 0x40, load-variables 0x80.
  GetUrl(*this, AsDisplay(frame.target), url, target, flags & 3, (flags & 0x40) != 0, (flags & 0x80) != 0);
}

}  // namespace vantrel::flash::avm1
