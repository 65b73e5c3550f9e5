// The Sound, NetConnection/NetStream and Video classes inside a running movie: sounds
// attached from the movie's exports and loaded from MP3 files play on the mixer, end
// through the frame loop, follow their clip's transform; a Flash video next to the movie
// plays with its status events, metadata and picture.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "flash/audio/mixer.h"
#include "flash/avm1/interpreter.h"
#include "flash/avm1/movie_host.h"
#include "flash/control/flash_control.h"
#include "flash/video/flv_index.h"
#include "support/swf_writer.h"
#include "support/temp_home.h"

namespace vantrel::flash::avm1 {
namespace {

namespace fs = std::filesystem;
using vantrel::testing::Le16;
using vantrel::testing::Le32;
using vantrel::testing::SwfWriter;

// What the natives below heard, in order.
std::vector<std::string> g_events;

Value Record(Call& call) {
  std::string line = call.machine.ToString(call.callee ? call.machine.Get(call.callee, "label") : Value());
  for (std::size_t i = 0; i < call.Count(); ++i) line += " " + call.machine.ToString(call.Arg(i));
  if (call.self) {
    const Value position = call.machine.Get(call.self, "position");
    if (!position.IsUndefined()) line += " @" + call.machine.ToString(position);
  }
  g_events.push_back(line);
  return {};
}

// A movie of `frames` empty frames at 20 fps that exports a 0.25 s PCM sound as "tone"
// (a constant level on the left channel, silence on the right).
std::string ToneMovie(int frames = 40) {
  SwfWriter swf(8, 100, 100, 20, static_cast<std::uint16_t>(frames));
  std::string pcm;
  for (int i = 0; i < 11025; ++i) pcm += Le16(static_cast<std::uint16_t>(16384)) + Le16(0);
  swf.Tag(14, Le16(1) + std::string(1, '\x3F') + Le32(11025) + pcm, true);  // PCM 44 kHz 16-bit stereo
  swf.Tag(56, Le16(1) + Le16(1) + "tone" + std::string(1, '\0'));
  for (int i = 0; i < frames; ++i) swf.ShowFrame();
  return swf.End().Plain();
}

struct Running {
  audio::Mixer mixer;
  FlashControl control;
  std::vector<float> out;

