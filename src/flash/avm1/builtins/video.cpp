// Video: the script side of a Video object on the stage. attachVideo shows a
// NetStream's picture in it; width and height are those of the picture shown.
#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/net_stream.h"
#include "flash/display/video_object.h"

namespace vantrel::flash::avm1 {

namespace {

VideoObject* VideoOf(Call& call) {
  if (!call.self) return nullptr;
  DisplayObject* object = call.machine.AsDisplay(call.self);
  return object && object->Kind() == DisplayKind::Video ? static_cast<VideoObject*>(object) : nullptr;
}

Value AttachVideo(Call& call) {
  VideoObject* video = VideoOf(call);
  if (!video) return {};
  video::StreamVideo& view = video->View();
  // A source that is no stream (a camera here, or null) leaves the video empty.
  auto picture = NetStreamPicture(call.Arg(0).AsObject());
  view.stream = picture ? picture : std::make_shared<const video::StreamPicture>();
  return {};
}

Value Clear(Call& call) {
  if (VideoObject* video = VideoOf(call)) video->View().Clear();
  return {};
}

Value Width(Call& call) {
  VideoObject* video = VideoOf(call);
  return video ? Value::Number(video->View().PictureWidth()) : Value();
}

Value Height(Call& call) {
  VideoObject* video = VideoOf(call);
  return video ? Value::Number(video->View().PictureHeight()) : Value();
}

Value Deblocking(Call& call) {
  VideoObject* video = VideoOf(call);
  return video ? Value::Number(video->View().deblocking) : Value();
}

Value SetDeblocking(Call& call) {
  if (VideoObject* video = VideoOf(call)) video->View().deblocking = ToInt32(call.machine.ToNumber(call.Arg(0)));
  return {};
}

Value Smoothing(Call& call) {
  VideoObject* video = VideoOf(call);
  return video ? Value::Bool(video->View().smoothing) : Value();
}

Value SetSmoothing(Call& call) {
  if (VideoObject* video = VideoOf(call)) video->View().smoothing = call.machine.ToBoolean(call.Arg(0));
  return {};
}

const Member kMembers[] = {
    {"attachVideo", AttachVideo, nullptr, kDontEnum | kDontDelete | kReadOnly},
    {"clear", Clear, nullptr, kDontEnum | kDontDelete | kReadOnly},
    {"width", Width, nullptr, kDontEnum | kDontDelete | kGetterOnly},
    {"height", Height, nullptr, kDontEnum | kDontDelete | kGetterOnly},
    {"deblocking", Deblocking, SetDeblocking, kDontEnum | kDontDelete},
    {"smoothing", Smoothing, SetSmoothing, kDontEnum | kDontDelete},
};

Value Construct(Call& call) { return call.self ? Value::Obj(call.self) : Value(); }

}  // namespace

void InstallVideo(Runtime& rt) {
  Object* ctor = rt.MakeClass(Construct, Construct);
  rt.AddMembers(Runtime::PrototypeOf(ctor), kMembers);
  rt.global->Define("Video", Value::Obj(ctor), kDontEnum);
  rt.prototypes["Video"] = Runtime::PrototypeOf(ctor);
}

}  // namespace vantrel::flash::avm1
