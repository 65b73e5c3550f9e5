// One bounded HTTP (or local file) transfer on QNetworkAccessManager: reports its
// stages and progress, hands over the body in chunks, and ends once, with "" or the
// reason it failed. Every transfer is cut off at its size and time limits.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <functional>

#include "net/transfer_rules.h"

class QNetworkAccessManager;


namespace vantrel::net {

class Transfer : public QObject {
  Q_OBJECT

 public:
  struct Callbacks {
    // Bytes read so far, bytes in all (0 when unknown), the stage (StatusCode) and its
    // text (the host, the address, the MIME type).
    std::function<void(qint64 read, qint64 total, int code, const QString& text)> progress;
    // A piece of the body, in order; returning false stops the transfer with reason.
    std::function<bool(const QByteArray& chunk, QString& reason)> data;
    // The end: "" on success, else why it failed. Not called after Abort.
    std::function<void(const QString& error)> finished;
  };

  Transfer(QNetworkAccessManager& manager, TransferLimits limits, QObject* parent = nullptr);
  ~Transfer() override;

  // Starts a GET, or a POST of body with contentType. One start per transfer.
  void Get(const QUrl& url);
  void Post(const QUrl& url, const QByteArray& body, const QString& contentType);
  // Stops the transfer; finished is not called.
  void Abort();

  bool Running() const { return reply_ != nullptr; }
  QString MimeType() const { return mimeType_; }
  QUrl FinalUrl() const { return finalUrl_; }
  int HttpStatus() const { return httpStatus_; }
  qint64 BytesRead() const { return read_; }

  Callbacks callbacks;

 private:
  void Start(QNetworkReply* reply);
  void OnMetaData();
  void OnReadyRead();
  void OnFinished();
  void Fail(const QString& reason);
  void Report(int code, const QString& text);
  void Release();

  QNetworkAccessManager& manager_;
  TransferLimits limits_;
  QPointer<QNetworkReply> reply_;
  QTimer stall_;
  QTimer total_;
  QString mimeType_;
  QUrl finalUrl_;
  int httpStatus_ = 0;
  qint64 read_ = 0;
  qint64 expected_ = 0;
  bool begun_ = false;
  bool ended_ = false;
};

}  // namespace vantrel::net
