// The update check and the download dialog against a server on 127.0.0.1, and the
// player opening a movie by its web address.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>

#include "../player/player_fixture.h"
#include "core/options.h"
#include "core/paths.h"
#include "core/version.h"
#include "local_http_server.h"
#include "net/frm_download.h"
#include "net/frm_update.h"
#include "net/update_feed.h"
#include "net/web_movie_fetcher.h"
#include "net_test_support.h"
#include "support/temp_home.h"

namespace vantrel::net {
namespace {

using namespace std::chrono_literals;
using test::HttpAnswer;
using test::WaitFor;

const std::chrono::sys_days kToday = std::chrono::sys_days(2026y / 12 / 5);

std::string FeedWith(int build) {
  return "<rss version=\"2.0\"><channel><item><title>Build " + std::to_string(build) +
         "</title><pubDate>Fri, 4 Dec 2026</pubDate><description>Faster</description>"
         "<update app=\"Vantrel\" build=\"" + std::to_string(build) + "\"/>"
         "<enclosure url=\"http://dl.test/vantrel.tar\" length=\"1269760\"/></item></channel></rss>";
}

// Deleted dialogs are gone once the deferred deletions ran.
bool Unloaded(const QPointer<frmUpdate>& dialog) {
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  return dialog.isNull();
}

class UpdateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.Listen());
    qputenv("VANTREL_WEB_HOST", QStringLiteral("127.0.0.1:%1").arg(server.Port()).toUtf8());
    context.options = &options;
    context.today = [] { return kToday; };
    context.showMessage = [this](QWidget*, const QString& text, const QString&, const QStringList&, const QString&) {
      questions.push_back(text);
      return answer;
    };
  }
  void TearDown() override { qunsetenv("VANTREL_WEB_HOST"); }

  void Serve(const std::string& feed) {
    server.Route("/rss.php", {HttpAnswer::Kind::Normal, 200, "application/rss+xml", QByteArray::fromStdString(feed), {}});
  }
  template <typename T>
  T* Child(QWidget* dialog, const char* name) {
    return dialog->findChild<T*>(QString::fromLatin1(name));
  }

  vantrel::testing::TempHome home;
  core::OptionsStore options{home.Path() + "options.conf"};
  test::LocalHttpServer server{40, 120000};
  NetContext context;
  QStringList questions;
  int answer = 0;
};

TEST_F(UpdateTest, AutomaticCheckStaysHiddenUnlessANewerBuildIsFound) {
  const int known = options.ReadNumberOption("Update", "Build");
  Serve(FeedWith(known + 3));
  QPointer<frmUpdate> found = WebUpdate(true, context, nullptr);
  ASSERT_FALSE(found.isNull());
  EXPECT_FALSE(found->isVisible());
  ASSERT_TRUE(WaitFor([&] { return found->Finished(); }));
  EXPECT_TRUE(found->isVisible());
  EXPECT_TRUE(Child<QPushButton>(found, "cbUpdate")->isEnabled());
  EXPECT_EQ(Child<QLabel>(found, "lblStatus")->text(), "Update is Available");
  EXPECT_EQ(Child<QLabel>(found, "lblSize")->text(), "Size: 1.21 MB");
  EXPECT_TRUE(Child<QPlainTextEdit>(found, "txtDetails")->toPlainText().contains("Build " + QString::number(known + 3)));
  EXPECT_EQ(options.ReadText("Update", "Date", ""), "2026-12-05");

  // "Cancel" and "No" to the reminder: this build is never reported again.
  answer = 1;
  Child<QPushButton>(found, "cbCancel")->click();
  ASSERT_EQ(questions.size(), 1);
  EXPECT_EQ(questions[0], "Remind you about this update next time?");
  EXPECT_TRUE(WaitFor([&] { return Unloaded(found); }));
  EXPECT_EQ(options.ReadNumberOption("Update", "Build"), known + 3);

  // Six days later the automatic check does not run; seven days later it runs, finds
  // nothing newer and unloads without ever showing.
  const int served = server.Served();
  context.today = [] { return kToday + std::chrono::days(6); };
  EXPECT_EQ(WebUpdate(true, context, nullptr), nullptr);
  EXPECT_EQ(server.Served(), served);
  context.today = [] { return kToday + std::chrono::days(7); };
  QPointer<frmUpdate> quiet = WebUpdate(true, context, nullptr);
  ASSERT_FALSE(quiet.isNull());
  bool shown = false;
  ASSERT_TRUE(WaitFor([&] {
    if (!quiet.isNull() && quiet->isVisible()) shown = true;
    return Unloaded(quiet);
  }));
  EXPECT_FALSE(shown);
  EXPECT_EQ(server.Served(), served + 1);
  EXPECT_EQ(options.ReadText("Update", "Date", ""), "2026-12-12");
}

