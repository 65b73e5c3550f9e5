// A small HTTP/1.1 server on 127.0.0.1 for the network tests: fixed answers by path
// (or the files of a folder), answers that stall or never end, and a record of what
// was asked. It serves a bounded number of requests and closes after its lifetime.
#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QTimer>
#include <functional>

class QTcpSocket;

namespace vantrel::test {

struct HttpAnswer {
  enum class Kind { Normal, Stall, Endless, Slow };
  Kind kind = Kind::Normal;
  int status = 200;
  QByteArray contentType = "application/octet-stream";
  QByteArray body;
  QList<QPair<QByteArray, QByteArray>> headers;  // extra headers ("Location", ...)
  int slowChunk = 1024;                           // Slow: bytes per step, one step every slowDelayMs
  int slowDelayMs = 20;
};

struct HttpRequestSeen {
  QByteArray method;
  QByteArray target;  // path and query as sent
  QByteArray body;
};

class LocalHttpServer : public QObject {
 public:
  explicit LocalHttpServer(int maxRequests = 100, int lifetimeMs = 60000, QObject* parent = nullptr);
  ~LocalHttpServer() override;

  // Listens on 127.0.0.1 at a free port; false when it cannot.
  bool Listen(quint16 port = 0);
  quint16 Port() const { return server_.serverPort(); }
  QString Url(const QString& path) const;

  void Route(const QString& path, HttpAnswer answer) { routes_.insert(path, std::move(answer)); }
  // Paths without a route are looked up as files under folder ("" = none: 404).
  void ServeFolder(const QString& folder) { folder_ = folder; }

  // Hears every request as it arrives.
  std::function<void(const HttpRequestSeen&)> onRequest;

  const QList<HttpRequestSeen>& Seen() const { return seen_; }
  int Served() const { return served_; }

 private:
  void Accept();
  void Read(QTcpSocket* socket);
  void Answer(QTcpSocket* socket, const HttpRequestSeen& request);
  void Send(QTcpSocket* socket, int status, const QByteArray& type, const QByteArray& body,
            const QList<QPair<QByteArray, QByteArray>>& headers, bool withLength = true);

  QTcpServer server_;
  QTimer lifetime_;
  QMap<QString, HttpAnswer> routes_;
  QString folder_;
  QList<HttpRequestSeen> seen_;
  QMap<QTcpSocket*, QByteArray> pending_;
  int maxRequests_;
  int served_ = 0;
};

}  // namespace vantrel::test