  explicit Running(const std::string& movie, bool withMixer, const std::string& path = {}) {
    g_events.clear();
    if (withMixer) control.SetMixer(&mixer);
    if (!path.empty()) {
      std::ofstream(path, std::ios::binary) << movie;
      EXPECT_TRUE(control.LoadMovie(0, path));
    } else {
      EXPECT_TRUE(control.LoadMovieData({reinterpret_cast<const std::uint8_t*>(movie.data()), movie.size()}));
    }
  }
  Interpreter& M() { return avm1::HostOf(*control.Engine()).Machine(); }
  Runtime& Rt() { return avm1::HostOf(*control.Engine()).Script(); }
  Object* New(const char* cls, std::vector<Value> args = {}) {
    return M().Construct(M().Get(Rt().global, cls).AsObject(), args);
  }
  Value Call(Object* o, const char* method, std::vector<Value> args = {}) {
    return M().CallMethod(Value::Obj(o), method, args);
  }
  Value Get(Object* o, const char* name) { return M().Get(o, name); }
  void Listen(Object* o, const char* event) {
    Object* fn = Rt().MakeFunction(Record);
    fn->Define("label", M().Str(event));
    M().Set(o, event, Value::Obj(fn));
  }
  // One frame, with the mixer (when the test owns it) pulled for that frame's sound.
  std::pair<float, float> Frame() {
    control.Tick();
    const std::size_t frames = audio::kMixRate / 20;
    out.assign(frames * 2, 0);
    mixer.Render(out.data(), frames);
    float left = 0, right = 0;
    for (std::size_t i = 0; i < frames; ++i) {
      left = std::max(left, std::fabs(out[i * 2]));
      right = std::max(right, std::fabs(out[i * 2 + 1]));
    }
    return {left, right};
  }
};

TEST(SoundClass, AttachedSoundPlaysAndEndsThroughTheFrameLoop) {
  Running run(ToneMovie(), false);
  Object* sound = run.New("Sound");
  EXPECT_TRUE(run.Get(sound, "duration").IsUndefined());  // nothing attached yet
  EXPECT_TRUE(run.Call(sound, "getDuration").IsUndefined());
  run.Call(sound, "attachSound", {run.M().Str("TONE")});  // export names ignore case
  EXPECT_EQ(run.M().ToNumber(run.Get(sound, "duration")), 250);
  EXPECT_EQ(run.M().ToNumber(run.Call(sound, "getPosition")), 0);
  run.Listen(sound, "onSoundComplete");
  run.Call(sound, "start", {Value::Number(0), Value::Number(2)});
  // Without a host mixer the movie's own silent one moves 50 ms a frame: two loops of
  // 0.25 s end after ten frames.
  for (int i = 0; i < 8; ++i) run.control.Tick();
  EXPECT_TRUE(g_events.empty());
  const double position = run.M().ToNumber(run.Get(sound, "position"));
  EXPECT_GT(position, 0);
  EXPECT_LT(position, 250);
  for (int i = 0; i < 4; ++i) run.control.Tick();
  ASSERT_EQ(g_events.size(), 1u);
  EXPECT_EQ(g_events[0], "onSoundComplete @250");
  // position and duration belong to the object now: the script cannot overwrite them.
  run.M().Set(sound, "duration", run.M().Str("x"));
  EXPECT_EQ(run.M().ToNumber(run.Get(sound, "duration")), 250);
}

TEST(SoundClass, AClipWhoseClassDerivesFromSoundStaysAClipAndIsASoundToo) {
  // What super() in the constructor of a class registered for a clip does.
  Running run(ToneMovie(), false);
  Object* root = avm1::ScriptObjectOf(&run.control.Engine()->Root());
  Object* clip = run.Call(root, "createEmptyMovieClip", {run.M().Str("mc"), Value::Number(1)}).AsObject();
  ASSERT_NE(clip, nullptr);
  const Value soundClass = run.M().Get(run.Rt().global, "Sound");
  run.M().CallFunction(soundClass, Value::Obj(clip), {});
  EXPECT_EQ(run.M().ToString(run.Get(clip, "_name")), "mc");
  run.M().Set(clip, "_x", Value::Number(5.52));
  EXPECT_EQ(run.M().ToNumber(run.Get(clip, "_x")), 5.5);
  run.M().Set(clip, "getVolume", run.Get(run.Rt().soundProto, "getVolume"));
  run.M().Set(clip, "setVolume", run.Get(run.Rt().soundProto, "setVolume"));
  run.M().Set(clip, "attachSound", run.Get(run.Rt().soundProto, "attachSound"));
  EXPECT_EQ(run.M().ToNumber(run.Call(clip, "getVolume")), 100);
  run.Call(clip, "setVolume", {Value::Number(10)});
  EXPECT_EQ(run.M().ToNumber(run.Call(clip, "getVolume")), 10);
  run.Call(clip, "attachSound", {run.M().Str("tone")});
  EXPECT_EQ(run.M().ToNumber(run.Get(clip, "duration")), 250);
  // A plain object never becomes one.
  Object* plain = run.M().NewObject();
  EXPECT_TRUE(run.M().CallFunction(run.Get(run.Rt().soundProto, "getVolume"), Value::Obj(plain), {}).IsUndefined());
}

TEST(SoundClass, ClipVolumeAndPanFollowTheirSoundObjects) {
  Running run(ToneMovie(), true);
  Object* root = avm1::ScriptObjectOf(&run.control.Engine()->Root());
  Object* clip = run.Call(root, "createEmptyMovieClip", {run.M().Str("mc"), Value::Number(1)}).AsObject();
  ASSERT_NE(clip, nullptr);
  Object* first = run.New("Sound", {Value::Obj(clip)});
  Object* second = run.New("Sound", {run.M().Str("mc")});
  run.Call(first, "attachSound", {run.M().Str("tone")});
  run.Call(first, "start");
  const float full = run.Frame().first;
  EXPECT_NEAR(full, 0.5, 0.01);
  // The other Sound object of the same clip changes what the playing sound does.
  run.Call(second, "setVolume", {Value::Number(50)});
  EXPECT_EQ(run.M().ToNumber(run.Call(first, "getVolume")), 50);
  run.Frame();
  EXPECT_NEAR(run.Frame().first, 0.25, 0.01);
  // A transform that sends the left channel to the right only.
  Object* transform = run.M().NewObject();
  run.M().Set(transform, "ll", Value::Number(0));
  run.M().Set(transform, "rl", Value::Number(100));
  run.Call(first, "setTransform", {Value::Obj(transform)});
  run.Frame();
  const auto swapped = run.Frame();
  EXPECT_NEAR(swapped.first, 0, 0.01);
  EXPECT_NEAR(swapped.second, 0.25, 0.01);
  EXPECT_EQ(run.M().ToNumber(run.Call(second, "getPan")), 100);  // 100 - |ll|
  run.Call(first, "setPan", {Value::Number(-25)});
  EXPECT_EQ(run.M().ToNumber(run.Call(second, "getPan")), -25);
  // setVolume takes integers the player's way: what does not fit becomes the smallest.
  run.Call(second, "setVolume", {Value::Number(NAN)});
  EXPECT_EQ(run.M().ToNumber(run.Call(first, "getVolume")), -2147483648.0);

  // The owner is found by its path: renamed away, the objects act on nothing.
  run.M().Set(clip, "_name", run.M().Str("other"));
  EXPECT_TRUE(run.Call(first, "getVolume").IsUndefined());
  run.Call(first, "setVolume", {Value::Number(5)});
  run.Call(first, "start");
  EXPECT_EQ(run.Frame().first, 0) << "nor does a sound start while its clip is missing";
  run.M().Set(clip, "_name", run.M().Str("mc"));
  EXPECT_EQ(run.M().ToNumber(run.Call(first, "getVolume")), -2147483648.0);

  // stop() on a clip's Sound stops that clip's sounds only; the global one stops all.
  Object* global = run.New("Sound");
  run.Call(global, "attachSound", {run.M().Str("tone")});
  run.Call(global, "start");
  run.Call(first, "setVolume", {Value::Number(100)});
  run.Call(first, "start");
  run.Call(first, "stop");
  run.Frame();
  EXPECT_NEAR(run.Frame().first, 0.5, 0.01);  // the global sound alone
  run.Call(global, "stop");
  run.Frame();
  EXPECT_EQ(run.Frame().first, 0);
}

TEST(SoundClass, AParentsTransformReachesTheSoundsOfItsChildren) {
  Running run(ToneMovie(), true);
  Object* root = avm1::ScriptObjectOf(&run.control.Engine()->Root());
  Object* outer = run.Call(root, "createEmptyMovieClip", {run.M().Str("outer"), Value::Number(1)}).AsObject();
  Object* inner = run.Call(outer, "createEmptyMovieClip", {run.M().Str("inner"), Value::Number(1)}).AsObject();
  ASSERT_NE(inner, nullptr);
  Object* child = run.New("Sound", {Value::Obj(inner)});
  run.Call(child, "attachSound", {run.M().Str("tone")});
  run.Call(child, "start", {Value::Number(0), Value::Number(4)});
  EXPECT_NEAR(run.Frame().first, 0.5, 0.01);
  // The parent's volume and the child's multiply, on playing sounds and on new ones.
  Object* parent = run.New("Sound", {Value::Obj(outer)});
  run.Call(parent, "setVolume", {Value::Number(50)});
  run.Frame();
  EXPECT_NEAR(run.Frame().first, 0.25, 0.01);
  run.Call(child, "setVolume", {Value::Number(50)});
  run.Frame();
  EXPECT_NEAR(run.Frame().first, 0.125, 0.01);
  run.Call(child, "stop");
  run.Call(child, "start");
  run.Frame();
  EXPECT_NEAR(run.Frame().first, 0.125, 0.01);
  EXPECT_EQ(run.M().ToNumber(run.Call(child, "getVolume")), 50);  // each keeps its own value
}

// A sound a sprite's timeline starts begins with the volume of its clip and of the
// clips around it.
TEST(SoundClass, ATimelineSoundStartsWithTheVolumeOfItsClipAndItsParents) {
  using vantrel::testing::SwfTag;
  SwfWriter swf(8, 100, 100, 20, 8);
  std::string pcm;
  for (int i = 0; i < 11025; ++i) pcm += Le16(static_cast<std::uint16_t>(16384)) + Le16(0);
  swf.Tag(14, Le16(1) + std::string(1, '\x3F') + Le32(11025) + pcm, true);
  // Sprite 2: two quiet frames, then StartSound of sound 1, then a stop.
  const std::string spriteTags = SwfTag(1, "") + SwfTag(1, "") + SwfTag(15, Le16(1) + std::string(1, '\0')) +
                                 SwfTag(1, "") + SwfTag(12, std::string("\x07\x00", 2)) + SwfTag(1, "") + SwfTag(0, "");
  swf.Tag(39, Le16(2) + Le16(4) + spriteTags);
  swf.Tag(26, std::string(1, '\x26') + Le16(1) + Le16(2) + std::string(1, '\0') + "inner" + std::string(1, '\0'));
  for (int i = 0; i < 8; ++i) swf.ShowFrame();
  Running run(swf.End().Plain(), true);
  Object* root = avm1::ScriptObjectOf(&run.control.Engine()->Root());
  Object* volume = run.New("Sound", {Value::Obj(root)});
  run.Call(volume, "setVolume", {Value::Number(50)});
  float loudest = 0;
  for (int i = 0; i < 6; ++i) loudest = std::max(loudest, run.Frame().first);
  EXPECT_NEAR(loudest, 0.25, 0.01);  // the root's 50 % over a full-scale half-level tone
}

// An MPEG-1 layer III frame at 44.1 kHz, 128 kbit/s: 417 bytes of silence.
std::string SilentMp3Frame() {
  std::string frame = "\xFF\xFB\x90\x00";
  frame.resize(417, '\0');
  return frame;
}

std::string Id3Text(const std::string& id, const std::string& text) {
  const std::string body = std::string(1, '\0') + text;
  return id + std::string(1, '\0') + std::string(1, '\0') + std::string(1, '\0') +
         std::string(1, static_cast<char>(body.size())) + std::string(2, '\0') + body;
}

TEST(SoundClass, LoadedMp3FilesAnnounceId3AndLoadAndStreamByThemselves) {
  vantrel::testing::TempHome home;
  const fs::path folder = fs::path(home.Path());
  std::string tag = Id3Text("TIT2", "Song") + Id3Text("TPE1", "Artist");
  std::string mp3 = "ID3\x03" + std::string(2, '\0') + std::string(3, '\0') + std::string(1, static_cast<char>(tag.size())) + tag;
  for (int i = 0; i < 20; ++i) mp3 += SilentMp3Frame();  // 20 x 1152 samples: 522 ms
  std::ofstream(folder / "song.mp3", std::ios::binary) << mp3;

  Running run(ToneMovie(), false, (folder / "movie.swf").string());
  Object* sound = run.New("Sound");
  run.Listen(sound, "onID3");
  run.Listen(sound, "onLoad");
  run.Listen(sound, "onSoundComplete");
  run.Call(sound, "loadSound", {run.M().Str("song.mp3"), Value::Bool(true)});
  run.control.Tick();
  ASSERT_EQ(g_events.size(), 2u);
  EXPECT_EQ(g_events[0], "onID3 true @0");
  EXPECT_EQ(g_events[1], "onLoad true @0");
  EXPECT_EQ(run.M().ToNumber(run.Get(sound, "duration")), 522);
  Object* id3 = run.Get(sound, "id3").AsObject();
  ASSERT_NE(id3, nullptr);
  EXPECT_EQ(run.M().ToString(run.Get(id3, "songname")), "Song");
  EXPECT_EQ(run.M().ToString(run.Get(id3, "TPE1")), "Artist");
  EXPECT_EQ(run.M().ToString(run.Get(id3, "artist")), "Artist");
  EXPECT_EQ(run.M().ToNumber(run.Call(sound, "getBytesTotal")), static_cast<double>(mp3.size()));
  // A streamed sound plays without start().
  for (int i = 0; i < 12 && g_events.size() < 3; ++i) run.control.Tick();
  ASSERT_EQ(g_events.size(), 3u);
  EXPECT_EQ(g_events[2], "onSoundComplete @522");

  // A file that is no MP3 loads as a failure, and start() then plays nothing.
  std::ofstream(folder / "text.mp3") << "not a sound";
  g_events.clear();
  run.Call(sound, "loadSound", {run.M().Str("text.mp3"), Value::Bool(false)});
  run.Call(sound, "start");
  for (int i = 0; i < 3; ++i) run.control.Tick();
  ASSERT_EQ(g_events.size(), 1u);
  EXPECT_EQ(g_events[0], "onLoad false");  // and the object holds no sound: no position
}

TEST(NetStreamClass, PlaysALocalVideoWithItsStatusEventsAndMetadata) {
  vantrel::testing::TempHome home;
  const fs::path folder = fs::path(home.Path());
  vantrel::testing::FlvWriter flv(1, 4);
  flv.Script(0, vantrel::testing::FlvMetaData({{"duration", vantrel::testing::AmfValue::Number(0.3)}}));
  for (int t = 0; t <= 200; t += 100) flv.Video(static_cast<std::uint32_t>(t), vantrel::testing::H263VideoData(3));
  std::ofstream(folder / "clip.flv", std::ios::binary) << flv.Bytes();

  Running run(ToneMovie(), false, (folder / "movie.swf").string());
  Object* connection = run.New("NetConnection");
  EXPECT_FALSE(run.M().ToBoolean(run.Get(connection, "isConnected")));
  EXPECT_TRUE(run.M().ToBoolean(run.Call(connection, "connect", {Value::Null()})));
  EXPECT_TRUE(run.M().ToBoolean(run.Get(connection, "isConnected")));
  Object* stream = run.New("NetStream", {Value::Obj(connection)});
  run.Listen(stream, "onMetaData");
  Object* statusFn = run.Rt().MakeFunction([](Call& call) -> Value {
    g_events.push_back(call.machine.ToString(call.machine.Get(call.Arg(0).AsObject(), "code")));
    return {};
  });
  run.M().Set(stream, "onStatus", Value::Obj(statusFn));
  run.Call(stream, "play", {run.M().Str("missing.flv")});
  run.control.Tick();
  ASSERT_EQ(g_events.size(), 1u);
  EXPECT_EQ(g_events[0], "NetStream.Play.StreamNotFound");

  g_events.clear();
  run.Call(stream, "play", {run.M().Str("clip.flv")});
  run.control.Tick();
  ASSERT_EQ(g_events.size(), 3u);
  EXPECT_EQ(g_events[0], "NetStream.Play.Start");
  EXPECT_EQ(g_events[1], "NetStream.Buffer.Full");
  EXPECT_EQ(g_events[2].rfind("onMetaData", 0), 0u);
  EXPECT_NEAR(run.M().ToNumber(run.Get(stream, "bufferLength")), 0.3, 0.01);
  run.Call(stream, "seek", {Value::Number(0.1)});
  EXPECT_EQ(g_events.back(), "NetStream.Seek.Notify");
  EXPECT_NEAR(run.M().ToNumber(run.Get(stream, "time")), 0.1, 0.001);
  g_events.clear();
  for (int i = 0; i < 10; ++i) run.control.Tick();  // 0.5 s at 20 fps: past the end
  ASSERT_EQ(g_events.size(), 3u);
  EXPECT_EQ(g_events[0], "NetStream.Buffer.Flush");
  EXPECT_EQ(g_events[1], "NetStream.Play.Stop");
  EXPECT_EQ(g_events[2], "NetStream.Buffer.Empty");
  run.Call(stream, "close");
  EXPECT_EQ(run.M().ToNumber(run.Get(stream, "time")), 0);
}

// A network the test answers by hand, between frames as the host's event loop would.
struct HandNetwork {
  std::vector<FetchRequest> asked;
  std::vector<FetchCallbacks> answers;
  std::vector<std::uint64_t> cancelled;
  void Install(FlashControl& control) {
    control.Fetch = [this](const FetchRequest& request, FetchCallbacks callbacks) {
      asked.push_back(request);
      answers.push_back(std::move(callbacks));
      return static_cast<std::uint64_t>(asked.size());
    };
    control.CancelFetch = [this](std::uint64_t id) { cancelled.push_back(id); };
  }
};

TEST(NetStreamClass, AWebVideoPlaysWhileItDownloadsAndWaitsWhenTheDataRunsOut) {
  vantrel::testing::FlvWriter flv(1, 1);
  flv.Script(0, vantrel::testing::FlvMetaData({{"duration", vantrel::testing::AmfValue::Number(2.0)}}));
  for (int t = 0; t < 2000; t += 100) flv.Video(static_cast<std::uint32_t>(t), vantrel::testing::H263VideoData(3));
  const std::string& file = flv.Bytes();
  // The first piece ends inside the tag of 0.6 s: 0.5 s have arrived.
  video::FlvIndex index;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(file.data());
  ASSERT_TRUE(video::IndexFlv({bytes, file.size()}, index, nullptr));
  ASSERT_EQ(index.video.size(), 20u);
  const std::size_t first = index.video[6].offset + 2;

  Running run(ToneMovie(), false);
  HandNetwork network;
  network.Install(run.control);  // the hooks take effect with the next movie
  const std::string movie = ToneMovie();
  ASSERT_TRUE(run.control.LoadMovieData({reinterpret_cast<const std::uint8_t*>(movie.data()), movie.size()}));
  Object* stream = run.New("NetStream", {Value::Obj(run.New("NetConnection"))});
  run.Listen(stream, "onMetaData");
  Object* statusFn = run.Rt().MakeFunction([](Call& call) -> Value {
    g_events.push_back(call.machine.ToString(call.machine.Get(call.Arg(0).AsObject(), "code")));
    return {};
  });
  run.M().Set(stream, "onStatus", Value::Obj(statusFn));
  run.Call(stream, "play", {run.M().Str("http://example.test/site/clip.flv")});
  ASSERT_EQ(network.asked.size(), 1u);
  EXPECT_EQ(network.asked[0].url, "http://example.test/site/clip.flv");
  ASSERT_TRUE(network.answers[0].data);  // the video arrives piece by piece

  run.control.Tick();
  EXPECT_TRUE(g_events.empty());
  network.answers[0].progress(static_cast<std::int64_t>(first), static_cast<std::int64_t>(file.size()));
  network.answers[0].data(std::string_view(file).substr(0, first));
  run.control.Tick();
  ASSERT_EQ(g_events.size(), 3u) << ::testing::PrintToString(g_events);
  EXPECT_EQ(g_events[0], "NetStream.Play.Start");
  EXPECT_EQ(g_events[1], "NetStream.Buffer.Full");
  EXPECT_EQ(g_events[2].rfind("onMetaData", 0), 0u);
  EXPECT_EQ(run.M().ToNumber(run.Get(stream, "bytesLoaded")), static_cast<double>(first));
  EXPECT_EQ(run.M().ToNumber(run.Get(stream, "bytesTotal")), static_cast<double>(file.size()));
  EXPECT_NEAR(run.M().ToNumber(run.Get(stream, "bufferLength")), 0.5, 0.001);

  // It plays on what has come (20 fps: 50 ms a frame) and waits at its end.
  g_events.clear();
  for (int i = 0; i < 5; ++i) run.control.Tick();
  const double midway = run.M().ToNumber(run.Get(stream, "time"));
  EXPECT_GT(midway, 0.1);
  EXPECT_TRUE(g_events.empty());
  for (int i = 0; i < 10; ++i) run.control.Tick();
  ASSERT_EQ(g_events.size(), 1u);
  EXPECT_EQ(g_events[0], "NetStream.Buffer.Empty");
  EXPECT_NEAR(run.M().ToNumber(run.Get(stream, "time")), 0.5, 0.001);
  for (int i = 0; i < 3; ++i) run.control.Tick();
  EXPECT_NEAR(run.M().ToNumber(run.Get(stream, "time")), 0.5, 0.001);

  // The rest arrives: playing goes on and ends only at the real end.
  g_events.clear();
  network.answers[0].data(std::string_view(file).substr(first));
  network.answers[0].done(true, "");
  run.control.Tick();
  ASSERT_GE(g_events.size(), 1u);
  EXPECT_EQ(g_events[0], "NetStream.Buffer.Full");
  EXPECT_EQ(run.M().ToNumber(run.Get(stream, "bytesLoaded")), static_cast<double>(file.size()));
  for (int i = 0; i < 40; ++i) run.control.Tick();
  EXPECT_EQ(g_events.back(), "NetStream.Buffer.Empty");
  EXPECT_EQ(g_events[g_events.size() - 2], "NetStream.Play.Stop");
  EXPECT_NEAR(run.M().ToNumber(run.Get(stream, "time")), 2.0, 0.001);
  EXPECT_TRUE(network.cancelled.empty());

  // close() while a video downloads ends its transfer; data that still comes is not heard.
  run.Call(stream, "play", {run.M().Str("clip.flv")});
  ASSERT_EQ(network.asked.size(), 2u);
  run.Call(stream, "close");
  EXPECT_EQ(network.cancelled, std::vector<std::uint64_t>{2});
  g_events.clear();
  network.answers[1].data(file);
  run.control.Tick();
  EXPECT_TRUE(g_events.empty());

  // Data that is no video: StreamNotFound, and the transfer ends.
  run.Call(stream, "play", {run.M().Str("page.html")});
  network.answers[2].data("<html>not a video</html>");
  run.control.Tick();
  ASSERT_EQ(g_events.size(), 1u);
  EXPECT_EQ(g_events[0], "NetStream.Play.StreamNotFound");
  EXPECT_EQ(network.cancelled.back(), 3u);
}

}  // namespace
}  // namespace vantrel::flash::avm1
