// Socket connections a movie asks for (XMLSocket). The program around the engine opens
// them: the player window with the network, the corpus runs with a scripted peer.
// Where the hook is unset every connect is refused, as for a movie whose sandbox allows
// no sockets.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace vantrel::flash {

class SocketConnection {
 public:
  enum class State { Connecting, Open, Failed, Closed };
  virtual ~SocketConnection() = default;
  // Asked once a frame: the state now, with the bytes that arrived since the last poll
  // appended to received (bytes that came before the peer closed still arrive).
  virtual State Poll(std::string& received) = 0;
  // Queues bytes for the peer; ignored unless the connection is open.
  virtual void Send(const std::string& bytes) = 0;
  // Closes the connection from the movie's side.
  virtual void Close() = 0;
};

// A connection being opened to host:port, or null when it cannot even be tried.
using SocketHook = std::function<std::unique_ptr<SocketConnection>(const std::string& host, int port)>;

// The process's socket hook (one player per process).
inline SocketHook& SocketOpener() {
  static SocketHook hook;
  return hook;
}

}  // namespace vantrel::flash
