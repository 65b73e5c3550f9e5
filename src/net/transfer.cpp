#include "net/transfer.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <algorithm>

namespace vantrel::net {

Transfer::Transfer(QNetworkAccessManager& manager, TransferLimits limits, QObject* parent)
    : QObject(parent), manager_(manager), limits_(limits) {
  stall_.setSingleShot(true);
  total_.setSingleShot(true);
  connect(&stall_, &QTimer::timeout, this, [this] {
    Fail(QStringLiteral("The server sent nothing for %1 s").arg(limits_.stallMs / 1000.0));
  });
  connect(&total_, &QTimer::timeout, this, [this] {
    Fail(QStringLiteral("The transfer took longer than %1 s").arg(limits_.totalMs / 1000.0));
  });
}

Transfer::~Transfer() {
  ended_ = true;
  Release();
}

void Transfer::Get(const QUrl& url) {
  QNetworkRequest request(url);
  request.setMaximumRedirectsAllowed(limits_.maxRedirects);
  Report(kFindingResource, url.host().isEmpty() ? url.toString() : url.host());
  Start(manager_.get(request));
}

void Transfer::Post(const QUrl& url, const QByteArray& body, const QString& contentType) {
  QNetworkRequest request(url);
  request.setMaximumRedirectsAllowed(limits_.maxRedirects);
  request.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
  Report(kFindingResource, url.host().isEmpty() ? url.toString() : url.host());
  Start(manager_.post(request, body));
}

void Transfer::Abort() {
  ended_ = true;
  Release();
}

void Transfer::Start(QNetworkReply* reply) {
  reply_ = reply;
  finalUrl_ = reply->url();
  const QString host = finalUrl_.host();
  connect(reply, &QNetworkReply::socketStartedConnecting, this, [this, host] { Report(kConnecting, host); });
  connect(reply, &QNetworkReply::requestSent, this, [this] { Report(kSendingRequest, finalUrl_.toString()); });
  connect(reply, &QNetworkReply::redirected, this, [this](const QUrl& url) {
    finalUrl_ = url;
    Report(kRedirecting, url.toString());
  });
  connect(reply, &QNetworkReply::metaDataChanged, this, &Transfer::OnMetaData);
  connect(reply, &QNetworkReply::readyRead, this, &Transfer::OnReadyRead);
  connect(reply, &QNetworkReply::finished, this, &Transfer::OnFinished);
  // Upload progress also shows the server is alive.
  connect(reply, &QNetworkReply::uploadProgress, this, [this] { stall_.start(limits_.stallMs); });
  stall_.start(limits_.stallMs);
  total_.start(limits_.totalMs);
}

void Transfer::OnMetaData() {
  if (!reply_ || ended_) return;
  stall_.start(limits_.stallMs);
  httpStatus_ = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  const QString type = reply_->header(QNetworkRequest::ContentTypeHeader).toString();
  if (!type.isEmpty() && type != mimeType_) {
    mimeType_ = type;
    Report(kMimeType, type);
  }
  const QVariant length = reply_->header(QNetworkRequest::ContentLengthHeader);
  if (length.isValid()) {
    expected_ = length.toLongLong();
    // Refused before a byte of it arrives.
    if (expected_ > limits_.maxBytes)
      Fail(QStringLiteral("The file is larger than the limit of %1 bytes").arg(limits_.maxBytes));
  }
}

void Transfer::OnReadyRead() {
  if (!reply_ || ended_) return;
  stall_.start(limits_.stallMs);
  // A redirect's own body is not the answer.
  const int status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  if (status >= 300 && status < 400) {
    reply_->readAll();
    return;
  }
  // Only what is there (read() sizes its buffer by the request), and never more than
  // one byte past the limit.
  const qint64 wanted = std::min(reply_->bytesAvailable(), limits_.maxBytes - read_ + 1);
  if (wanted <= 0) return;
  const QByteArray chunk = reply_->read(wanted);
  if (chunk.isEmpty()) return;
  read_ += chunk.size();
  if (read_ > limits_.maxBytes) {
    Fail(QStringLiteral("The transfer passed the limit of %1 bytes").arg(limits_.maxBytes));
    return;
  }
  // Whatever the limit left unread waits for the next turn (readyRead is not raised
  // again for bytes already buffered).
  if (reply_->bytesAvailable() > 0) QTimer::singleShot(0, this, &Transfer::OnReadyRead);
  QPointer<Transfer> alive(this);
  if (!begun_) {
    begun_ = true;
    Report(kBeginDownload, finalUrl_.toString());
    if (!alive || ended_) return;
  }
  if (callbacks.data) {
    QString reason;
    if (!callbacks.data(chunk, reason)) {
      if (alive && !ended_) Fail(reason.isEmpty() ? QStringLiteral("The transfer was stopped") : reason);
      return;
    }
    if (!alive || ended_) return;
  }
  Report(kDownloading, finalUrl_.toString());
}

void Transfer::OnFinished() {
  if (!reply_ || ended_) return;
  // Bytes that arrived with the end are read first.
  if (reply_->bytesAvailable() > 0) {
    QPointer<Transfer> alive(this);
    OnReadyRead();
    if (!alive || ended_) return;
    if (reply_ && reply_->bytesAvailable() > 0) {
      QTimer::singleShot(0, this, &Transfer::OnFinished);
      return;
    }
  }
  if (!reply_) return;
  httpStatus_ = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  const QNetworkReply::NetworkError error = reply_->error();
  const QString errorText = reply_->errorString();
  if (error != QNetworkReply::NoError) {
    Fail(httpStatus_ >= 400 ? QStringLiteral("HTTP %1: %2").arg(httpStatus_).arg(errorText) : errorText);
    return;
  }
  if (httpStatus_ >= 400) {
    Fail(QStringLiteral("HTTP %1").arg(httpStatus_));
    return;
  }
  ended_ = true;
  Release();
  if (callbacks.finished) callbacks.finished(QString());
}

void Transfer::Fail(const QString& reason) {
  if (ended_) return;
  ended_ = true;
  Release();
  if (callbacks.finished) callbacks.finished(reason);
}

void Transfer::Report(int code, const QString& text) {
  if (ended_ || !callbacks.progress) return;
  callbacks.progress(read_, expected_ > 0 ? expected_ : 0, code, text);
}

void Transfer::Release() {
  stall_.stop();
  total_.stop();
  if (QNetworkReply* reply = reply_.data()) {
    reply_ = nullptr;
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
  }
}

}  // namespace vantrel::net
