// The engine's network service on its own: a movie served by the test loads a second
// movie, variables and an XML document by addresses relative to its own, sends
// variables, and its transfers end when it unloads; local movies stay beside their
// folder.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QUrl>
#include <algorithm>
#include <filesystem>
#include <vector>

#include "local_http_server.h"
#include "net/net_service.h"
#include "net_test_support.h"
#include "support/temp_home.h"

namespace vantrel::net {
namespace {

using test::HttpAnswer;
using test::WaitFor;

struct Outcome {
  bool ended = false;
  NetResponse response;
  std::string failure;
  std::int64_t lastLoaded = 0;
  std::string streamed;
};

NetCallbacks Into(Outcome& outcome, bool stream = false) {
  NetCallbacks callbacks;
  callbacks.progress = [&outcome](std::int64_t loaded, std::int64_t) { outcome.lastLoaded = loaded; };
  if (stream) callbacks.data = [&outcome](std::string_view chunk) { outcome.streamed.append(chunk); };
  callbacks.complete = [&outcome](const NetResponse& response) {
    outcome.ended = true;
    outcome.response = response;
  };
  callbacks.failed = [&outcome](const std::string& reason) {
    outcome.ended = true;
    outcome.failure = reason;
  };
  return callbacks;
}

class NetServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.Listen());
    server.Route("/games/second.swf", {HttpAnswer::Kind::Normal, 200, "application/x-shockwave-flash", "FWS-second", {}});
    server.Route("/games/data/vars.txt", {HttpAnswer::Kind::Normal, 200, "text/plain", "score=10&name=Ann", {}});
    server.Route("/games/scores.xml", {HttpAnswer::Kind::Normal, 200, "text/xml", "<scores><s v='3'/></scores>", {}});
    server.Route("/shared/lib.swf", {HttpAnswer::Kind::Normal, 200, "application/x-shockwave-flash", "FWS-lib", {}});
    server.Route("/games/submit", {HttpAnswer::Kind::Normal, 200, "text/plain", "ok=1", {}});
    HttpAnswer video;
    video.kind = HttpAnswer::Kind::Slow;
    video.contentType = "video/x-flv";
    video.body = QByteArray(40000, 'v');
    video.slowChunk = 4000;
    video.slowDelayMs = 5;
    server.Route("/games/intro.flv", video);
  }

  NetRequest Ask(const std::string& address, NetMethod method = NetMethod::Get, const std::string& variables = "") {
    NetRequest request;
    request.address = address;
    request.base = movieUrl;
    request.method = method;
    request.variables = variables;
    request.owner = 7;
    return request;
  }

  test::LocalHttpServer server{60, 120000};
  NetService service;
  std::string movieUrl;
  const AccessPolicy fromWeb{false, "", false, false};
};

TEST_F(NetServiceTest, AMovieLoadsItsPartsByRelativeAddress) {
  movieUrl = server.Url("/games/main.swf?level=1").toStdString();
  Outcome movie, vars, xml, lib, sent, posted;
  service.Request(Ask("second.swf"), fromWeb, Into(movie));
  service.Request(Ask("data/vars.txt"), fromWeb, Into(vars));
  service.Request(Ask("./scores.xml"), fromWeb, Into(xml));
  service.Request(Ask("../shared/lib.swf"), fromWeb, Into(lib));
  // LoadVars.send with GET and sendAndLoad with POST.
  service.Request(Ask("submit", NetMethod::Get, "score=10&name=Ann"), fromWeb, Into(sent));
  service.Request(Ask("submit?from=movie", NetMethod::Post, "score=11"), fromWeb, Into(posted));
  // Nothing answers inside Request.
  EXPECT_FALSE(movie.ended || vars.ended || xml.ended);

  ASSERT_TRUE(WaitFor([&] { return movie.ended && vars.ended && xml.ended && lib.ended && sent.ended && posted.ended; }));
  EXPECT_EQ(movie.response.body, "FWS-second");
  EXPECT_EQ(movie.response.mimeType, "application/x-shockwave-flash");
  EXPECT_EQ(vars.response.body, "score=10&name=Ann");
  EXPECT_EQ(xml.response.body, "<scores><s v='3'/></scores>");
  EXPECT_EQ(xml.response.status, 200);
  EXPECT_EQ(lib.response.body, "FWS-lib");
  EXPECT_EQ(posted.response.body, "ok=1");

  bool sawGet = false, sawPost = false;
  for (const test::HttpRequestSeen& seen : server.Seen()) {
    sawGet = sawGet || (seen.method == "GET" && seen.target == "/games/submit?score=10&name=Ann");
    sawPost = sawPost || (seen.method == "POST" && seen.target == "/games/submit?from=movie" && seen.body == "score=11");
  }
  EXPECT_TRUE(sawGet);
  EXPECT_TRUE(sawPost);
  EXPECT_EQ(service.Running(), 0u);
}

