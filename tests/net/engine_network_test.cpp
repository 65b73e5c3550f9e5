// Movies on the network: a movie served by the test, played from its local copy under
// its web address as the player does, loads a second movie, variables and an XML
// document by relative address and traces what it got; transfers that stall or never
// end are cut off at their limits while the movie plays on; unloading cancels.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <set>

#include "flash/avm1/interpreter.h"
#include "flash/avm1/movie_host.h"
#include "flash/control/flash_control.h"
#include "flash/display/player.h"
#include "local_http_server.h"
#include "net/net_service.h"
#include "net_test_support.h"
#include "support/swf_movie_writer.h"
#include "ui/engine_network_hooks.h"

namespace vantrel::ui {
namespace {

using testing::Actions;
using testing::Bytes;
using testing::PutString;
using testing::PutU16;
using test::HttpAnswer;

QByteArray AsBytes(const Bytes& bytes) {
  return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

// target.name = function(arg) { body }
Actions& DefineMethod(Actions& a, const std::string& target, const std::string& name, const std::string& arg,
                      const Actions& body) {
  a.PushString(target).GetVariable().PushString(name);
  Bytes header;
  PutString(header, "");
  PutU16(header, arg.empty() ? 0 : 1);
  if (!arg.empty()) PutString(header, arg);
  PutU16(header, static_cast<std::uint16_t>(body.Data().size()));
  a.OpWith(0x9B, header).Raw(body.Data());
  return a.Op(0x4F);  // SetMember
}

// trace(prefix + variable)
Actions TracePlus(const std::string& prefix, const std::string& variable) {
  Actions a;
  a.PushString(prefix).PushString(variable).GetVariable().Op(0x47).Trace();
  return a;
}

// name = new XML(); name.onLoad = function(ok) { trace(label + ok); trace(label + this); }; name.load(url)
void LoadXml(Actions& a, const std::string& name, const std::string& label, const std::string& url) {
  a.PushString(name).PushNumber(0).PushString("XML").Op(0x40).SetVariable();
  Actions onLoad = TracePlus(label, "ok");
  onLoad.Raw(TracePlus(label, "this").Data());
  DefineMethod(a, name, "onLoad", "ok", onLoad);
  a.PushString(url).PushNumber(1).PushString(name).GetVariable().PushString("load").Op(0x52).Op(0x17);
}

// Frame 1 runs first, then frames 2 and 3 loop counting in _root.frames.
Bytes Playing(const Actions& first) {
  Actions count;
  count.PushString("frames").PushString("frames").GetVariable().PushNumber(1).Op(0x47).SetVariable();
  Actions back;
  back.GotoFrame(1).Play();
  Bytes tags = first.Tag();
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, count.Tag());
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, back.Tag());
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::End());
  return testing::MakeMovie(tags, 100, 100, 3, 8, 60);
}

// The main movie: loads second.swf into _level1, parts/vars.txt into _root (whose
// onData traces them) and data/doc.xml, then plays on (a frame counter in _root.frames).
Bytes MainMovie() {
  Actions a;
  a.PushString("frames").PushNumber(0).SetVariable();
  DefineMethod(a, "_root", "onData", "", TracePlus("vars: ", "score"));
  LoadXml(a, "doc", "xml: ", "data/doc.xml");
  a.GetUrl("second.swf", "_level1");
  // loadVariablesNum("parts/vars.txt", 0): GetURL2 with the variables flag.
  a.PushString("parts/vars.txt").PushString("_level0").OpWith(0x9A, {0x80});
  return Playing(a);
}

// The movie that loads from answers that stall and never end.
Bytes StalledMovie() {
  Actions a;
  a.PushString("frames").PushNumber(0).SetVariable();
  LoadXml(a, "stalled", "stalled: ", "stall.xml");
  LoadXml(a, "endless", "endless: ", "endless.xml");
  return Playing(a);
}

