#include "media/media_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace vantrel::media {

namespace {
// Big enough for a movie header and its first tags in one read, small enough to be cheap
// for files that turn out to be something else.
constexpr std::size_t kWindowSize = 8192;
}  // namespace

MediaFile::~MediaFile() { Close(); }

MediaFile::MediaFile(MediaFile&& other) noexcept { *this = std::move(other); }

MediaFile& MediaFile::operator=(MediaFile&& other) noexcept {
  if (this == &other) return *this;
  Close();
  fd_ = std::exchange(other.fd_, -1);
  memoryOpen_ = std::exchange(other.memoryOpen_, false);
  memory_ = other.memory_;
  size_ = other.size_;
  position_ = other.position_;
  atEnd_ = other.atEnd_;
  window_ = std::move(other.window_);
  windowStart_ = other.windowStart_;
  windowLength_ = std::exchange(other.windowLength_, 0);
  return *this;
}

bool MediaFile::Open(const std::string& path) {
  Close();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  size_ = static_cast<std::uint64_t>(info.st_size);
  return true;
}

void MediaFile::OpenMemory(std::span<const std::uint8_t> bytes) {
  Close();
  memory_ = bytes;
  memoryOpen_ = true;
  size_ = bytes.size();
}

void MediaFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  memoryOpen_ = false;
  memory_ = {};
  size_ = 0;
  position_ = 0;
  atEnd_ = false;
  windowStart_ = 0;
  windowLength_ = 0;
}

bool MediaFile::Fill(std::uint64_t offset) {
  if (window_.size() < kWindowSize) window_.resize(kWindowSize);
  windowStart_ = offset;
  windowLength_ = 0;
  // Never past the end: a short file is read with one call.
  const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(kWindowSize, size_ - offset));
  while (windowLength_ < wanted) {
    const ssize_t got = ::pread(fd_, window_.data() + windowLength_, wanted - windowLength_,
                                static_cast<off_t>(offset + windowLength_));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    windowLength_ += static_cast<std::size_t>(got);
  }
  return windowLength_ > 0;
}

std::size_t MediaFile::ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t count) {
  std::size_t done = 0;
  if (memoryOpen_) {
    if (offset < size_) {
      done = static_cast<std::size_t>(std::min<std::uint64_t>(count, size_ - offset));
      std::memcpy(out, memory_.data() + offset, done);
    }
  } else if (fd_ >= 0) {
    while (done < count && offset + done < size_) {
      const std::uint64_t at = offset + done;
      if (at < windowStart_ || at >= windowStart_ + windowLength_) {
        if (count - done >= kWindowSize) {
          // A large read goes straight to the caller's buffer.
          const ssize_t got = ::pread(fd_, out + done, count - done, static_cast<off_t>(at));
          if (got < 0 && errno == EINTR) continue;
          if (got <= 0) break;
          done += static_cast<std::size_t>(got);
          continue;
        }
        if (!Fill(at)) break;
      }
      const std::size_t inWindow = static_cast<std::size_t>(windowStart_ + windowLength_ - at);
      const std::size_t take = std::min(inWindow, count - done);
      std::memcpy(out + done, window_.data() + (at - windowStart_), take);
      done += take;
    }
  }
  // Like a record read in binary mode: a short read fills zeros and reports the end,
  // and the next full read clears that again.
  atEnd_ = done < count;
  if (atEnd_) std::memset(out + done, 0, count - done);
  return done;
}

std::size_t MediaFile::Read(std::uint8_t* out, std::size_t count) {
  const std::size_t got = ReadAt(position_, out, count);
  position_ += count;
  return got;
}

std::uint8_t MediaFile::ReadByte() {
  std::uint8_t byte = 0;
  Read(&byte, 1);
  return byte;
}

std::uint32_t MediaFile::ReadBigEndian(std::size_t count) {
  std::uint8_t bytes[4] = {};
  count = std::min<std::size_t>(count, 4);
  Read(bytes, count);
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < count; ++i) value = (value << 8) | bytes[i];
  return value;
}

std::uint32_t MediaFile::ReadLittleEndian(std::size_t count) {
  std::uint8_t bytes[4] = {};
  count = std::min<std::size_t>(count, 4);
  Read(bytes, count);
  std::uint32_t value = 0;
  for (std::size_t i = count; i-- > 0;) value = (value << 8) | bytes[i];
  return value;
}

}  // namespace vantrel::media
