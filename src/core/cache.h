// Cleaning the cache folder when the program quits.
#pragma once

#include <string>

namespace vantrel::core {

// Deletes files in cachePath by mode: 1 "*.swf", "*.exe", "*.tmp"; 2 every file;
// 3 "*.jpg"; 0 or any other value nothing. Sub-folders are left alone, errors ignored.
// Returns the number of files deleted.
int CleanCache(const std::string& cachePath, long mode);

// The mkstemp pattern for a temporary file beside target: target + ".vantrel-" + the
// process id + "-XXXXXX". The process id lets a later start tell a file that a killed
// run left behind from one that another running process is still writing.
std::string TemporaryPatternFor(const std::string& target);

// The process's umask, for giving a new file of the user's its usual permissions (0666
// less the umask). It is read from /proc without being changed: setting it, even back
// at once, would give files that other threads create meanwhile the wrong permissions.
unsigned CurrentUmask();

// Deletes the temporary files (named by TemporaryPatternFor) in folder whose process no
// longer runs. Sub-folders are left alone, errors ignored. Returns the number deleted.
int RemoveStaleTemporaries(const std::string& folder);

}  // namespace vantrel::core
