// Rules of the program's transfers, without windows or network: the download dialog's
// address check and status lines, cache names for fetched files, the bounds every
// transfer runs within, and what a movie may reach.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel::net {

// Stages a transfer reports to the download dialog.
enum StatusCode : int {
  kFindingResource = 1,
  kConnecting = 2,
  kRedirecting = 3,
  kBeginDownload = 4,
  kDownloading = 5,
  kSendingRequest = 11,
  kMimeType = 13,
  kCacheFileName = 14,
};

// True when the download dialog may start on text: longer than 9 characters and
// starting with "http://" in any case.
bool DownloadGoEnabled(std::string_view text);

// The status line for a reported stage: its prefix ("Downloading... :: ") and text, or
// the code in decimal, " :: " and text for stages without a prefix.
std::string DownloadStatusLine(int code, std::string_view text);

// The cache file name for a web address: host, port and path flattened into one safe
// name ("www.example.org_games_orbit.swf"); the query and fragment are left out.
// Never empty, never a path.
std::string CacheFileNameFor(std::string_view address);

// Bounds of one transfer. A transfer that exceeds one fails with a reason.
struct TransferLimits {
  std::int64_t maxBytes = 64LL * 1024 * 1024;  // body size
  int stallMs = 30000;                         // longest wait for the next bytes
  int totalMs = 10 * 60 * 1000;                // the whole transfer
  int maxRedirects = 5;
};

// What a movie may reach, decided by where the movie itself came from. A movie from the
// web reaches the web and never a local file. A movie opened from a file lives in one
// of two sandboxes, chosen by its FileAttributes UseNetwork flag: with the flag it is
// local-with-networking (the web when the "LocalNetwork" option allows, no local file),
// without it local-with-file-system (the files under its own folder, never the web).
struct AccessPolicy {
  bool movieIsLocal = true;          // the movie was opened from a file
  std::string movieFolder;           // its folder, canonical, with a trailing "/"
  bool localMayUseNetwork = false;   // the option that lets local movies use the network
  bool useNetwork = false;           // the movie's UseNetwork flag
};

// "" when a movie under policy may read the resolved address (scheme lower-case; for
// "file", localPath is the canonical path of the target, with every link and ".."
// resolved, "" when it does not exist), else the reason it may not.
std::string CheckAccess(const AccessPolicy& policy, std::string_view scheme, std::string_view localPath);

// True for the schemes a movie may hand to the desktop's browser: http, https, mailto.
bool BrowserMayOpen(std::string_view scheme);

}  // namespace vantrel::net
