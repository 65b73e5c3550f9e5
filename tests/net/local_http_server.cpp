#include "local_http_server.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTcpSocket>

namespace vantrel::test {

namespace {

constexpr qsizetype kMaxHeaderBytes = 64 * 1024;
constexpr qsizetype kMaxBodyBytes = 4 * 1024 * 1024;

QByteArray Reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 302: return "Found";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
  }
}

}  // namespace

LocalHttpServer::LocalHttpServer(int maxRequests, int lifetimeMs, QObject* parent)
    : QObject(parent), maxRequests_(maxRequests) {
  connect(&server_, &QTcpServer::newConnection, this, &LocalHttpServer::Accept);
  lifetime_.setSingleShot(true);
  lifetime_.setInterval(lifetimeMs);
  connect(&lifetime_, &QTimer::timeout, this, [this] { server_.close(); });
}

LocalHttpServer::~LocalHttpServer() { server_.close(); }

bool LocalHttpServer::Listen(quint16 port) {
  if (!server_.listen(QHostAddress::LocalHost, port)) return false;
  lifetime_.start();
  return true;
}

QString LocalHttpServer::Url(const QString& path) const {
  return QStringLiteral("http://127.0.0.1:%1%2").arg(Port()).arg(path);
}

void LocalHttpServer::Accept() {
  while (QTcpSocket* socket = server_.nextPendingConnection()) {
    socket->setParent(this);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Read(socket); });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
      pending_.remove(socket);
      socket->deleteLater();
    });
  }
}

void LocalHttpServer::Read(QTcpSocket* socket) {
  QByteArray& buffer = pending_[socket];
  buffer += socket->readAll();
  const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
  if (headerEnd < 0) {
    if (buffer.size() > kMaxHeaderBytes) socket->abort();
    return;
  }
  const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
  const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
  qsizetype length = 0;
  for (const QByteArray& line : lines) {
    if (line.toLower().startsWith("content-length:")) length = line.mid(15).trimmed().toLongLong();
  }
  if (length < 0 || length > kMaxBodyBytes) {
    socket->abort();
    return;
  }
  if (buffer.size() < headerEnd + 4 + length) return;

  HttpRequestSeen request{first.value(0), first.value(1), buffer.mid(headerEnd + 4, length)};
  pending_.remove(socket);
  seen_.append(request);
  if (onRequest) onRequest(request);
  if (++served_ > maxRequests_) {
    server_.close();
    socket->abort();
    return;
  }
  Answer(socket, request);
}

void LocalHttpServer::Answer(QTcpSocket* socket, const HttpRequestSeen& request) {
  const QString path = QString::fromUtf8(request.target.left(request.target.indexOf('?') < 0
                                                                  ? request.target.size()
                                                                  : request.target.indexOf('?')));
  const auto route = routes_.constFind(path);
  if (route == routes_.constEnd()) {
    if (!folder_.isEmpty() && !path.contains(QStringLiteral(".."))) {
      QFile file(QDir(folder_).filePath(path.mid(1)));
      if (QFileInfo(file).isFile() && file.open(QIODevice::ReadOnly)) {
        Send(socket, 200, "application/x-shockwave-flash", file.readAll(), {});
        return;
      }
    }
    Send(socket, 404, "text/plain", "not here", {});
    return;
  }
  const HttpAnswer& answer = route.value();
  switch (answer.kind) {
    case HttpAnswer::Kind::Normal:
      Send(socket, answer.status, answer.contentType, answer.body, answer.headers);
      break;
    case HttpAnswer::Kind::Stall:
      break;  // the request is read and never answered
    case HttpAnswer::Kind::Endless: {
      Send(socket, 200, answer.contentType, {}, {}, false);
      auto* pump = new QTimer(socket);
      QPointer<QTcpSocket> target(socket);
      connect(pump, &QTimer::timeout, socket, [target] {
        if (target && target->bytesToWrite() < 1024 * 1024) target->write(QByteArray(64 * 1024, 'x'));
      });
      pump->start(1);
      break;
    }
    case HttpAnswer::Kind::Slow: {
      Send(socket, 200, answer.contentType, {}, {{"Content-Length", QByteArray::number(answer.body.size())}}, false);
      auto* pump = new QTimer(socket);
      auto sent = std::make_shared<qsizetype>(0);
      const QByteArray body = answer.body;
      const int chunk = answer.slowChunk;
      connect(pump, &QTimer::timeout, socket, [socket, pump, sent, body, chunk] {
        socket->write(body.mid(*sent, chunk));
        *sent += chunk;
        if (*sent >= body.size()) {
          pump->stop();
          socket->disconnectFromHost();
        }
      });
      pump->start(answer.slowDelayMs);
      break;
    }
  }
}

void LocalHttpServer::Send(QTcpSocket* socket, int status, const QByteArray& type, const QByteArray& body,
                           const QList<QPair<QByteArray, QByteArray>>& headers, bool withLength) {
  QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + " " + Reason(status) + "\r\n";
  head += "Content-Type: " + type + "\r\nConnection: close\r\n";
  if (withLength) head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
  for (const auto& [name, value] : headers) head += name + ": " + value + "\r\n";
  head += "\r\n";
  socket->write(head + body);
  if (withLength) socket->disconnectFromHost();
}

}  // namespace vantrel::test
