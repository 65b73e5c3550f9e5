// writeObject and readObject beyond simple values: objects of a class under an alias,
// vectors, dictionaries, arrays with functions and holes, the older encoding; and the
// Socket classes over a socket hook of the test's own.
#include <gtest/gtest.h>

#include "flash/avm2/machine.h"
#include "flash/display/socket_hook.h"
#include "script_error.h"

namespace vantrel::flash::avm2 {
namespace {

class Amf : public ::testing::Test {
 protected:
  gc::Heap heap;
  Machine m{heap};
  std::vector<std::string> traced;

  void SetUp() override {
    m.onTrace = [this](const std::string& line) { traced.push_back(line); };
  }

  Value New(const std::string& cls, std::vector<Value> args = {}) {
    return Value::Obj(m.ConstructClass(m.FindClass(cls), args.data(), static_cast<int>(args.size())));
  }
  Value N(double n) { return Value::Number(n); }
  Value S(const std::string& text) { return m.StrValue(text); }
  std::string Str(const Value& v) { return m.ToString(v); }
  // A function of the flash.net package.
  Value Global(const std::string& name) {
    Multiname mn;
    mn.id = m.Intern(name);
    mn.text = &m.NameText(mn.id);
    const NsId ns = m.InternNs(kNsNamespace, "flash.net");
    mn.ns = &ns;
    mn.nsCount = 1;
    bool found = false;
    return m.LookupDomain(mn, found);
  }
  Value CallGlobal(const std::string& name, std::vector<Value> args) {
    return m.Call(Global(name), Value::Null(), args.data(), static_cast<int>(args.size()));
  }
  std::string ErrorOf(const std::function<void()>& fn) { return ScriptErrorOf(m, fn); }
  static std::string Hex(const std::string& bytes) {
    std::string hex;
    for (unsigned char c : bytes) {
      static const char* digits = "0123456789ABCDEF";
      hex += {digits[c >> 4], digits[c & 15], ' '};
    }
    if (!hex.empty()) hex.pop_back();
    return hex;
  }
  static std::string Unhex(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 3) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
  }
  Value Bytes(std::uint32_t encoding = 3) {
    const Value b = New("flash.utils.ByteArray");
    m.SetPublic(b, "objectEncoding", N(encoding));
    return b;
  }
  std::string Written(const Value& v, std::uint32_t encoding = 3) {
    const Value b = Bytes(encoding);
    m.CallPublic(b, "writeObject", {v});
    return Hex(static_cast<NativeObject*>(b.object)->text);
  }
  Value Read(const std::string& hex, std::uint32_t encoding = 3) {
    const Value b = Bytes(encoding);
    static_cast<NativeObject*>(b.object)->text = Unhex(hex);
    return m.CallPublic(b, "readObject");
  }
  Value RoundTrip(const Value& v, std::uint32_t encoding = 3) { return Read(Written(v, encoding), encoding); }
};

// A class's objects go with its alias and its read-write members by name (a read-only
// accessor stays home); the traits go once, later objects refer to them.
TEST_F(Amf, ObjectsOfAClassTravelUnderTheirAlias) {
  const Value pointClass = Value::Obj(m.FindClass("flash.geom.Point"));
  const Value point = New("flash.geom.Point", {N(1.5), N(2)});
  EXPECT_EQ(Written(point), "0A 23 01 03 78 03 79 05 3F F8 00 00 00 00 00 00 04 02") << "no alias: an anonymous name";

  CallGlobal("registerClassAlias", {S("geom.Point"), pointClass});
  EXPECT_EQ(CallGlobal("getClassByAlias", {S("geom.Point")}).object, pointClass.object);
  const Value list = New("Array");
  m.CallPublic(list, "push", {point, New("flash.geom.Point", {N(3), N(4)})});
  EXPECT_EQ(Written(list),
            "09 05 01 0A 23 15 67 65 6F 6D 2E 50 6F 69 6E 74 03 78 03 79 05 3F F8 00 00 00 00 00 00 04 02 "
            "0A 01 04 03 04 04");

  const Value back = RoundTrip(list);
  const Value second = m.GetPublic(back, "1");
  EXPECT_EQ(m.QualifiedClassName(second), "flash.geom::Point");
  EXPECT_EQ(Str(second), "(x=3, y=4)");

  // A name nobody registered reads as a plain object with the members.
  const Value plain = Read("0A 23 09 6E 6F 70 65 03 78 03 79 04 01 04 02");
  EXPECT_EQ(m.QualifiedClassName(plain), "Object");
  EXPECT_EQ(m.ToNumber(m.GetPublic(plain, "y")), 2);

  EXPECT_EQ(ErrorOf([&] { CallGlobal("getClassByAlias", {S("toString")}); }),
            "ReferenceError: Error #1014: Class toString could not be found.");
  EXPECT_EQ(ErrorOf([&] { CallGlobal("registerClassAlias", {Value::Null(), pointClass}); }),
            "TypeError: Error #2007: Parameter aliasName must be non-null.");
}

// What the class refuses is traced and the reading goes on with the next member.
TEST_F(Amf, MembersAClassRefusesAreTracedAndSkipped) {
  CallGlobal("registerClassAlias", {S("P"), Value::Obj(m.FindClass("flash.geom.Point"))});
  // Traits "P" with the members z (no such member) and x, then the values 7 and 8.
  const Value read = Read("0A 23 03 50 03 7A 03 78 04 07 04 08");
  EXPECT_EQ(traced, (std::vector<std::string>{"ReferenceError: Error #1056: Cannot create property z on flash.geom.Point."}));
  EXPECT_EQ(m.ToNumber(m.GetPublic(read, "x")), 8);
}

TEST_F(Amf, VectorsAndDictionaries) {
  const Value source = New("Array");
  m.CallPublic(source, "push", {N(-1), N(2)});
  const Value intVector = m.Call(Value::Obj(ApplyVector(m, m.intClass)), Value::Null(), &source, 1);
  m.SetPublic(intVector, "fixed", Value::Bool(true));
  EXPECT_EQ(Written(intVector), "0D 05 01 FF FF FF FF 00 00 00 02");
  const Value intBack = RoundTrip(intVector);
  EXPECT_EQ(m.QualifiedClassName(intBack), "__AS3__.vec::Vector.<int>");
  EXPECT_TRUE(m.ToBoolean(m.GetPublic(intBack, "fixed")));

  // A vector of a class without an alias comes back as a Vector.<Object>; functions in
  // it go as undefined, which such a vector keeps as null.
  const Value mixed = New("Array");
  m.CallPublic(mixed, "push", {S("a"), Value::Obj(m.NewNativeFunction("f", nullptr))});
  const Value strings = m.Call(Value::Obj(ApplyVector(m, m.FindClass("Object"))), Value::Null(), &mixed, 1);
  EXPECT_EQ(Written(strings), "10 05 00 01 06 03 61 00");
  const Value stringsBack = RoundTrip(strings);
  EXPECT_EQ(m.QualifiedClassName(stringsBack), "__AS3__.vec::Vector.<Object>");
  EXPECT_TRUE(m.GetPublic(stringsBack, "1").IsNull());

  // Keys held by identity come back as objects, named ones as names.
  const Value dictionary = New("flash.utils.Dictionary");
  const Value key = New("Object");
  m.SetPublic(key, "k", N(1));
  *m.DictionaryEntry(dictionary, key, true) = S("by object");
  m.SetPublic(dictionary, "name", S("by name"));
  const Value dictionaryBack = RoundTrip(dictionary);
  EXPECT_EQ(m.QualifiedClassName(dictionaryBack), "flash.utils::Dictionary");
  ASSERT_EQ(m.NextIndex(dictionaryBack.object, m.NextIndex(dictionaryBack.object, 0)), 2);
  const Value firstKey = m.NameAt(dictionaryBack.object, 1);
  ASSERT_TRUE(firstKey.IsObject());
  EXPECT_EQ(m.ToNumber(m.GetPublic(firstKey, "k")), 1);
  EXPECT_EQ(Str(*m.DictionaryEntry(dictionaryBack, firstKey, false)), "by object");
  EXPECT_EQ(Str(m.GetPublic(dictionaryBack, "name")), "by name");
}

// Functions never travel: alone they are undefined, in arrays and objects they are left
// out, and the array's dense part ends at the first one (or the first hole).
TEST_F(Amf, FunctionsAndHolesInArrays) {
  const Value f = Value::Obj(m.NewNativeFunction("f", nullptr));
  EXPECT_EQ(Written(f), "00");
  EXPECT_EQ(Written(f, 0), "06");
  const Value list = New("Array");
  m.CallPublic(list, "push", {N(1), f, N(3)});
  EXPECT_EQ(Written(list), "09 03 03 32 04 03 01 04 01");
  const Value back = RoundTrip(list);
  EXPECT_EQ(Str(back), "1,,3");
  const Value object = New("Object");
  m.SetPublic(object, "f", f);
  m.SetPublic(object, "n", N(1));
  EXPECT_EQ(Written(object), "0A 0B 01 03 6E 04 01 01");
}

TEST_F(Amf, TheOlderEncoding) {
  const Value object = New("Object");
  m.SetPublic(object, "a", N(1));
  m.SetPublic(object, "same", object);
  EXPECT_EQ(Written(object, 0),
            "03 00 01 61 00 3F F0 00 00 00 00 00 00 00 04 73 61 6D 65 07 00 00 00 00 09")
      << "an object met again is a reference";
  const Value back = RoundTrip(object, 0);
  EXPECT_EQ(m.GetPublic(back, "same").object, back.object);

  const Value list = New("Array");
  m.CallPublic(list, "push", {S("x"), Value::Bool(true)});
  m.SetPublic(list, "named", Value::Null());
  EXPECT_EQ(Written(list, 0), "08 00 00 00 02 00 01 30 02 00 01 78 00 01 31 01 01 00 05 6E 61 6D 65 64 05 00 00 09");
  EXPECT_EQ(Str(RoundTrip(list, 0)), "x,true");

  // What the older encoding cannot say goes in the newer one.
  const Value bytes = New("flash.utils.ByteArray");
  m.CallPublic(bytes, "writeByte", {N(7)});
  EXPECT_EQ(Written(bytes, 0), "11 0C 03 07");
  EXPECT_EQ(m.ToNumber(m.GetPublic(RoundTrip(bytes, 0), "length")), 1);

  m.SetPublic(Value::Obj(m.FindClass("flash.utils.ByteArray")), "defaultObjectEncoding", N(0));
  EXPECT_EQ(m.ToNumber(m.GetPublic(New("flash.utils.ByteArray"), "objectEncoding")), 0);
}

// A connection whose peer the test plays.
struct FakePeer {
  bool open = false, closedByMovie = false, closedByPeer = false;
  std::string toMovie, fromMovie;
};
class FakeConnection final : public SocketConnection {
 public:
  explicit FakeConnection(std::shared_ptr<FakePeer> peer) : peer_(std::move(peer)) {}
  State Poll(std::string& received) override {
    if (!peer_->open) return State::Connecting;
    received += peer_->toMovie;
    peer_->toMovie.clear();
    return peer_->closedByPeer ? State::Closed : State::Open;
  }
  void Send(const std::string& bytes) override { peer_->fromMovie += bytes; }
  void Close() override { peer_->closedByMovie = true; }