Bytes SecondMovie() {
  Actions a;
  a.TraceString("second movie is playing");
  a.PushString("from ").PushString("_url").GetVariable().Op(0x47).Trace();
  Bytes tags = a.Tag();
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::End());
  return testing::MakeMovie(tags);
}

class EngineNetworkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.Listen());
    ASSERT_TRUE(folder.isValid());
    control.OnTrace = [this](const std::string& line) { traces.push_back(line); };
  }

  // Plays the served movie from a local copy known by its web address, as the player
  // does with movies it downloads first.
  void Play(const QString& path, const Bytes& movie, EngineNetworkOptions options = {}) {
    const QString copy = folder.filePath("copy.swf");
    QFile file(copy);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(AsBytes(movie));
    file.close();
    InstallEngineNetwork(control, service, options);
    control.SetMovieAddress(server.Url(path).toStdString());
    ASSERT_TRUE(control.LoadMovie(0, copy.toStdString())) << control.LastError();
  }

  // Runs frames from the event loop until done() or the time is up.
  bool RunUntil(const std::function<bool()>& done, int timeoutMs) {
    return test::WaitFor(
        [&] {
          control.Tick();
          return done();
        },
        timeoutMs);
  }

  bool Traced(const std::string& line) const { return std::find(traces.begin(), traces.end(), line) != traces.end(); }

  test::LocalHttpServer server{40, 120000};
  net::NetService service;
  flash::FlashControl control;
  QTemporaryDir folder;
  std::vector<std::string> traces;
};

TEST_F(EngineNetworkTest, AServedMovieLoadsAMovieVariablesAndXmlByRelativeAddress) {
  server.Route("/site/main.swf", {HttpAnswer::Kind::Normal, 200, "application/x-shockwave-flash", AsBytes(MainMovie()), {}});
  server.Route("/site/second.swf",
               {HttpAnswer::Kind::Normal, 200, "application/x-shockwave-flash", AsBytes(SecondMovie()), {}});
  server.Route("/site/parts/vars.txt", {HttpAnswer::Kind::Normal, 200, "text/plain", "score=42&name=Ann", {}});
  server.Route("/site/data/doc.xml", {HttpAnswer::Kind::Normal, 200, "text/xml", "<doc><item v=\"3\" /></doc>", {}});
  Play("/site/main.swf", MainMovie());

  ASSERT_TRUE(RunUntil([&] { return traces.size() >= 5; }, 30000)) << ::testing::PrintToString(traces);
  EXPECT_TRUE(Traced("second movie is playing"));
  EXPECT_TRUE(Traced("from " + server.Url("/site/second.swf").toStdString()));
  EXPECT_TRUE(Traced("vars: 42"));
  EXPECT_TRUE(Traced("xml: true"));
  EXPECT_TRUE(Traced("xml: <doc><item v=\"3\" /></doc>"));
  EXPECT_EQ(control.GetVariable("name"), "Ann");
  EXPECT_EQ(control.Engine()->PendingLoads(), 0u);
  EXPECT_EQ(service.Running(), 0u);
  // Everything came from the server by the movie's own folder.
  QStringList asked;
  for (const test::HttpRequestSeen& seen : server.Seen()) asked << QString::fromLatin1(seen.target);
  EXPECT_TRUE(asked.contains("/site/second.swf")) << asked.join(' ').toStdString();
  EXPECT_TRUE(asked.contains("/site/parts/vars.txt"));
  EXPECT_TRUE(asked.contains("/site/data/doc.xml"));
}

