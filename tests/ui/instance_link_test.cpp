// The hand-over between instances over the local socket.
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <atomic>
#include <cstring>
#include <thread>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "ui/instance_link.h"

namespace vantrel::ui {
namespace {

TEST(InstanceLink, TheFirstInstanceReceivesTheTextOfTheSecond) {
  QTemporaryDir folder;
  const QString name = folder.filePath(QStringLiteral("link.socket"));
  InstanceServer server;
  ASSERT_TRUE(server.Listen(name));
  QSignalSpy received(&server, &InstanceServer::CommandReceived);

  // The sender blocks until the text is taken, as a second process would; here it is
  // a thread beside this event loop.
  std::atomic<bool> taken = false;
  const QString text = QStringLiteral("\"/movies/with space.swf\" /movies/tw\u00f6.swf");
  std::thread sender([&] { taken = HandToFirstInstance(name, text, 60000); });
  // A condition wait: on a busy machine the hand-over may take a while.
  EXPECT_TRUE(QTest::qWaitFor([&] { return received.count() == 1 && taken; }, 60000));
  sender.join();
  ASSERT_EQ(received.count(), 1);
  EXPECT_EQ(received.first().first().toString(), text);
}

TEST(InstanceLink, NothingListeningMeansNoFirstInstanceAndAStaleSocketIsReplaced) {
  QTemporaryDir folder;
  const QString name = folder.filePath(QStringLiteral("stale.socket"));
  EXPECT_FALSE(HandToFirstInstance(name, QStringLiteral("x"), 500));

  // A socket file left behind by a crashed first instance: bound, never listening.
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const QByteArray path = QFile::encodeName(name);
  ASSERT_LT(static_cast<std::size_t>(path.size()), sizeof(address.sun_path));
  std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  close(fd);
  ASSERT_TRUE(QFile::exists(name));

  EXPECT_FALSE(HandToFirstInstance(name, QStringLiteral("x"), 500));
  InstanceServer server;
  EXPECT_TRUE(server.Listen(name));
  // While it listens, a third instance cannot take the name over.
  InstanceServer other;
  EXPECT_FALSE(other.Listen(name));
}

TEST(InstanceLink, SocketNamesDifferPerOptionsFile) {
  EXPECT_NE(InstanceSocketName(QStringLiteral("/home/a/.config/Vantrel/options.conf")),
            InstanceSocketName(QStringLiteral("/home/b/.config/Vantrel/options.conf")));
  EXPECT_EQ(InstanceSocketName(QStringLiteral("/x/options.conf")), InstanceSocketName(QStringLiteral("/x/options.conf")));
}

}  // namespace
}  // namespace vantrel::ui