TEST_F(NetServiceTest, VideoStreamsWithProgressAndUnloadingCancelsEverything) {
  movieUrl = server.Url("/games/main.swf").toStdString();
  Outcome video;
  service.Request(Ask("intro.flv"), fromWeb, Into(video, true));
  ASSERT_TRUE(WaitFor([&] { return video.ended; }));
  EXPECT_EQ(video.failure, "");
  EXPECT_EQ(video.streamed.size(), 40000u);
  EXPECT_EQ(video.lastLoaded, 40000);
  EXPECT_TRUE(video.response.body.empty());

  // The movie unloads while its transfers run: none of them ever answers; another
  // movie's transfer goes on.
  Outcome first, second, other;
  service.Request(Ask("intro.flv"), fromWeb, Into(first, true));
  service.Request(Ask("second.swf"), fromWeb, Into(second));
  NetRequest foreign = Ask("second.swf");
  foreign.owner = 8;
  service.Request(foreign, fromWeb, Into(other));
  service.CancelOwner(7);
  ASSERT_TRUE(WaitFor([&] { return other.ended; }));
  WaitFor([] { return false; }, 300);
  EXPECT_FALSE(first.ended);
  EXPECT_FALSE(second.ended);
  EXPECT_EQ(service.Running(), 0u);

  // A transfer over its size limit fails instead of growing.
  NetRequest bounded = Ask("intro.flv");
  bounded.limits.maxBytes = 10000;
  Outcome cut;
  service.Request(bounded, fromWeb, Into(cut));
  ASSERT_TRUE(WaitFor([&] { return cut.ended; }));
  EXPECT_NE(cut.failure, "");
}

TEST_F(NetServiceTest, LocalMoviesReadBesideThemselvesAndWebMoviesNeverReadFiles) {
  vantrel::testing::TempHome home;
  const std::string folder = home.Path() + "movies/";
  home.WriteFile("movies/data/vars.txt", "a=1");
  home.WriteFile("secret.txt", "b=2");
  const std::string canonical = QFileInfo(QString::fromStdString(folder)).canonicalFilePath().toStdString() + "/";
  const AccessPolicy local{true, canonical, false, false};

  movieUrl = folder + "main.swf";
  Outcome beside, above, web, absolute;
  service.Request(Ask("data/vars.txt"), local, Into(beside));
  service.Request(Ask("../secret.txt"), local, Into(above));
  service.Request(Ask(server.Url("/games/second.swf").toStdString()), local, Into(web));
  service.Request(Ask(home.Path() + "secret.txt"), local, Into(absolute));
  ASSERT_TRUE(WaitFor([&] { return beside.ended && above.ended && web.ended && absolute.ended; }));
  EXPECT_EQ(beside.response.body, "a=1");
  EXPECT_NE(above.failure, "");
  EXPECT_NE(absolute.failure, "");
  EXPECT_NE(web.failure, "");  // the network is off for local movies by default

  Outcome allowed;
  service.Request(Ask(server.Url("/games/second.swf").toStdString()), {true, canonical, true, true}, Into(allowed));
  Outcome stolen;
  movieUrl = server.Url("/games/main.swf").toStdString();
  service.Request(Ask("file://" + home.Path() + "secret.txt"), fromWeb, Into(stolen));
  ASSERT_TRUE(WaitFor([&] { return allowed.ended && stolen.ended; }));
  EXPECT_EQ(allowed.response.body, "FWS-second");
  EXPECT_NE(stolen.failure, "");
}

