// Movies named by a web address: the player fetches them into the cache first and then
// plays the local copy.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace vantrel::player {

// True when text starts with "http://" or "https://" (any case).
bool IsWebAddress(std::string_view text);

class WebPort {
 public:
  // path is the local copy, or "" with error saying why the fetch failed.
  using FetchDone = std::function<void(const std::string& path, const std::string& error)>;

  virtual ~WebPort() = default;
  // Starts fetching address into the cache, replacing a fetch still running (which then
  // never reports). done runs later from the event loop, never inside Fetch.
  virtual void Fetch(const std::string& address, FetchDone done) = 0;
  // Stops a running fetch without reporting it; nothing when none runs.
  virtual void CancelFetch() = 0;
};

}  // namespace vantrel::player
