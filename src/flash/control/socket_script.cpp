#include "flash/control/socket_script.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include "core/text.h"

namespace vantrel::flash {

namespace {

bool ReadBytes(const QJsonValue& value, std::string& bytes) {
  if (!value.isArray()) return false;
  for (const QJsonValue& byte : value.toArray()) {
    const int b = byte.toInt(-1);
    if (b < 0 || b > 255) return false;
    bytes.push_back(static_cast<char>(b));
  }
  return true;
}

// The peer's side of the one scripted connection, shared by the connection the movie
// holds (which may go away first) and the hook.
struct Peer {
  std::vector<SocketStep> steps;
  std::size_t next = 0;
  std::string fromMovie;  // bytes the movie sent that no Receive has taken yet
  std::string toMovie;    // bytes sent to the movie not yet polled
  bool connected = false;
  bool closedByMovie = false;
  bool closedByPeer = false;

  // Takes every step that can be taken now.
  void Advance() {
    while (next < steps.size() && !closedByPeer) {
      const SocketStep& step = steps[next];
      switch (step.type) {
        case SocketStep::Type::Receive:
          if (fromMovie.size() < step.bytes.size()) return;
          if (fromMovie.compare(0, step.bytes.size(), step.bytes) != 0) {
            closedByPeer = true;  // not the conversation the script expects
            return;
          }
          fromMovie.erase(0, step.bytes.size());
          break;
        case SocketStep::Type::Send:
          toMovie += step.bytes;
          break;
        case SocketStep::Type::Disconnect:
          closedByPeer = true;
          break;
        case SocketStep::Type::WaitForDisconnect:
          if (!closedByMovie) return;
          break;
      }
      ++next;
    }
  }
};

class ScriptedConnection final : public SocketConnection {
 public:
  explicit ScriptedConnection(std::shared_ptr<Peer> peer) : peer_(std::move(peer)) {}
  ~ScriptedConnection() override { Close(); }

  State Poll(std::string& received) override {
    if (peer_->closedByMovie) return State::Closed;
    peer_->connected = true;
    peer_->Advance();
    received += peer_->toMovie;
    peer_->toMovie.clear();
    return peer_->closedByPeer ? State::Closed : State::Open;
  }

  void Send(const std::string& bytes) override {
    if (!peer_->connected || peer_->closedByMovie || peer_->closedByPeer) return;
    peer_->fromMovie += bytes;
  }

  void Close() override {
    if (peer_->closedByMovie) return;
    peer_->closedByMovie = true;
    peer_->Advance();
  }

 private:
  std::shared_ptr<Peer> peer_;
};

}  // namespace

bool ParseSocketScript(const std::string& text, SocketScript& script, std::string& error) {
  QJsonParseError parseError;
  const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text), &parseError);
  if (!document.isArray()) {
    error = parseError.error != QJsonParseError::NoError ? parseError.errorString().toStdString()
                                                         : "not a list of socket steps";
    return false;
  }
  script.steps.clear();
  for (const QJsonValue& value : document.array()) {
    const QJsonObject object = value.toObject();
    const QString type = object.value("type").toString();
    SocketStep step;
    bool ok = true;
    if (type == "Receive") {
      step.type = SocketStep::Type::Receive;
      ok = ReadBytes(object.value("expected"), step.bytes);
    } else if (type == "Send") {
      step.type = SocketStep::Type::Send;
      ok = ReadBytes(object.value("payload"), step.bytes);
    } else if (type == "Disconnect") {
      step.type = SocketStep::Type::Disconnect;
    } else if (type == "WaitForDisconnect") {
      step.type = SocketStep::Type::WaitForDisconnect;
    } else {
      ok = false;
    }
    if (!ok) {
      error = "socket step " + std::to_string(script.steps.size() + 1) + " is not understood";
      return false;
    }
    script.steps.push_back(std::move(step));
  }
  return true;
}

bool LoadSocketScript(const std::string& path, SocketScript& script, std::string& error) {
  std::vector<std::uint8_t> bytes;
  if (!core::ReadFileBytes(path, bytes)) {
    error = "cannot read " + path;
    return false;
  }
  return ParseSocketScript(std::string(bytes.begin(), bytes.end()), script, error);
}

SocketHook ScriptedSocketHook(SocketScript script) {
  auto steps = std::make_shared<std::vector<SocketStep>>(std::move(script.steps));
  auto used = std::make_shared<bool>(false);
  return [steps, used](const std::string&, int) -> std::unique_ptr<SocketConnection> {
    if (*used) return nullptr;
    *used = true;
    auto peer = std::make_shared<Peer>();
    peer->steps = *steps;
    return std::make_unique<ScriptedConnection>(std::move(peer));
  };
}

}  // namespace vantrel::flash
