// A D-Bus session bus of the test's own: a dbus-daemon started for the test and ended
// with this object, so tests can offer fake desktop services without touching the
// user's session.
#pragma once

#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace vantrel::testing {

class PrivateSessionBus {
 public:
  PrivateSessionBus() {
    FILE* daemon = popen("dbus-daemon --session --fork --print-address=1 --print-pid=1 2>/dev/null", "r");
    if (!daemon) {
      missing_ = "dbus-daemon is not installed";
      return;
    }
    char address[512] = {0}, pid[32] = {0};
    const bool read = std::fgets(address, sizeof address, daemon) && std::fgets(pid, sizeof pid, daemon);
    pclose(daemon);
    if (!read) {
      missing_ = "dbus-daemon did not start";
      return;
    }
    address_ = address;
    while (!address_.empty() && address_.back() == '\n') address_.pop_back();
    pid_ = static_cast<pid_t>(std::atol(pid));
  }
  ~PrivateSessionBus() {
    if (pid_ > 0) kill(pid_, SIGTERM);
  }
  PrivateSessionBus(const PrivateSessionBus&) = delete;
  PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

  // Why there is no bus (for GTEST_SKIP), or "" when there is one.
  const std::string& Missing() const { return missing_; }
  const std::string& Address() const { return address_; }

 private:
  std::string missing_;
  std::string address_;
  pid_t pid_ = -1;
};

}  // namespace vantrel::testing
