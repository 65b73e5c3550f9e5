#include "media/cache_copy.h"

#include <cerrno>
#include <cstdio>
#include <sys/stat.h>
#include <sys/xattr.h>

namespace vantrel::media {

namespace {

constexpr const char* kStampAttribute = "user.vantrel.source";

bool Older(const struct stat& copy, const struct stat& source) {
  if (copy.st_mtim.tv_sec != source.st_mtim.tv_sec) return copy.st_mtim.tv_sec < source.st_mtim.tv_sec;
  return copy.st_mtim.tv_nsec < source.st_mtim.tv_nsec;
}

}  // namespace

SourceStamp StampOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return {};
  return {static_cast<long long>(info.st_size), static_cast<long long>(info.st_mtim.tv_sec),
          static_cast<long long>(info.st_mtim.tv_nsec)};
}

bool StampCacheCopy(const std::string& copyPath, const SourceStamp& stamp) {
  if (!stamp.Known()) return false;
  char text[80];
  const int length = std::snprintf(text, sizeof text, "%lld %lld %lld", stamp.size, stamp.modifiedSeconds,
                                   stamp.modifiedNanoseconds);
  return ::setxattr(copyPath.c_str(), kStampAttribute, text, static_cast<std::size_t>(length), 0) == 0;
}

bool CacheCopyIsCurrent(const std::string& copyPath, const std::string& sourcePath) {
  struct stat copy {};
  if (::stat(copyPath.c_str(), &copy) != 0 || !S_ISREG(copy.st_mode)) return false;
  struct stat source {};
  if (::stat(sourcePath.c_str(), &source) != 0) return true;
  if (Older(copy, source)) return false;
  char text[80];
  const ssize_t length = ::getxattr(copyPath.c_str(), kStampAttribute, text, sizeof text - 1);
  if (length < 0) return true;  // no stamp (or no attributes here): the times said enough
  text[length] = '\0';
  long long size = -1, seconds = 0, nanoseconds = 0;
  if (std::sscanf(text, "%lld %lld %lld", &size, &seconds, &nanoseconds) != 3) return false;
  return size == static_cast<long long>(source.st_size) && seconds == static_cast<long long>(source.st_mtim.tv_sec) &&
         nanoseconds == static_cast<long long>(source.st_mtim.tv_nsec);
}

}  // namespace vantrel::media