// A movie opened from a file reads under its own folder, whichever way an address tries
// to leave it; with the UseNetwork flag it reads no local file at all.
TEST_F(NetServiceTest, PathTricksNeverLeadALocalMovieOutOfItsFolder) {
  vantrel::testing::TempHome home;
  home.WriteFile("m/games/data/vars.txt", "a=1");
  home.WriteFile("m/games/top.txt", "t=1");
  home.WriteFile("m/games2/x.txt", "sibling=1");
  home.WriteFile("m/secret.txt", "secret=1");
  home.WriteFile("elsewhere/y.txt", "linked=1");
  const std::string root = QFileInfo(QString::fromStdString(home.Path())).canonicalFilePath().toStdString() + "/";
  const std::string folder = root + "m/games/";
  std::filesystem::create_symlink(root + "m/secret.txt", folder + "link.txt");
  std::filesystem::create_symlink(root + "elsewhere", folder + "linked");
  const AccessPolicy fileSystem{true, folder, true, false};
  movieUrl = folder + "main.swf";

  struct Case {
    std::string address;
    std::string body;  // "" when the read must be refused
  };
  const std::vector<Case> cases = {
      {"data/vars.txt", "a=1"},
      {"./data/../top.txt", "t=1"},
      {"file://" + folder + "data/vars.txt", "a=1"},
      {"file://" + QUrl::toPercentEncoding(QString::fromStdString(folder + "top.txt"), "/").toStdString(), "t=1"},
      {"data%2Fvars.txt", "a=1"},  // an encoded separator still names a file beside it
      {"../secret.txt", ""},
      {"data/../../secret.txt", ""},
      {"..%2Fsecret.txt", ""},
      {"%2e%2e/secret.txt", ""},
      {"data%2F..%2F..%2Fsecret.txt", ""},
      {"file://" + root + "m/secret.txt", ""},
      {"file://" + folder + "../secret.txt", ""},
      {"file://" + folder + "%2e%2e/secret.txt", ""},
      {root + "m/secret.txt", ""},
      {"../games2/x.txt", ""},  // a sibling whose name starts with the folder's
      {"file://" + root + "m/games2/x.txt", ""},
      {"link.txt", ""},  // links out of the folder
      {"linked/y.txt", ""},
      {"no-such-file.txt", ""},
      {"ftp://example.org/x.txt", ""},
  };
  std::vector<Outcome> outcomes(cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) service.Request(Ask(cases[i].address), fileSystem, Into(outcomes[i]));
  ASSERT_TRUE(WaitFor([&] { return std::all_of(outcomes.begin(), outcomes.end(), [](const Outcome& o) { return o.ended; }); }));
  for (std::size_t i = 0; i < cases.size(); ++i) {
    if (cases[i].body.empty()) {
      EXPECT_NE(outcomes[i].failure, "") << cases[i].address << " was read: " << outcomes[i].response.body;
      EXPECT_EQ(outcomes[i].response.body, "") << cases[i].address;
    } else {
      EXPECT_EQ(outcomes[i].failure, "") << cases[i].address;
      EXPECT_EQ(outcomes[i].response.body, cases[i].body) << cases[i].address;
    }
  }

  // Local with networking: the web (the option is on), and no file, not even beside it.
  const AccessPolicy networking{true, folder, true, true};
  Outcome besideIt, byFileAddress, web;
  service.Request(Ask("data/vars.txt"), networking, Into(besideIt));
  service.Request(Ask("file://" + folder + "data/vars.txt"), networking, Into(byFileAddress));
  service.Request(Ask(server.Url("/games/second.swf").toStdString()), networking, Into(web));
  ASSERT_TRUE(WaitFor([&] { return besideIt.ended && byFileAddress.ended && web.ended; }));
  EXPECT_NE(besideIt.failure, "");
  EXPECT_EQ(besideIt.response.body, "");
  EXPECT_NE(byFileAddress.failure, "");
  EXPECT_EQ(web.response.body, "FWS-second");
  // Without the option it stays off the network as well.
  Outcome refused;
  service.Request(Ask(server.Url("/games/second.swf").toStdString()), {true, folder, false, true}, Into(refused));
  ASSERT_TRUE(WaitFor([&] { return refused.ended; }));
  EXPECT_NE(refused.failure, "");
}

TEST(NetServiceBrowser, GetUrlOpensOnlyWebAndMailAddresses) {
  NetService service;
  std::vector<QUrl> opened;
  service.openUrl = [&opened](const QUrl& url) {
    opened.push_back(url);
    return true;
  };
  EXPECT_EQ(service.OpenInBrowser("help.html", "http://site.test/games/main.swf"), "");
  EXPECT_EQ(service.OpenInBrowser("mailto:a@b.test", "/home/u/m.swf"), "");
  EXPECT_NE(service.OpenInBrowser("javascript:alert(1)", "http://site.test/"), "");
  EXPECT_NE(service.OpenInBrowser("notes.txt", "/home/u/m.swf"), "");
  EXPECT_NE(service.OpenInBrowser("", "http://site.test/"), "");
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[0].toString(), "http://site.test/games/help.html");

  EXPECT_EQ(service.Resolve("b/c.swf", "http://h.test/a/m.swf?x=1"), "http://h.test/a/b/c.swf");
  EXPECT_EQ(service.Resolve("/root.xml", "http://h.test/a/m.swf"), "http://h.test/root.xml");
  EXPECT_EQ(service.Resolve("data\\v.txt", "/home/u/m.swf"), "file:///home/u/data/v.txt");
  EXPECT_EQ(service.Resolve("https://o.test/x", "/home/u/m.swf"), "https://o.test/x");
}

}  // namespace
}  // namespace vantrel::net
