#include "ui/instance_link.h"

#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <unistd.h>

namespace vantrel::ui {

namespace {

// A hand-over is a 32-bit big-endian byte count followed by the UTF-8 text; the first
// instance answers with one byte once it has the whole text.
constexpr qint64 kMaxHandOverBytes = 1 << 20;
constexpr char kAcknowledge = 'A';

quint32 Fnv1a(const QByteArray& bytes) {
  quint32 hash = 2166136261u;
  for (const char c : bytes) {
    hash ^= static_cast<quint8>(c);
    hash *= 16777619u;
  }
  return hash;
}

}  // namespace

QString InstanceSocketName(const QString& optionsFilePath) {
  QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::tempPath();
  const QString file = QStringLiteral("vantrel-%1-%2.socket")
                           .arg(getuid())
                           .arg(Fnv1a(QFileInfo(optionsFilePath).absoluteFilePath().toUtf8()), 8, 16, QChar('0'));
  return QDir(folder).filePath(file);
}

bool HandToFirstInstance(const QString& name, const QString& commandLine, int timeoutMs) {
  QLocalSocket socket;
  socket.connectToServer(name);
  if (!socket.waitForConnected(timeoutMs)) return false;
  const QByteArray text = commandLine.toUtf8();
  QByteArray message;
  QDataStream(&message, QIODevice::WriteOnly) << static_cast<quint32>(text.size());
  message.append(text);
  socket.write(message);
  QElapsedTimer clock;
  clock.start();
  while (socket.bytesToWrite() > 0 && clock.elapsed() < timeoutMs) {
    if (!socket.waitForBytesWritten(static_cast<int>(timeoutMs - clock.elapsed()))) break;
  }
  while (socket.bytesAvailable() < 1 && clock.elapsed() < timeoutMs) {
    if (!socket.waitForReadyRead(static_cast<int>(timeoutMs - clock.elapsed()))) break;
  }
  char answer = 0;
  const bool taken = socket.getChar(&answer) && answer == kAcknowledge;
  socket.disconnectFromServer();
  return taken;
}

InstanceServer::InstanceServer(QObject* parent) : QObject(parent), server_(new QLocalServer(this)) {
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  connect(server_, &QLocalServer::newConnection, this, &InstanceServer::Accept);
}

InstanceServer::~InstanceServer() { Close(); }

bool InstanceServer::Listen(const QString& name) {
  // Qt replaces an existing socket file when it listens with access options, so ask
  // first: a socket somebody answers on belongs to a running first instance, and one
  // nobody answers on was left behind by a crash.
  QLocalSocket probe;
  probe.connectToServer(name);
  if (probe.waitForConnected(500)) return false;
  QLocalServer::removeServer(name);
  return server_->listen(name);
}

void InstanceServer::Close() {
  if (server_->isListening()) server_->close();
}

void InstanceServer::Accept() {
  while (QLocalSocket* connection = server_->nextPendingConnection()) {
    connect(connection, &QLocalSocket::disconnected, connection, &QObject::deleteLater);
    // Reads as the bytes come; a sender that breaks the format or stalls is dropped.
    connect(connection, &QLocalSocket::readyRead, this, [this, connection] {
      QByteArray pending = connection->property("pending").toByteArray();
      pending.append(connection->readAll());
      if (pending.size() > kMaxHandOverBytes + 4) {
        connection->abort();
        return;
      }
      connection->setProperty("pending", pending);
      if (pending.size() < 4) return;
      quint32 length = 0;
      QDataStream(pending.left(4)) >> length;
      if (length > kMaxHandOverBytes) {
        connection->abort();
        return;
      }
      if (pending.size() < static_cast<qsizetype>(4 + length)) return;
      const QString text = QString::fromUtf8(pending.mid(4, length));
      connection->setProperty("pending", QByteArray());
      connection->write(&kAcknowledge, 1);
      connection->flush();
      emit CommandReceived(text);
    });
  }
}

}  // namespace vantrel::ui
