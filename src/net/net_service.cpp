#include "net/net_service.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>
#include <QUrlQuery>

#include "net/transfer.h"

namespace vantrel::net {

struct NetService::Job {
  NetRequest request;
  AccessPolicy policy;
  NetCallbacks callbacks;
  QPointer<Transfer> transfer;
  std::string body;
};

namespace {

bool HasScheme(const QString& address) {
  const qsizetype colon = address.indexOf(QLatin1Char(':'));
  // "C:" is a drive letter, not a scheme.
  if (colon < 2) return false;
  for (qsizetype i = 0; i < colon; ++i) {
    const QChar c = address[i];
    if (!(c.isLetterOrNumber() || c == QLatin1Char('+') || c == QLatin1Char('-') || c == QLatin1Char('.')))
      return false;
  }
  return address[0].isLetter();
}

QUrl BaseUrl(const std::string& base) {
  const QString text = QString::fromStdString(base);
  if (text.isEmpty()) return {};
  if (HasScheme(text)) return QUrl(text, QUrl::TolerantMode);
  return QUrl::fromLocalFile(QFileInfo(text).absoluteFilePath());
}

}  // namespace

QUrl ResolveAddress(const std::string& address, const std::string& base) {
  const QString text = QString::fromStdString(address).trimmed();
  if (text.isEmpty()) return {};
  if (HasScheme(text)) {
    QUrl url(text, QUrl::TolerantMode);
    return url.isValid() ? url : QUrl();
  }
  const QUrl baseUrl = BaseUrl(base);
  if (!baseUrl.isValid() || baseUrl.isEmpty()) {
    if (text.startsWith(QLatin1Char('/'))) return QUrl::fromLocalFile(text);
    return {};
  }
  if (baseUrl.isLocalFile() && text.startsWith(QLatin1Char('/'))) return QUrl::fromLocalFile(text);
  // Backslashes in old movies' addresses mean folders.
  QString relative = text;
  if (baseUrl.isLocalFile()) relative.replace(QLatin1Char('\\'), QLatin1Char('/'));
  const QUrl resolved = baseUrl.resolved(QUrl(relative, QUrl::TolerantMode));
  return resolved.isValid() ? resolved : QUrl();
}

NetService::NetService(QObject* parent) : QObject(parent) {}

NetService::~NetService() {
  for (auto& [id, job] : transfers_)
    if (job->transfer) job->transfer->Abort();
  transfers_.clear();
}

TransferId NetService::Request(const NetRequest& request, const AccessPolicy& policy, NetCallbacks callbacks) {
  const TransferId id = nextId_++;
  auto job = std::make_unique<Job>();
  job->request = request;
  job->policy = policy;
  job->callbacks = std::move(callbacks);
  transfers_.emplace(id, std::move(job));
  // Started from the event loop, so that no answer ever arrives inside Request.
  QTimer::singleShot(0, this, [this, id] { Start(id); });
  return id;
}

void NetService::Start(TransferId id) {
  const auto found = transfers_.find(id);
  if (found == transfers_.end()) return;
  Job& job = *found->second;

  QUrl url = ResolveAddress(job.request.address, job.request.base);
  if (!url.isValid() || url.isEmpty()) {
    Finish(id, QStringLiteral("Invalid address"));
    return;
  }
  const std::string scheme = url.scheme().toLower().toStdString();
  std::string localPath;
  if (url.isLocalFile()) localPath = QFileInfo(url.toLocalFile()).canonicalFilePath().toStdString();
  const std::string refused = CheckAccess(job.policy, scheme, localPath);
  if (!refused.empty()) {
    Finish(id, QString::fromStdString(refused));
    return;
  }

  const QByteArray variables = QByteArray::fromStdString(job.request.variables);
  if (job.request.method == NetMethod::Get && !variables.isEmpty() && !url.isLocalFile()) {
    QString query = url.query(QUrl::FullyEncoded);
    if (!query.isEmpty()) query += QLatin1Char('&');
    url.setQuery(query + QString::fromLatin1(variables), QUrl::TolerantMode);
  }

  auto* transfer = new Transfer(manager_, job.request.limits, this);
  job.transfer = transfer;
  transfer->callbacks.progress = [this, id](qint64 read, qint64 total, int code, const QString&) {
    if (code != kBeginDownload && code != kDownloading) return;
    const auto running = transfers_.find(id);
    if (running != transfers_.end() && running->second->callbacks.progress)
      running->second->callbacks.progress(read, total);
  };
  transfer->callbacks.data = [this, id](const QByteArray& chunk, QString&) {
    const auto running = transfers_.find(id);
    if (running == transfers_.end()) return false;
    Job& owner = *running->second;
    if (owner.callbacks.data) owner.callbacks.data(std::string_view(chunk.constData(), chunk.size()));
    else owner.body.append(chunk.constData(), chunk.size());
    return true;
  };
  transfer->callbacks.finished = [this, id](const QString& error) { Finish(id, error); };
  if (job.request.method == NetMethod::Post && !url.isLocalFile()) {
    transfer->Post(url, variables, QString::fromStdString(job.request.contentType));
  } else {
    transfer->Get(url);
  }
}

void NetService::Finish(TransferId id, const QString& error) {
  const auto found = transfers_.find(id);
  if (found == transfers_.end()) return;
  std::unique_ptr<Job> job = std::move(found->second);
  transfers_.erase(found);
  NetResponse response;
  if (Transfer* transfer = job->transfer.data()) {
    response.address = transfer->FinalUrl().toString().toStdString();
    response.mimeType = transfer->MimeType().toStdString();
    response.status = transfer->HttpStatus();
    // This may run inside the transfer's own call.
    transfer->deleteLater();
  }
  response.body = std::move(job->body);
  if (!error.isEmpty()) {
    if (job->callbacks.failed) job->callbacks.failed(error.toStdString());
  } else if (job->callbacks.complete) {
    job->callbacks.complete(response);
  }
}

void NetService::Cancel(TransferId id) {
  const auto found = transfers_.find(id);
  if (found == transfers_.end()) return;
  if (Transfer* transfer = found->second->transfer.data()) {
    transfer->Abort();
    transfer->deleteLater();
  }
  transfers_.erase(found);
}

void NetService::CancelOwner(std::uint64_t owner) {
  std::vector<TransferId> ids;
  for (const auto& [id, job] : transfers_)
    if (job->request.owner == owner) ids.push_back(id);
  for (const TransferId id : ids) Cancel(id);
}

std::string NetService::OpenInBrowser(const std::string& address, const std::string& base) {
  const QUrl url = ResolveAddress(address, base);
  if (!url.isValid() || url.isEmpty()) return "Invalid address";
  if (!BrowserMayOpen(url.scheme().toStdString())) return "Only web and mail addresses open in the browser";
  const bool opened = openUrl ? openUrl(url) : QDesktopServices::openUrl(url);
  return opened ? std::string() : "The desktop could not open the address";
}

std::string NetService::Resolve(const std::string& address, const std::string& base) {
  return ResolveAddress(address, base).toString(QUrl::FullyEncoded).toStdString();
}

}  // namespace vantrel::net
