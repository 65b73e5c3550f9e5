// A scripted server for unattended runs: the socket.json files of the test corpus, a
// list of steps the peer takes in order once the movie connects. "Receive" waits for
// the movie to send exactly the bytes "expected", "Send" hands the bytes "payload" to
// the movie, "Disconnect" ends the connection from the server's side and
// "WaitForDisconnect" waits for the movie to close it. The peer answers the first
// connection the movie opens; further ones are refused.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "flash/display/socket_hook.h"

namespace vantrel::flash {

struct SocketStep {
  enum class Type { Receive, Send, Disconnect, WaitForDisconnect };
  Type type = Type::Send;
  std::string bytes;  // Receive: expected; Send: payload
};

struct SocketScript {
  std::vector<SocketStep> steps;
};

// Reads a socket.json text; false with the reason in error when it is not a JSON array
// of known steps.
bool ParseSocketScript(const std::string& text, SocketScript& script, std::string& error);
// The same for a file; false with the reason when it cannot be read or parsed.
bool LoadSocketScript(const std::string& path, SocketScript& script, std::string& error);

// A hook that connects the movie's first socket to a peer playing script. A step that
// does not go as scripted (other bytes than expected) closes the connection.
SocketHook ScriptedSocketHook(SocketScript script);

}  // namespace vantrel::flash
