// Whether a converted copy in the cache still stands for the file it was made from. The
// cache names copies by the source's path alone, so a movie replaced by another file at
// the same path must not be answered with the old movie's copy.
#pragma once

#include <string>

namespace vantrel::media {

// What a copy remembers of its source: the size and modification time it had when the
// copy was made.
struct SourceStamp {
  long long size = -1;
  long long modifiedSeconds = 0;
  long long modifiedNanoseconds = 0;
  bool Known() const { return size >= 0; }
};

// The stamp of the file at path now; an unknown stamp when it cannot be read.
SourceStamp StampOf(const std::string& path);

// Records stamp on the copy at copyPath (an extended attribute). Returns false when the
// file system keeps no such attributes; the copy's own time then speaks for it.
bool StampCacheCopy(const std::string& copyPath, const SourceStamp& stamp);

// True when the copy at copyPath exists and was made from the file now at sourcePath: a
// copy older than its source never counts; one that carries a stamp counts only when the
// stamp matches the source's size and time. A missing or unreadable source (nothing to
// compare with) leaves a copy that exists valid.
bool CacheCopyIsCurrent(const std::string& copyPath, const std::string& sourcePath);

}  // namespace vantrel::media
