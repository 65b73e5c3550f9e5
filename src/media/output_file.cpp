#include "media/output_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "core/cache.h"

namespace vantrel::media {

OutputFile::~OutputFile() { Abandon(); }

OutputFile::OutputFile(OutputFile&& other) noexcept { *this = std::move(other); }

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this == &other) return *this;
  Abandon();
  fd_ = std::exchange(other.fd_, -1);
  target_ = std::move(other.target_);
  temp_ = std::move(other.temp_);
  error_ = std::move(other.error_);
  size_ = std::exchange(other.size_, 0);
  durable_ = other.durable_;
  return *this;
}

std::string OutputFile::Open(const std::string& target) {
  Abandon();
  target_ = target;
  error_.clear();
  size_ = 0;
  temp_ = core::TemporaryPatternFor(target);
  fd_ = ::mkostemp(temp_.data(), O_CLOEXEC);
  if (fd_ < 0) {
    error_ = "Cannot create " + target + ": " + std::strerror(errno);
    temp_.clear();
    return error_;
  }
  // A new file of ours gets the user's usual permissions, not mkstemp's 0600.
  ::fchmod(fd_, static_cast<mode_t>(0666u & ~core::CurrentUmask()));
  return {};
}

bool OutputFile::Write(std::span<const std::uint8_t> bytes) {
  if (!WriteAt(size_, bytes)) return false;
  return true;
}

bool OutputFile::Write(std::string_view bytes) {
  return Write(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

bool OutputFile::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  if (fd_ < 0) return false;
  if (!error_.empty()) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote = ::pwrite(fd_, bytes.data() + done, bytes.size() - done,
                                   static_cast<off_t>(offset + done));
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) {
      error_ = "Cannot write " + target_ + ": " + std::strerror(wrote < 0 ? errno : EIO);
      return false;
    }
    done += static_cast<std::size_t>(wrote);
  }
  if (offset + bytes.size() > size_) size_ = offset + bytes.size();
  return true;
}

bool OutputFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const {
  if (fd_ < 0 || offset > size_ || out.size() > size_ - offset) return false;
  std::size_t done = 0;
  while (done < out.size()) {
    const ssize_t got = ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

std::string OutputFile::Commit() {
  if (fd_ < 0) return error_.empty() ? "Nothing to write" : error_;
  if (error_.empty() && durable_ && ::fsync(fd_) != 0) error_ = "Cannot write " + target_ + ": " + std::strerror(errno);
  if (::close(fd_) != 0 && error_.empty()) error_ = "Cannot write " + target_ + ": " + std::strerror(errno);
  fd_ = -1;
  if (error_.empty() && std::rename(temp_.c_str(), target_.c_str()) != 0)
    error_ = "Cannot write " + target_ + ": " + std::strerror(errno);
  if (!error_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
  return error_;
}

void OutputFile::Abandon() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!temp_.empty()) {
    ::unlink(temp_.c_str());
    temp_.clear();
  }
}

bool CopyRange(int src, std::uint64_t offset, std::uint64_t count, OutputFile& out) {
  std::vector<std::uint8_t> buffer(std::min<std::uint64_t>(count, 1 << 16));
  while (count > 0) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(count, buffer.size()));
    const ssize_t got = ::pread(src, buffer.data(), want, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    if (!out.Write(std::span(buffer.data(), static_cast<std::size_t>(got)))) return false;
    offset += static_cast<std::uint64_t>(got);
    count -= static_cast<std::uint64_t>(got);
  }
  return true;
}

}  // namespace vantrel::media
