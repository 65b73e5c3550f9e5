// Gives the Flash engine the network: the control's fetch and getURL hooks go to an
// EngineNetwork, with what a movie may reach decided by where the movie came from.
#pragma once

#include <functional>

#include "net/engine_network.h"

namespace vantrel::flash {
class FlashControl;
}

namespace vantrel::ui {

struct EngineNetworkOptions {
  // Local movies may reach the web (off: they read the files beside them only).
  bool localMayUseNetwork = false;
  // When set, asked at each request instead of the flag (an option the user may change
  // while a movie plays).
  std::function<bool()> localMayUseNetworkNow;
  // Bounds of each transfer a movie starts.
  net::TransferLimits limits = EngineLimits();

  static net::TransferLimits EngineLimits() {
    net::TransferLimits limits;
    limits.maxBytes = 64LL * 1024 * 1024;
    limits.stallMs = 30000;
    limits.totalMs = 5 * 60 * 1000;
    return limits;
  }
};

// The access policy for a movie whose own address is movieAddress (a URL, a file://
// address or a local path) and whose FileAttributes say useNetwork.
net::AccessPolicy PolicyFor(const std::string& movieAddress, bool useNetwork, bool localMayUseNetwork);

// Installs control's Fetch, CancelFetch and OpenUrl hooks on network; they take
// effect from the control's next load. network must outlive control's movies (the
// player cancels its transfers when a movie goes).
void InstallEngineNetwork(flash::FlashControl& control, net::EngineNetwork& network, EngineNetworkOptions options = {});

}  // namespace vantrel::ui
