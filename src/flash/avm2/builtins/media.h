// What the sound and stream classes share: script objects with something under way (a
// file loading, a sound playing, a video streaming) that the frame loop moves on once a
// frame, so that their events reach scripts between frames, never from the sound thread.
#pragma once

#include <memory>
#include <string>

#include "flash/avm2/machine.h"
#include "flash/display/display_object.h"

namespace vantrel::flash::audio {
class SoundEvents;
}
namespace vantrel::flash::video {
struct StreamPicture;
}

namespace vantrel::flash::avm2 {

// An event dispatcher (the dispatcher's listener list lives in `list`) with a task.
class MediaObject : public NativeObject {
 public:
  MediaObject() : NativeObject(ObjectKind::Display, nullptr, nullptr) {}
  // One frame has passed: true while something is still under way.
  virtual bool Tick(Machine&) { return false; }
  bool restarted = false;  // set going again (KeepTicking) during this frame's ticks
};

// Ticks object each frame (and keeps it alive) until its Tick answers false.
void KeepTicking(Machine& m, MediaObject* object);
// The player's sounds; null without a player.
audio::SoundEvents* SoundsOf(Machine& m);
// Dispatches a new event of class eventClass ("flash.events.Event", ...) made with args
// (the type first) at target.
void DispatchNew(Machine& m, Object* target, const std::string& eventClass, std::vector<Value> args);

// A sound transform (volume and the four channel shares) as scripts see it.
struct TransformValues {
  double volume = 1, ll = 1, lr = 0, rl = 0, rr = 1;
};
// A new SoundTransform object with values.
Value NewSoundTransform(Machine& m, const TransformValues& values);
// The values of a SoundTransform object; TypeError when value is none.
TransformValues SoundTransformOf(Machine& m, const Value& value);
// Channels and the mixer keep their transform in whole percent, as the player does.
flash::SoundTransform ToPercent(const TransformValues& values);
TransformValues FromPercent(const flash::SoundTransform& percent);
// The soundTransform of a sprite or button: what its timeline's sounds and those of the
// clips inside it go through. It reads back what a script set.
Value GetObjectSoundTransform(Machine& m, const Value& self, const Value* args, int argc);
Value SetObjectSoundTransform(Machine& m, const Value& self, const Value* args, int argc);
// flash.net.Socket and XMLSocket (builtins/socket.cpp), installed with URLLoader.
void InstallSockets(Machine& m);
// The picture of a NetStream object; null when stream is none.
std::shared_ptr<const video::StreamPicture> NetStreamPicture(const Value& stream);

}  // namespace vantrel::flash::avm2
