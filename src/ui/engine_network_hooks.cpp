#include "ui/engine_network_hooks.h"

#include <QUrl>
#include <filesystem>
#include <memory>

#include "flash/control/flash_control.h"

namespace vantrel::ui {

namespace {

bool IsWeb(const std::string& address) {
  const std::size_t scheme = address.find("://");
  return scheme != std::string::npos && address.compare(0, scheme, "file") != 0;
}

}  // namespace

net::AccessPolicy PolicyFor(const std::string& movieAddress, bool useNetwork, bool localMayUseNetwork) {
  net::AccessPolicy policy;
  policy.localMayUseNetwork = localMayUseNetwork;
  policy.useNetwork = useNetwork;
  policy.movieIsLocal = !IsWeb(movieAddress);
  if (!policy.movieIsLocal) return policy;
  std::string path = movieAddress;
  if (const std::size_t query = path.find('?'); query != std::string::npos) path.resize(query);
  // A file:// address is percent-encoded ("my%20games"); a plain path is taken as it is.
  if (path.rfind("file://", 0) == 0) path = QUrl(QString::fromStdString(path)).toLocalFile().toStdString();
  std::error_code error;
  std::filesystem::path folder = std::filesystem::absolute(std::filesystem::path(path), error).parent_path();
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(folder, error);
  if (!error) folder = canonical;
  policy.movieFolder = folder.string();
  if (policy.movieFolder.empty() || policy.movieFolder.back() != '/') policy.movieFolder += '/';
  return policy;
}

void InstallEngineNetwork(flash::FlashControl& control, net::EngineNetwork& network, EngineNetworkOptions options) {
  control.Fetch = [&network, options](const flash::FetchRequest& request, flash::FetchCallbacks callbacks) {
    net::NetRequest asked;
    asked.address = request.url;
    asked.base = request.base;
    asked.method = request.method == "POST" ? net::NetMethod::Post : net::NetMethod::Get;
    asked.variables = request.formData;
    asked.limits = options.limits;
    auto shared = std::make_shared<flash::FetchCallbacks>(std::move(callbacks));
    net::NetCallbacks answers;
    answers.progress = [shared](std::int64_t loaded, std::int64_t total) {
      if (shared->progress) shared->progress(loaded, total < 0 ? 0 : total);
    };
    if (shared->data) answers.data = [shared](std::string_view chunk) { shared->data(chunk); };
    answers.complete = [shared](const net::NetResponse& response) {
      if (!shared->done) return;
      if (response.status >= 400) {
        shared->done(false, "HTTP status " + std::to_string(response.status));
        return;
      }
      shared->done(true, response.body);
    };
    answers.failed = [shared](const std::string& reason) {
      if (shared->done) shared->done(false, reason);
    };
    const bool localMayUseNetwork =
        options.localMayUseNetworkNow ? options.localMayUseNetworkNow() : options.localMayUseNetwork;
    return network.Request(asked, PolicyFor(request.base, request.useNetwork, localMayUseNetwork), std::move(answers));
  };
  control.CancelFetch = [&network](std::uint64_t id) { network.Cancel(id); };
  control.OpenUrl = [&network, &control](const std::string& url, const std::string&) {
    network.OpenInBrowser(url, control.MovieAddress());
  };
}

}  // namespace vantrel::ui