TEST_F(UpdateTest, ManualCheckSaysWhenNothingIsNewAndWhyItFailed) {
  const int known = options.ReadNumberOption("Update", "Build");
  options.WriteText("Update", "Date", "2026-12-05");
  Serve(FeedWith(known));
  QPointer<frmUpdate> manual = WebUpdate(false, context, nullptr);
  ASSERT_FALSE(manual.isNull());
  EXPECT_TRUE(manual->isVisible());
  EXPECT_EQ(Child<QLabel>(manual, "lblStatus")->text(), "Downloading Info");
  ASSERT_TRUE(WaitFor([&] { return manual->Finished(); }));
  EXPECT_EQ(Child<QLabel>(manual, "lblStatus")->text(), "No Update Needed");
  EXPECT_FALSE(Child<QPushButton>(manual, "cbUpdate")->isEnabled());
  // Closing keeps the automatic-check box's state.
  Child<QCheckBox>(manual, "chkAuto")->setChecked(false);
  Child<QPushButton>(manual, "cbCancel")->click();
  EXPECT_TRUE(questions.isEmpty());
  EXPECT_TRUE(WaitFor([&] { return Unloaded(manual); }));
  EXPECT_FALSE(options.ReadBoolOption("Update", "Auto"));
  EXPECT_EQ(options.ReadNumberOption("Update", "Build"), known);

  Serve("<rss><channel><item></rss>");
  QPointer<frmUpdate> broken = WebUpdate(false, context, nullptr);
  ASSERT_TRUE(WaitFor([&] { return broken->Finished(); }));
  EXPECT_EQ(Child<QLabel>(broken, "lblStatus")->text(), "Check Failed");
  const QString details = Child<QPlainTextEdit>(broken, "txtDetails")->toPlainText();
  // The reason follows the label's colon as the parser gives it.
  EXPECT_TRUE(details.startsWith("Failure Reason:")) << details.toStdString();
  EXPECT_GT(details.size(), 15);
  EXPECT_FALSE(details.startsWith("Failure Reason: ")) << details.toStdString();
  // A failed check is no check: the date stays.
  EXPECT_EQ(options.ReadText("Update", "Date", ""), "2026-12-05");
  broken->close();
}

TEST_F(UpdateTest, TheDownloadDialogReportsWhereTheMovieLanded) {
  server.Route("/movies/orbit.swf",
               {HttpAnswer::Kind::Normal, 200, "application/x-shockwave-flash", QByteArray(5000, 'F'), {}});
  context.cachePath = home.Path() + "cache/";
  QPointer<frmDownload> dialog = new frmDownload(context);
  auto* go = Child<QPushButton>(dialog, "cbGo");
  auto* source = Child<QLineEdit>(dialog, "txtSource");
  source->setText("http://");
  EXPECT_FALSE(go->isEnabled());
  source->setText("HTTP://a.b");
  EXPECT_TRUE(go->isEnabled());
  source->setText(server.Url("/movies/orbit.swf"));
  go->click();
  EXPECT_FALSE(go->isEnabled());
  EXPECT_TRUE(Child<QPushButton>(dialog, "cbCancel")->isEnabled());
  ASSERT_TRUE(WaitFor([&] { return !questions.isEmpty(); }));
  const QString cached = QString::fromStdString(context.cachePath) + "127.0.0.1_" + QString::number(server.Port()) +
                         "_movies_orbit.swf";
  EXPECT_EQ(questions[0], "MIME: application/x-shockwave-flash\r\nCache: " + cached);
  EXPECT_TRUE(QFileInfo(cached).isFile());
  EXPECT_EQ(Child<QProgressBar>(dialog, "Progress")->value(), 100);
  EXPECT_TRUE(Child<QPushButton>(dialog, "cbDone")->isEnabled());
  EXPECT_FALSE(Child<QPushButton>(dialog, "cbCancel")->isEnabled());
  delete dialog.data();
}

