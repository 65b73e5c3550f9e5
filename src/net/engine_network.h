// What the Flash engine asks of the network, in plain C++ so that the engine can hold
// the interface without Qt Network: loadMovie, MovieClipLoader, loadVariables,
// LoadVars, XML.load/sendAndLoad, NetStream.play and Sound.loadSound by address, and
// getURL to the desktop's browser.
//
// Addresses are resolved against the movie's own address (a URL, or a local path for a
// movie opened from a file). Every transfer is bounded (TransferLimits) and answered
// from the event loop, never inside Request, by exactly one of complete or failed,
// unless it is cancelled first. Cancelled transfers never call back; the engine cancels
// every transfer of a movie when the movie unloads (CancelOwner).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "net/transfer_rules.h"

namespace vantrel::net {

enum class NetMethod { Get, Post };

struct NetRequest {
  std::string address;   // absolute, or relative to base
  std::string base;      // the requesting movie's own address or local path
  NetMethod method = NetMethod::Get;
  // Form data ("a=1&b=2"): appended to the query for Get, the body for Post.
  std::string variables;
  std::string contentType = "application/x-www-form-urlencoded";
  TransferLimits limits;
  std::uint64_t owner = 0;  // the movie (or clip) the transfer belongs to
};

struct NetResponse {
  std::string address;    // the final address, after redirects
  std::string mimeType;
  int status = 0;         // the HTTP status; 0 for local files
  std::string body;       // empty when the request streamed its data
};

struct NetCallbacks {
  // Bytes read so far and in all (0 when the server did not say). Optional.
  std::function<void(std::int64_t loaded, std::int64_t total)> progress;
  // When set, the body arrives here piece by piece (progressive video, streamed sound)
  // and the response's body stays empty.
  std::function<void(std::string_view chunk)> data;
  std::function<void(const NetResponse& response)> complete;
  std::function<void(const std::string& reason)> failed;
};

using TransferId = std::uint64_t;

class EngineNetwork {
 public:
  virtual ~EngineNetwork() = default;
  // Starts a transfer for a movie under policy. Returns its id (never 0); a refused or
  // malformed request reports failed later like any other failure.
  virtual TransferId Request(const NetRequest& request, const AccessPolicy& policy, NetCallbacks callbacks) = 0;
  // Stops one transfer; it never calls back afterwards. Unknown ids are ignored.
  virtual void Cancel(TransferId id) = 0;
  // Stops every transfer of owner (the movie unloads).
  virtual void CancelOwner(std::uint64_t owner) = 0;
  // getURL to a browser window: resolves address against base and opens it on the
  // desktop when its scheme is http, https or mailto. Returns "" or the reason it was
  // refused.
  virtual std::string OpenInBrowser(const std::string& address, const std::string& base) = 0;
  // The absolute address of address relative to base ("" when it cannot be resolved).
  virtual std::string Resolve(const std::string& address, const std::string& base) = 0;
};

}  // namespace vantrel::net
