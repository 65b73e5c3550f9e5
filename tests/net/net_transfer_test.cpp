// Transfers against a server on 127.0.0.1 started by the test: downloads into the
// cache, failures and cancels that leave nothing behind, limits that cut off stalled
// and endless answers while the event loop keeps running.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <filesystem>

#include "local_http_server.h"
#include "net/downloader_control.h"
#include "net/transfer_rules.h"
#include "net_test_support.h"
#include "support/temp_home.h"

namespace vantrel::net {
namespace {

using test::HttpAnswer;
using test::WaitFor;

class DownloadTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server.Listen()); }

  QString Cache() const { return QString::fromStdString(home.Path() + "cache/"); }
  std::vector<std::string> CacheFiles() const {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(home.Path() + "cache/", error))
      names.push_back(entry.path().filename().string());
    return names;
  }

  struct Run {
    bool complete = false;
    QString failure;
    QString mime;
    QString cacheFile;
    std::vector<int> codes;
    bool Ended() const { return complete || !failure.isEmpty(); }
  };

  void Watch(DownloaderControl& control, Run& run) {
    QObject::connect(&control, &DownloaderControl::Progress, [&run](qint64, qint64, int code, const QString&) {
      if (run.codes.empty() || run.codes.back() != code) run.codes.push_back(code);
    });
    QObject::connect(&control, &DownloaderControl::Complete, [&run, &control] {
      run.complete = true;
      run.mime = control.MimeType();
      run.cacheFile = control.CacheFileName();
    });
    QObject::connect(&control, &DownloaderControl::Failed, [&run](const QString& reason) { run.failure = reason; });
  }

  vantrel::testing::TempHome home;
  test::LocalHttpServer server{50, 20000};
};

TEST_F(DownloadTest, WritesTheFileIntoTheCacheAndReportsItsPlace) {
  const QByteArray movie(300000, 'm');
  HttpAnswer answer;
  answer.contentType = "application/x-shockwave-flash";
  answer.body = movie;
  server.Route("/movies/orbit.swf", answer);
  server.Route("/old.swf", {HttpAnswer::Kind::Normal, 302, "text/html", "moved", {{"Location", "/movies/orbit.swf"}}});

  DownloaderControl control(Cache());
  Run run;
  Watch(control, run);
  control.Download(server.Url("/old.swf?x=1"));
  ASSERT_TRUE(WaitFor([&] { return run.Ended(); })) << "no end";
  ASSERT_TRUE(run.complete) << run.failure.toStdString();
  EXPECT_EQ(run.mime, "application/x-shockwave-flash");
  EXPECT_EQ(run.cacheFile, Cache() + "127.0.0.1_" + QString::number(server.Port()) + "_old.swf");
  QFile file(run.cacheFile);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), movie);
  // The stages arrive in order: finding, the cache place, redirect, MIME, data.
  const auto position = [&](int code) { return std::find(run.codes.begin(), run.codes.end(), code) - run.codes.begin(); };
  EXPECT_LT(position(kFindingResource), position(kRedirecting));
  EXPECT_LT(position(kRedirecting), position(kBeginDownload));
  EXPECT_LT(position(kBeginDownload), static_cast<long>(run.codes.size()));
  // Both facts are cleared once the transfer ended.
  EXPECT_EQ(control.MimeType(), "");
  EXPECT_EQ(control.CacheFileName(), "");
}

