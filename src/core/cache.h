// Cleaning the cache folder when the program quits.
#pragma once

#include <string>

namespace vantrel::core {

// Deletes files in cachePath by mode: 1 "*.swf", "*.exe", "*.tmp"; 2 every file;
// 3 "*.jpg"; 0 or any other value nothing. Sub-folders are left alone, errors ignored.
// Returns the number of files deleted.
int CleanCache(const std::string& cachePath, long mode);

}  // namespace vantrel::core
