// flash.media.Video: a display object that shows a NetStream's picture at its own size
// (or, placed by the timeline, the frames of its embedded video stream).
#include <climits>
#include <cmath>

#include "flash/avm2/builtins/media.h"
#include "flash/avm2/builtins/support.h"
#include "flash/display/player.h"
#include "flash/display/video_object.h"

namespace vantrel::flash::avm2 {

namespace {

Object* AllocateVideo(Machine& m, ClassObject*) {
  auto* o = m.heap.Make<NativeObject>(ObjectKind::Display, nullptr, nullptr);
  if (!m.player) return o;
  DisplayObject* d = nullptr;
  if (m.bindNext && m.bindNext->Kind() == DisplayKind::Video) {
    d = m.bindNext;
    m.bindNext = nullptr;
  } else {
    d = m.player->Create(m.player->RootMovie(), std::make_shared<video::StreamVideo>(nullptr, 320, 240), 0);
  }
  if (d) {
    o->display = d;
    m.displayObjects[d] = o;
  }
  return o;
}

VideoObject* VideoArg(Machine& m, const Value& self) {
  auto* o = Receiver<NativeObject>(m, self, ObjectKind::Display, "Video");
  if (!o->display || o->display->Kind() != DisplayKind::Video)
    m.ThrowError("Error", 2012, "Display objects cannot be made without a player.");
  return static_cast<VideoObject*>(o->display);
}

// Sizes are whole pixels; none given (or zero) is 320 x 240. Negative sizes, or ones
// whose area or twips no longer fit, are refused.
Value VideoConstruct(Machine& m, const Value& self, const Value* args, int argc) {
  // Arguments given (undefined included) convert as ints; missing ones take the default.
  std::int64_t width = argc > 0 ? m.ToInt32(args[0]) : 320;
  std::int64_t height = argc > 1 ? m.ToInt32(args[1]) : 240;
  if (width < 0 || height < 0) m.ThrowError("RangeError", 2006, "The supplied index is out of bounds.");
  if (width == 0 || height == 0) width = 320, height = 240;
  if (width * height >= (std::int64_t{1} << 29) || width * 20 > INT_MAX || height * 20 > INT_MAX)
    m.ThrowError("RangeError", 2006, "The supplied index is out of bounds.");
  auto* o = static_cast<NativeObject*>(self.object);
  if (o->display && o->display->Kind() == DisplayKind::Video && o->display->characterId == 0)
    static_cast<VideoObject*>(o->display)->MakeView(static_cast<int>(width), static_cast<int>(height));
  return Value();
}

Value AttachNetStream(Machine& m, const Value& self, const Value* args, int argc) {
  video::StreamVideo& view = VideoArg(m, self)->View();
  // Anything that is no stream (null included) leaves the video empty.
  auto picture = NetStreamPicture(Arg(args, argc, 0));
  view.stream = picture ? picture : std::make_shared<const video::StreamPicture>();
  return Value();
}

Value AttachCamera(Machine& m, const Value& self, const Value*, int) {
  // No camera is offered: the video shows nothing.
  VideoArg(m, self)->View().stream = std::make_shared<const video::StreamPicture>();
  return Value();
}

Value Clear(Machine& m, const Value& self, const Value*, int) {
  VideoArg(m, self)->View().Clear();
  return Value();
}

Value VideoWidth(Machine& m, const Value& self, const Value*, int) {
  return Value::Number(VideoArg(m, self)->View().PictureWidth());
}
Value VideoHeight(Machine& m, const Value& self, const Value*, int) {
  return Value::Number(VideoArg(m, self)->View().PictureHeight());
}
Value GetSmoothing(Machine& m, const Value& self, const Value*, int) { return Value::Bool(VideoArg(m, self)->View().smoothing); }
Value SetSmoothing(Machine& m, const Value& self, const Value* args, int argc) {
  VideoArg(m, self)->View().smoothing = m.ToBoolean(Arg(args, argc, 0));
  return Value();
}
Value GetDeblocking(Machine& m, const Value& self, const Value*, int) {
  return Value::Number(VideoArg(m, self)->View().deblocking);
}
Value SetDeblocking(Machine& m, const Value& self, const Value* args, int argc) {
  VideoArg(m, self)->View().deblocking = m.ToInt32(Arg(args, argc, 0));
  return Value();
}

}  // namespace

void InstallVideo(Machine& m) {
  ClassObject* cls = m.DefineClass("flash.media", "Video", m.FindClass("flash.display.DisplayObject"), VideoConstruct);
  cls->allocate = AllocateVideo;
  static const Member kVideoMembers[] = {
      {"attachNetStream", AttachNetStream, nullptr, 0, 0},
      {"attachCamera", AttachCamera, nullptr, 0, 0},
      {"clear", Clear, nullptr, 0, 0},
      {"videoWidth", VideoWidth, nullptr, kAccessor, 0},
      {"videoHeight", VideoHeight, nullptr, kAccessor, 0},
      {"smoothing", GetSmoothing, SetSmoothing, kAccessor, 0},
      {"deblocking", GetDeblocking, SetDeblocking, kAccessor, 0},
  };
  Install(m, cls, kVideoMembers);
}

}  // namespace vantrel::flash::avm2