TEST_F(DownloadTest, FailedAndCancelledDownloadsLeaveNoPartialFile) {
  // An earlier complete copy under the same name survives a failed attempt untouched.
  QDir().mkpath(Cache());
  const QString earlier = Cache() + "127.0.0.1_" + QString::number(server.Port()) + "_gone.swf";
  {
    QFile file(earlier);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("earlier copy");
  }
  server.Route("/gone.swf", {HttpAnswer::Kind::Normal, 404, "text/html", "<html>missing</html>", {}});
  DownloaderControl control(Cache());
  Run failed;
  Watch(control, failed);
  control.Download(server.Url("/gone.swf"));
  ASSERT_TRUE(WaitFor([&] { return failed.Ended(); }));
  EXPECT_FALSE(failed.complete);
  EXPECT_TRUE(failed.failure.contains("404")) << failed.failure.toStdString();
  QFile kept(earlier);
  ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
  EXPECT_EQ(kept.readAll(), "earlier copy");

  // Cancelled half-way: no end event, no file and no temporary file.
  HttpAnswer slow;
  slow.kind = HttpAnswer::Kind::Slow;
  slow.body = QByteArray(200000, 's');
  server.Route("/slow.swf", slow);
  DownloaderControl second(Cache());
  Run cancelled;
  Watch(second, cancelled);
  second.Download(server.Url("/slow.swf"));
  ASSERT_TRUE(WaitFor([&] {
    return std::find(cancelled.codes.begin(), cancelled.codes.end(), kDownloading) != cancelled.codes.end();
  }));
  second.Cancel();
  WaitFor([] { return false; }, 200);
  EXPECT_FALSE(cancelled.Ended());
  EXPECT_EQ(CacheFiles(), std::vector<std::string>{earlier.section('/', -1).toStdString()});

  // Not a web address at all.
  Run refused;
  DownloaderControl third(Cache());
  Watch(third, refused);
  third.Download("ftp://127.0.0.1/x.swf");
  EXPECT_FALSE(refused.failure.isEmpty());
}

TEST_F(DownloadTest, StalledAndEndlessServersAreCutOffWhileTheLoopRuns) {
  server.Route("/stall.swf", {HttpAnswer::Kind::Stall, 200, "application/x-shockwave-flash", {}, {}});
  server.Route("/endless.swf", {HttpAnswer::Kind::Endless, 200, "application/x-shockwave-flash", {}, {}});
  HttpAnswer big;
  big.body = QByteArray(5000, 'b');
  server.Route("/big.swf", big);

  TransferLimits limits;
  limits.maxBytes = 2 * 1024 * 1024;
  limits.stallMs = 300;
  limits.totalMs = 5000;

  // The window's clock keeps ticking during every transfer: no gap between two ticks
  // comes near the time a frozen loop would take.
  QElapsedTimer sinceTick;
  sinceTick.start();
  qint64 longestGap = 0;
  QTimer clock;
  QObject::connect(&clock, &QTimer::timeout, [&] {
    longestGap = std::max(longestGap, sinceTick.restart());
  });
  clock.start(10);

  DownloaderControl stalled(Cache(), limits);
  Run stall;
  Watch(stalled, stall);
  QElapsedTimer watch;
  watch.start();
  stalled.Download(server.Url("/stall.swf"));
  ASSERT_TRUE(WaitFor([&] { return stall.Ended(); }, 4000));
  EXPECT_FALSE(stall.complete);
  EXPECT_LT(watch.elapsed(), 2500);

  DownloaderControl endless(Cache(), limits);
  Run flood;
  Watch(endless, flood);
  endless.Download(server.Url("/endless.swf"));
  ASSERT_TRUE(WaitFor([&] { return flood.Ended(); }, 4000));
  EXPECT_FALSE(flood.complete);
  EXPECT_TRUE(flood.failure.contains("limit")) << flood.failure.toStdString();
  EXPECT_LT(longestGap, 1000);

  // A declared length above the limit is refused before its body arrives.
  limits.maxBytes = 1000;
  DownloaderControl declared(Cache(), limits);
  Run tooBig;
  Watch(declared, tooBig);
  declared.Download(server.Url("/big.swf"));
  ASSERT_TRUE(WaitFor([&] { return tooBig.Ended(); }));
  EXPECT_TRUE(tooBig.failure.contains("larger")) << tooBig.failure.toStdString();

  EXPECT_TRUE(CacheFiles().empty());
}

}  // namespace
}  // namespace vantrel::net
