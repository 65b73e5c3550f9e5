// A movie file opened for binary reading, with the reading rules the record readers rely
// on: bytes past the end read as zero and mark the file as at its end, like a read that
// came up short. Reads go through a small window, so walking tag headers costs few
// system calls. The same reader works over bytes in memory (fuzzing, movies already read).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vantrel::media {

class MediaFile {
 public:
  MediaFile() = default;
  ~MediaFile();
  MediaFile(const MediaFile&) = delete;
  MediaFile& operator=(const MediaFile&) = delete;
  MediaFile(MediaFile&& other) noexcept;
  MediaFile& operator=(MediaFile&& other) noexcept;

  // Opens path for reading. False when it cannot be opened (or is a folder).
  bool Open(const std::string& path);
  // Reads from bytes that outlive this reader.
  void OpenMemory(std::span<const std::uint8_t> bytes);
  void Close();
  bool IsOpen() const { return fd_ >= 0 || memoryOpen_; }

  std::uint64_t Size() const { return size_; }

  // Copies count bytes at the 0-based offset into out. Bytes past the end are zero and
  // set AtEnd(). Returns how many real bytes were read.
  std::size_t ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t count);

  // Sequential reads at Position() (0-based), as ReadAt, moving the position on.
  std::uint64_t Position() const { return position_; }
  void Seek(std::uint64_t offset) { position_ = offset; }
  std::size_t Read(std::uint8_t* out, std::size_t count);
  std::uint8_t ReadByte();
  std::uint32_t ReadBigEndian(std::size_t count);     // 1 to 4 bytes, first most significant
  std::uint32_t ReadLittleEndian(std::size_t count);  // 1 to 4 bytes, first least significant

  // True when the last read came up short (reached past the end of the file).
  bool AtEnd() const { return atEnd_; }
  // For readers that skip a read they know would come up short.
  void MarkEnd(bool atEnd) { atEnd_ = atEnd; }

 private:
  bool Fill(std::uint64_t offset);

  int fd_ = -1;
  bool memoryOpen_ = false;
  std::span<const std::uint8_t> memory_;
  std::uint64_t size_ = 0;
  std::uint64_t position_ = 0;
  bool atEnd_ = false;
  std::vector<std::uint8_t> window_;
  std::uint64_t windowStart_ = 0;
  std::size_t windowLength_ = 0;
};

}  // namespace vantrel::media