TEST_F(EngineNetworkTest, StallingAndEndlessAnswersAreCutOffWhileTheMoviePlaysOn) {
  server.Route("/site/stall.xml", {HttpAnswer::Kind::Stall, 200, "text/xml", "<a>", {}});
  HttpAnswer endless;
  endless.kind = HttpAnswer::Kind::Endless;
  endless.contentType = "text/xml";
  server.Route("/site/endless.xml", endless);
  EngineNetworkOptions options;
  options.limits.stallMs = 400;
  options.limits.maxBytes = 256 * 1024;
  options.limits.totalMs = 3000;
  QElapsedTimer clock;
  clock.start();
  Play("/site/main.swf", StalledMovie(), options);

  ASSERT_TRUE(RunUntil([&] { return traces.size() >= 4; }, 8000)) << ::testing::PrintToString(traces);
  EXPECT_LT(clock.elapsed(), 5000);
  EXPECT_TRUE(Traced("stalled: false"));
  EXPECT_TRUE(Traced("endless: false"));
  // A failed load leaves the document empty.
  EXPECT_TRUE(Traced("stalled: "));
  // The movie kept running its frames all the while.
  EXPECT_GT(std::stoi(control.GetVariable("frames")), 5);
  EXPECT_EQ(service.Running(), 0u);
}

TEST_F(EngineNetworkTest, LoadsEndWithTheMovieAndWebMoviesReadNoLocalFiles) {
  HttpAnswer slow;
  slow.kind = HttpAnswer::Kind::Stall;
  server.Route("/site/stall.xml", slow);
  server.Route("/site/endless.xml", slow);
  Play("/site/main.swf", StalledMovie());
  ASSERT_TRUE(RunUntil([&] { return service.Running() == 2; }, 30000));
  EXPECT_EQ(control.Engine()->PendingLoads(), 2u);
  // Another movie replaces this one: its transfers stop and never call back.
  const QString local = folder.filePath("local.swf");
  QFile file(local);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(AsBytes(SecondMovie()));
  file.close();
  ASSERT_TRUE(control.LoadMovie(0, local.toStdString()));
  EXPECT_EQ(service.Running(), 0u);

  // A web movie asking for a local file gets nothing.
  const QString secret = folder.filePath("secret.xml");
  QFile secretFile(secret);
  ASSERT_TRUE(secretFile.open(QIODevice::WriteOnly));
  secretFile.write("<secret/>");
  secretFile.close();
  Actions a;
  LoadXml(a, "doc", "xml: ", "file://" + secret.toStdString());
  Bytes tags = a.Tag();
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::End());
  traces.clear();
  Play("/site/thief.swf", testing::MakeMovie(tags));
  ASSERT_TRUE(RunUntil([&] { return traces.size() >= 2; }, 30000));
  EXPECT_EQ(traces[0], "xml: false");
  EXPECT_EQ(traces[1], "xml: ");
}

// What the script objects below heard, in order.
std::vector<std::string> g_heard;

