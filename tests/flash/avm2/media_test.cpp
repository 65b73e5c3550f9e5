// The sound and stream classes of the ActionScript 3 machine driven through its public
// calls (no player: what they do before any sound or file is there).
#include <gtest/gtest.h>

#include <cmath>

#include "flash/avm2/machine.h"

namespace vantrel::flash::avm2 {
namespace {

std::vector<std::string>* gLog = nullptr;

class MediaClasses : public ::testing::Test {
 protected:
  gc::Heap heap;
  Machine m{heap};
  std::vector<std::string> log;

  void SetUp() override { gLog = &log; }
  void TearDown() override { gLog = nullptr; }

  Value New(const std::string& cls, std::vector<Value> args = {}) {
    return Value::Obj(m.ConstructClass(m.FindClass(cls), args.data(), static_cast<int>(args.size())));
  }
  Value Static(const std::string& cls) { return Value::Obj(m.FindClass(cls)); }
  double Num(const Value& object, const std::string& name) { return m.ToNumber(m.GetPublic(object, name)); }
  std::string ErrorOf(const std::function<void()>& fn) {
    try {
      fn();
    } catch (const Thrown& thrown) {
      const std::string text = m.ErrorText(thrown.value);
      return text.substr(0, text.find('\n'));  // the message line, not the stack
    }
    return "";
  }
  // Logs each netStatus event's info.code (or "<empty>").
  void Listen(const Value& target) {
    const Value listener = Value::Obj(m.NewNativeFunction("listener", [](Machine& mm, const Value&, const Value* a, int) {
      const Value info = mm.GetPublic(a[0], "info");
      const std::string code = mm.ToString(mm.GetPublic(info, "code"));
      gLog->push_back(code.empty() ? "<empty>" : code);
      return Value();
    }));
    m.CallPublic(target, "addEventListener", {m.StrValue("netStatus"), listener});
  }
};

TEST_F(MediaClasses, SoundTransformPansOnTheConstantPowerCurve) {
  const Value t = New("flash.media.SoundTransform", {Value::Number(0), Value::Number(0.8)});
  EXPECT_EQ(Num(t, "volume"), 0);
  EXPECT_DOUBLE_EQ(Num(t, "leftToLeft"), std::sqrt(0.2));
  EXPECT_DOUBLE_EQ(Num(t, "rightToRight"), std::sqrt(1.8));
  EXPECT_NEAR(Num(t, "pan"), 0.8, 1e-12);

  // Crossed channels make the pan read as centred; setting a pan drops them again.
  m.SetPublic(t, "leftToRight", Value::Number(0.5));
  EXPECT_EQ(Num(t, "pan"), 0);
  m.SetPublic(t, "pan", Value::Number(-0.3));
  EXPECT_EQ(Num(t, "leftToRight"), 0);
  EXPECT_EQ(m.ToString(m.GetPublic(t, "pan")), "-0.30000000000000027") << "the player's own rounding";
  // Past the ends one share has no square root.
  m.SetPublic(t, "pan", Value::Number(1.1));
  EXPECT_TRUE(std::isnan(Num(t, "leftToLeft")));
  EXPECT_TRUE(std::isnan(Num(t, "pan")));
  // Only the left share tells the pan.
  const Value plain = New("flash.media.SoundTransform");
  m.SetPublic(plain, "leftToLeft", Value::Number(0.1));
  EXPECT_DOUBLE_EQ(Num(plain, "pan"), 0.99);
}

TEST_F(MediaClasses, TheMixerKeepsItsTransformInWholePercentAndGivesCopies) {
  const Value mixer = Static("flash.media.SoundMixer");
  const Value st = m.GetPublic(mixer, "soundTransform");
  m.SetPublic(st, "leftToLeft", Value::Number(1 - 1.0 / 24));
  m.SetPublic(st, "rightToRight", Value::Number(1 - 1.0 / 24));
  // The copy changed, not the mixer.
  EXPECT_EQ(Num(m.GetPublic(mixer, "soundTransform"), "leftToLeft"), 1);
  m.SetPublic(mixer, "soundTransform", st);
  const Value back = m.GetPublic(mixer, "soundTransform");
  EXPECT_EQ(Num(back, "leftToLeft"), 0.95) << "0.9583 is kept as 95 %";
  EXPECT_EQ(m.ToString(m.GetPublic(back, "pan")), "0.09750000000000003");
  EXPECT_EQ(ErrorOf([&] { m.SetPublic(mixer, "soundTransform", Value::Null()); }).substr(0, 16), "TypeError: Error");

  EXPECT_EQ(Num(mixer, "bufferTime"), 5);
  m.SetPublic(mixer, "bufferTime", Value::Number(120.7));
  EXPECT_EQ(Num(mixer, "bufferTime"), 120);

  // A bare channel has the identity transform and nothing playing.
  const Value channel = New("flash.media.SoundChannel");
  EXPECT_EQ(Num(m.GetPublic(channel, "soundTransform"), "volume"), 1);
  EXPECT_EQ(Num(channel, "position"), 0);
  m.CallPublic(channel, "stop");
}

TEST_F(MediaClasses, SoundsWithoutDataPlayNothingAndLoadOnce) {
  const Value sound = New("flash.media.Sound");
  EXPECT_TRUE(m.CallPublic(sound, "play").IsNull());
  EXPECT_TRUE(m.GetPublic(sound, "url").IsNull());
  EXPECT_EQ(Num(sound, "length"), 0);
  EXPECT_EQ(m.ToString(sound), "[object Sound]");

  const Value request = New("flash.net.URLRequest", {m.StrValue("noise.mp3")});
  m.CallPublic(sound, "load", {request});
  EXPECT_EQ(m.ToString(m.GetPublic(sound, "url")), "noise.mp3");
  EXPECT_TRUE(m.ToBoolean(m.GetPublic(sound, "isBuffering")));
  // While it loads, play() gives the channel that will play it.
  EXPECT_EQ(m.ToString(m.CallPublic(sound, "play")), "[object SoundChannel]");
  EXPECT_EQ(ErrorOf([&] { m.CallPublic(sound, "load", {request}); }),
            "Error: Error #2037: Functions called in incorrect sequence, or earlier call was unsuccessful.");
}

TEST_F(MediaClasses, NetConnectionReportsEachChangeAsItHappens) {
  const Value c = New("flash.net.NetConnection");
  Listen(c);
  m.CallPublic(c, "close");
  EXPECT_TRUE(log.empty()) << "closing what never opened says nothing";
  EXPECT_EQ(ErrorOf([&] { m.GetPublic(c, "protocol"); }),
            "ArgumentError: Error #2126: NetConnection object must be connected.");
  EXPECT_TRUE(m.GetPublic(c, "uri").IsNull());

  m.CallPublic(c, "connect", {Value::Null()});
  m.CallPublic(c, "connect", {Value::Null()});
  EXPECT_EQ(log, (std::vector<std::string>{"NetConnection.Connect.Success", "NetConnection.Connect.Closed",
                                           "NetConnection.Connect.Success"}));
  EXPECT_TRUE(m.ToBoolean(m.GetPublic(c, "connected")));
  EXPECT_EQ(m.ToString(m.GetPublic(c, "uri")), "null");
  EXPECT_EQ(m.ToString(m.GetPublic(c, "farNonce")).size(), 64u);
  m.CallPublic(c, "close");
  EXPECT_EQ(log.back(), "NetConnection.Connect.Closed");
  log.clear();

  // A server address is kept but never reached; closing it reports the lost call too.
  m.CallPublic(c, "connect", {m.StrValue("http://example.org")});
  EXPECT_FALSE(m.ToBoolean(m.GetPublic(c, "connected")));
  EXPECT_EQ(m.ToString(m.GetPublic(c, "uri")), "http://example.org");
  m.CallPublic(c, "close");
  EXPECT_EQ(log, (std::vector<std::string>{"NetConnection.Connect.Closed", "<empty>"}));
  EXPECT_TRUE(m.GetPublic(c, "uri").IsNull());
}

TEST_F(MediaClasses, NetStreamClientsMustBeObjects) {
  const Value c = New("flash.net.NetConnection");
  m.CallPublic(c, "connect", {Value::Null()});
  const Value s = New("flash.net.NetStream", {c});
  EXPECT_TRUE(m.StrictEquals(m.GetPublic(s, "client"), s));
  for (const Value& bad : {Value::Number(3), Value::Bool(true), m.StrValue("abcd"), Value::Null(), Value()})
    EXPECT_EQ(ErrorOf([&] { m.SetPublic(s, "client", bad); }), "TypeError: Error #2004: One of the parameters is invalid.");
  const Value client = Value::Obj(m.NewObject());
  m.SetPublic(s, "client", client);
  EXPECT_TRUE(m.StrictEquals(m.GetPublic(s, "client"), client));
  m.SetPublic(s, "client", Static("flash.media.Sound"));
  EXPECT_EQ(ErrorOf([&] { New("flash.net.NetStream", {Value::Null()}); }).substr(0, 22), "TypeError: Error #2007");
  // Nothing to play yet: the clock and the counts stay at zero.
  EXPECT_EQ(Num(s, "time"), 0);
  EXPECT_EQ(Num(s, "bytesTotal"), 0);

  const Value info = Value::Obj(m.NewObject());
  const Value event = New("flash.events.NetStatusEvent", {m.StrValue("netStatus"), Value::Bool(false), Value::Bool(false), info});
  EXPECT_TRUE(m.StrictEquals(m.GetPublic(m.CallPublic(event, "clone"), "info"), info));
  EXPECT_EQ(m.ToString(event), "[NetStatusEvent type=\"netStatus\" bubbles=false cancelable=false eventPhase=2 info=[object Object]]");
}


TEST_F(MediaClasses, VideoSizesAreCheckedAsThePlayerChecksThem) {
  const auto errorOf = [&](std::vector<Value> args) {
    return ErrorOf([&] { New("flash.media.Video", std::move(args)); });
  };
  const std::string range = "RangeError: Error #2006: The supplied index is out of bounds.";
  EXPECT_EQ(errorOf({}), "");
  EXPECT_EQ(errorOf({Value::Number(-1.5)}), range);
  EXPECT_EQ(errorOf({Value::Number(-0.5)}), "") << "truncated to 0: the default size";
  EXPECT_EQ(errorOf({Value::Number(0), Value::Number(-1)}), range);
  // The area must stay under 2^29 pixels, each side under 2^31 twips.
  EXPECT_EQ(errorOf({Value::Number(0x200000), Value::Number(255)}), "");
  EXPECT_EQ(errorOf({Value::Number(0x200000), Value::Number(256)}), range);
  EXPECT_EQ(errorOf({Value::Number(0x4000000), Value::Number(1)}), "");
  EXPECT_EQ(errorOf({Value::Number(0x6666667), Value::Number(1)}), range);
  // A huge width with a height of NaN is the default size, not an error.
  EXPECT_EQ(errorOf({Value::Number(0x800000), Value::Number(NAN)}), "");
}

}  // namespace
}  // namespace vantrel::flash::avm2
