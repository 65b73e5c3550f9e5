// The engine's network on QNetworkAccessManager (QtCore and QtNetwork only).
#pragma once

#include <QNetworkAccessManager>
#include <QObject>
#include <QUrl>
#include <functional>
#include <map>
#include <memory>

#include "net/engine_network.h"

namespace vantrel::net {

class Transfer;

class NetService final : public QObject, public EngineNetwork {
 public:
  explicit NetService(QObject* parent = nullptr);
  ~NetService() override;

  TransferId Request(const NetRequest& request, const AccessPolicy& policy, NetCallbacks callbacks) override;
  void Cancel(TransferId id) override;
  void CancelOwner(std::uint64_t owner) override;
  std::string OpenInBrowser(const std::string& address, const std::string& base) override;
  std::string Resolve(const std::string& address, const std::string& base) override;

  // The transfers still running.
  std::size_t Running() const { return transfers_.size(); }
  // Opens an address on the desktop; unset: QDesktopServices (tests replace it).
  std::function<bool(const QUrl&)> openUrl;

 private:
  struct Job;
  void Start(TransferId id);
  void Finish(TransferId id, const QString& error);

  QNetworkAccessManager manager_;
  TransferId nextId_ = 1;
  std::map<TransferId, std::unique_ptr<Job>> transfers_;
};

// The address of address relative to base: base is a URL, or a local path (the movie's
// own file); absolute addresses stay as they are. An empty URL when it cannot resolve.
QUrl ResolveAddress(const std::string& address, const std::string& base);

}  // namespace vantrel::net