TEST_F(EngineNetworkTest, AWebVideoPlaysWhileItDownloadsAndAWebSoundLoadsWithItsByteCounts) {
  // Three seconds of sound in 100 ms PCM tags (about 530 kB), sent slowly; without
  // metadata the video lasts until its last tag (2.9 s).
  const auto be = [](std::uint32_t value, int bytes) {
    std::string out;
    for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>(value >> (8 * i));
    return out;
  };
  std::string flv = std::string("FLV\x01\x04", 5) + be(9, 4) + be(0, 4);
  for (std::uint32_t t = 0; t < 3000; t += 100) {
    const std::string data = "\x3F" + std::string(17640, '\0');  // PCM, 44 kHz, 16-bit stereo
    flv += "\x08" + be(static_cast<std::uint32_t>(data.size()), 3) + be(t, 3) + std::string(4, '\0') + data;
    flv += be(static_cast<std::uint32_t>(11 + data.size()), 4);
  }
  HttpAnswer video{HttpAnswer::Kind::Slow, 200, "video/x-flv", QByteArray::fromStdString(flv), {}};
  video.slowChunk = 16 * 1024;
  video.slowDelayMs = 15;
  server.Route("/site/clip.flv", video);
  std::string mp3;
  for (int i = 0; i < 40; ++i) mp3 += std::string("\xFF\xFB\x90\x00", 4) + std::string(413, '\0');  // 1045 ms
  HttpAnswer sound{HttpAnswer::Kind::Slow, 200, "audio/mpeg", QByteArray::fromStdString(mp3), {}};
  sound.slowChunk = 2048;
  server.Route("/site/tone.mp3", sound);
  Actions idle;
  Play("/site/main.swf", Playing(idle));

  using flash::avm1::Call;
  using flash::avm1::Value;
  auto& m = flash::avm1::HostOf(*control.Engine()).Machine();
  auto& rt = flash::avm1::HostOf(*control.Engine()).Script();
  g_heard.clear();
  auto make = [&](const char* cls, std::vector<Value> args = {}) {
    return m.Construct(m.Get(rt.global, cls).AsObject(), args);
  };
  flash::avm1::Object* stream = make("NetStream", {Value::Obj(make("NetConnection"))});
  m.Set(stream, "onStatus", Value::Obj(rt.MakeFunction([](Call& call) -> Value {
          g_heard.push_back(call.machine.ToString(call.machine.Get(call.Arg(0).AsObject(), "code")));
          return {};
        })));
  flash::avm1::Object* tone = make("Sound");
  m.Set(tone, "onLoad", Value::Obj(rt.MakeFunction([](Call& call) -> Value {
          g_heard.push_back("sound " + call.machine.ToString(call.Arg(0)));
          return {};
        })));
  const std::vector<Value> videoUrl{m.Str("clip.flv")};
  m.CallMethod(Value::Obj(stream), "play", videoUrl);
  const std::vector<Value> soundUrl{m.Str("tone.mp3"), Value::Bool(false)};
  m.CallMethod(Value::Obj(tone), "loadSound", soundUrl);

  const double fileSize = static_cast<double>(flv.size());
  std::set<double> videoCounts, soundCounts;
  bool playedWhileLoading = false;
  auto number = [&](flash::avm1::Object* o, const char* name) { return m.ToNumber(m.Get(o, name)); };
  auto calls = [&](flash::avm1::Object* o, const char* name) { return m.ToNumber(m.CallMethod(Value::Obj(o), name, {})); };
  ASSERT_TRUE(RunUntil(
      [&] {
        const double loaded = number(stream, "bytesLoaded");
        videoCounts.insert(loaded);
        soundCounts.insert(calls(tone, "getBytesLoaded"));
        if (loaded < fileSize && number(stream, "time") > 0) playedWhileLoading = true;
        return std::find(g_heard.begin(), g_heard.end(), "NetStream.Play.Stop") != g_heard.end() &&
               std::find(g_heard.begin(), g_heard.end(), "sound true") != g_heard.end();
      },
      15000))
      << ::testing::PrintToString(g_heard);
  EXPECT_TRUE(playedWhileLoading);
  EXPECT_GT(videoCounts.size(), 4u);  // the count grew piece by piece
  EXPECT_EQ(number(stream, "bytesLoaded"), fileSize);
  EXPECT_EQ(number(stream, "bytesTotal"), fileSize);
  EXPECT_NEAR(number(stream, "time"), 2.9, 0.001);
  ASSERT_GE(g_heard.size(), 3u);
  EXPECT_EQ(g_heard[0], "NetStream.Play.Start");
  EXPECT_EQ(g_heard[1], "NetStream.Buffer.Full");
  EXPECT_GT(soundCounts.size(), 2u);
  EXPECT_EQ(calls(tone, "getBytesLoaded"), static_cast<double>(mp3.size()));
  EXPECT_EQ(calls(tone, "getBytesTotal"), static_cast<double>(mp3.size()));
  EXPECT_EQ(number(tone, "duration"), 1045);
  EXPECT_EQ(service.Running(), 0u);
}