 private:
  std::shared_ptr<FakePeer> peer_;
};

class Sockets : public Amf {
 protected:
  std::shared_ptr<FakePeer> peer = std::make_shared<FakePeer>();
  void SetUp() override {
    Amf::SetUp();
    SocketOpener() = [this](const std::string& host, int port) -> std::unique_ptr<SocketConnection> {
      if (host != "localhost" || port != 8001) return nullptr;
      return std::make_unique<FakeConnection>(peer);
    };
  }
  void TearDown() override { SocketOpener() = nullptr; }
  // Traces each event of the types at the socket as its text.
  void Listen(const Value& socket, std::initializer_list<const char*> types) {
    const Value tracer = Value::Obj(m.NewNativeFunction("listener", [](Machine& mm, const Value&, const Value* a, int n) {
      if (n > 0 && mm.onTrace) mm.onTrace(mm.ToString(a[0]));
      return Value();
    }));
    for (const char* type : types) m.CallPublic(socket, "addEventListener", {S(type), tracer});
  }
};

TEST_F(Sockets, ASocketReadsAndWritesAsAByteArrayOnceConnected) {
  const Value socket = New("flash.net.Socket");
  EXPECT_EQ(ErrorOf([&] { m.CallPublic(socket, "writeInt", {N(1)}); }),
            "Error: Error #2002: Operation attempted on invalid socket.");
  Listen(socket, {"connect", "socketData", "close"});
  m.CallPublic(socket, "connect", {S("localhost"), N(8001)});
  TickMedia(m);
  EXPECT_TRUE(traced.empty()) << "still connecting";
  peer->open = true;
  TickMedia(m);
  EXPECT_TRUE(m.ToBoolean(m.GetPublic(socket, "connected")));

  m.SetPublic(socket, "endian", S("littleEndian"));
  m.CallPublic(socket, "writeShort", {N(258)});
  m.CallPublic(socket, "writeUTFBytes", {S("ok")});
  EXPECT_EQ(m.ToNumber(m.GetPublic(socket, "bytesPending")), 4);
  EXPECT_TRUE(peer->fromMovie.empty()) << "nothing goes before flush";
  m.CallPublic(socket, "flush");
  EXPECT_EQ(peer->fromMovie, std::string("\x02\x01ok", 4));

  peer->toMovie = std::string("\x05\x00\x00\x00\x04\x01", 6);
  TickMedia(m);
  EXPECT_EQ(m.ToNumber(m.CallPublic(socket, "readInt")), 5);
  EXPECT_EQ(m.ToNumber(m.GetPublic(socket, "bytesAvailable")), 2);
  peer->toMovie = "\x06";
  TickMedia(m);
  EXPECT_EQ(m.ToNumber(m.GetPublic(socket, "bytesAvailable")), 3) << "unread bytes stay before new ones";
  EXPECT_EQ(m.ToNumber(m.CallPublic(socket, "readObject")), 1);
  EXPECT_NE(ErrorOf([&] { m.CallPublic(socket, "readInt"); }).find("Error #2030: End of file was encountered."), std::string::npos);

  peer->closedByPeer = true;
  TickMedia(m);
  EXPECT_FALSE(m.ToBoolean(m.GetPublic(socket, "connected")));
  EXPECT_EQ(traced, (std::vector<std::string>{
                        "[Event type=\"connect\" bubbles=false cancelable=false eventPhase=2]",
                        "[ProgressEvent type=\"socketData\" bubbles=false cancelable=false eventPhase=2 bytesLoaded=6 bytesTotal=0]",
                        "[ProgressEvent type=\"socketData\" bubbles=false cancelable=false eventPhase=2 bytesLoaded=1 bytesTotal=0]",
                        "[Event type=\"close\" bubbles=false cancelable=false eventPhase=2]"}));
}

TEST_F(Sockets, XmlSocketMessagesAndARefusedConnection) {
  const Value socket = New("flash.net.XMLSocket");
  m.SetPublic(socket, "timeout", N(10));
  EXPECT_EQ(m.ToNumber(m.GetPublic(socket, "timeout")), 250) << "the shortest timeout";
  Listen(socket, {"data", "ioError"});
  m.CallPublic(socket, "connect", {S("localhost"), N(8001)});
  peer->open = true;
  TickMedia(m);
  const Value xml = New("XML", {S("<a>b</a>")});
  m.CallPublic(socket, "send", {xml});
  EXPECT_EQ(peer->fromMovie, std::string("<a>b</a>\0", 9)) << "markup even for simple content";
  peer->toMovie = std::string("one\0tw", 6);
  TickMedia(m);
  peer->toMovie = std::string("o\0", 2);
  TickMedia(m);
  m.CallPublic(socket, "close");
  EXPECT_TRUE(peer->closedByMovie);

  const Value elsewhere = New("flash.net.XMLSocket");
  Listen(elsewhere, {"ioError"});
  m.CallPublic(elsewhere, "connect", {S("example.org"), N(1)});
  TickMedia(m);
  EXPECT_EQ(traced, (std::vector<std::string>{
                        "[DataEvent type=\"data\" bubbles=false cancelable=false eventPhase=2 data=\"one\"]",
                        "[DataEvent type=\"data\" bubbles=false cancelable=false eventPhase=2 data=\"two\"]",
                        "[IOErrorEvent type=\"ioError\" bubbles=false cancelable=false eventPhase=2 text=\"Error #2031: Socket Error. URL: example.org\"]"}));
}

}  // namespace
}  // namespace vantrel::flash::avm2