class WebMovieTest : public player::testing::PlayerTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.Listen());
    web = &fetcher;
  }
  bool Loaded(const std::string& path) const {
    return std::find(flash.calls.begin(), flash.calls.end(), "LoadMovie 0 " + path) != flash.calls.end();
  }
  test::LocalHttpServer server{20, 120000};
  WebMovieFetcher fetcher{paths.CachePath, nullptr};
};

TEST_F(WebMovieTest, TheCommandLineAndPlaylistsPlayWebAddressesAfterDownloading) {
  server.Route("/games/orbit.swf", {HttpAnswer::Kind::Normal, 200, "application/x-shockwave-flash",
                                    QByteArray::fromStdString(vantrel::testing::MakeMovie({})), {}});
  QStringList lines;
  fetcher.status = [&lines](const QString& line) { lines << line; };
  const std::string address = server.Url("/games/orbit.swf?level=2").toStdString();
  P().OpenMovie(address);
  const std::string cached = paths.CachePath + "127.0.0.1_" + std::to_string(server.Port()) + "_games_orbit.swf";
  ASSERT_TRUE(WaitFor([&] { return Loaded(cached); }));
  EXPECT_EQ(window.caption, "Vantrel - orbit.swf");
  EXPECT_EQ(P().GetPlaylist().At(0), address);  // the playlist keeps the address
  EXPECT_EQ(P().MovieAddress(), address);        // and the movie's own loads resolve against it
  EXPECT_TRUE(lines.join('\n').contains("Downloading... :: orbit.swf?level=2")) << lines.join('\n').toStdString();

  // A missing movie fails with the server's answer; a newer choice replaces a fetch
  // still running, whose movie then never loads.
  P().OpenMovie(server.Url("/games/missing.swf").toStdString());
  ASSERT_TRUE(WaitFor([&] {
    return std::any_of(lines.begin(), lines.end(), [](const QString& l) { return l.contains("404"); });
  }));
  server.Route("/slow.swf", {HttpAnswer::Kind::Stall, 200, "application/x-shockwave-flash", {}, {}});
  P().OpenMovie(server.Url("/slow.swf").toStdString());
  WaitFor([] { return false; }, 100);
  const std::size_t before = flash.calls.size();
  std::string local = home.WriteFile("local.swf", vantrel::testing::MakeMovie({}));
  std::string caption;
  P().LoadFlash(local, caption, false);
  EXPECT_TRUE(Loaded(local));
  EXPECT_EQ(P().MovieAddress(), local);
  EXPECT_GT(flash.calls.size(), before);
  EXPECT_FALSE(Loaded(paths.CachePath + "127.0.0.1_" + std::to_string(server.Port()) + "_slow.swf"));
}

// Saving the options at quit must not bring back a build the user declined to hear of,
// and a newer program raises the known build to its own.
TEST_F(WebMovieTest, SavedOptionsKeepTheKnownBuild) {
  options->WriteNumber("Update", "Build", core::kBuildNumber + 3);
  P().SaveOpts();
  EXPECT_EQ(options->ReadNumberOption("Update", "Build"), core::kBuildNumber + 3);
  options->WriteNumber("Update", "Build", core::kBuildNumber - 1);
  P().SaveOpts();
  EXPECT_EQ(options->ReadNumberOption("Update", "Build"), core::kBuildNumber);
}

}  // namespace
}  // namespace vantrel::net