// A movie opened from a file: with the FileAttributes UseNetwork flag it reaches the web
// when the option allows and reads no local file; without it, it reads the files beside
// it and never the web.
TEST_F(EngineNetworkTest, ALocalMoviesUseNetworkFlagChoosesBetweenTheWebAndItsFolder) {
  server.Route("/data.txt", {HttpAnswer::Kind::Normal, 200, "text/plain", "<ok/>", {}});
  const std::string address = server.Url("/data.txt").toStdString();
  QFile beside(folder.filePath("beside.xml"));
  ASSERT_TRUE(beside.open(QIODevice::WriteOnly));
  beside.write("<here/>");
  beside.close();
  // A movie that loads url into an XML object and traces the outcome.
  const auto write = [&](const QString& name, bool useNetwork, const std::string& url) {
    Actions a;
    LoadXml(a, "doc", "xml: ", url);
    Bytes tags = testing::Tag(69, {static_cast<std::uint8_t>(useNetwork ? 0x01 : 0x00), 0, 0, 0});
    testing::PutBytes(tags, a.Tag());
    testing::PutBytes(tags, testing::ShowFrame());
    testing::PutBytes(tags, testing::End());
    const QString path = folder.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(AsBytes(testing::MakeMovie(tags)));
    return path.toStdString();
  };
  const std::string networkingWeb = write("networking-web.swf", true, address);
  const std::string networkingFile = write("networking-file.swf", true, "beside.xml");
  const std::string fileSystemWeb = write("files-web.swf", false, address);
  const std::string fileSystemFile = write("files-file.swf", false, "beside.xml");

  bool allowed = false;
  EngineNetworkOptions options;
  options.localMayUseNetworkNow = [&allowed] { return allowed; };
  InstallEngineNetwork(control, service, options);
  const auto play = [&](const std::string& movie) {
    traces.clear();
    EXPECT_TRUE(control.LoadMovie(0, movie));
    EXPECT_TRUE(RunUntil([&] { return traces.size() >= 2; }, 30000)) << movie;
    return traces.empty() ? std::string() : traces[0];
  };
  EXPECT_EQ(play(networkingWeb), "xml: false");
  EXPECT_EQ(server.Served(), 0);
  // The option is asked at each transfer: switched on, the next load reaches the server.
  allowed = true;
  EXPECT_EQ(play(networkingWeb), "xml: true");
  EXPECT_EQ(traces[1], "xml: <ok />");
  EXPECT_EQ(server.Served(), 1);
  EXPECT_EQ(play(networkingFile), "xml: false") << "a movie that uses the network reads no local file";
  // Without the flag: the folder, and never the web, whatever the option says.
  EXPECT_EQ(play(fileSystemWeb), "xml: false");
  EXPECT_EQ(server.Served(), 1);
  EXPECT_EQ(play(fileSystemFile), "xml: true");
  EXPECT_EQ(traces[1], "xml: <here />");
}

// The folder a local movie may read is where its file is, links and escapes resolved.
TEST(EngineNetworkPolicy, ALocalMoviesFolderComesFromItsAddress) {
  QTemporaryDir temp;
  const std::string root = QFileInfo(temp.path()).canonicalFilePath().toStdString() + "/";
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(root + "my games")));
  const net::AccessPolicy plain = PolicyFor(root + "my games/main.swf", false, false);
  EXPECT_TRUE(plain.movieIsLocal);
  EXPECT_FALSE(plain.useNetwork);
  EXPECT_EQ(plain.movieFolder, root + "my games/");
  const net::AccessPolicy fileAddress = PolicyFor("file://" + root + "my%20games/main.swf?x=1", true, true);
  EXPECT_EQ(fileAddress.movieFolder, root + "my games/");
  EXPECT_TRUE(fileAddress.useNetwork);
  EXPECT_TRUE(fileAddress.localMayUseNetwork);
  // A folder reached through a link is the linked folder itself.
  ASSERT_TRUE(QFile::link(QString::fromStdString(root + "my games"), QString::fromStdString(root + "shortcut")));
  EXPECT_EQ(PolicyFor(root + "shortcut/main.swf", false, false).movieFolder, root + "my games/");
  EXPECT_FALSE(PolicyFor("http://example.org/site/main.swf", true, true).movieIsLocal);
}

}  // namespace
}  // namespace vantrel::ui
