// A file written in pieces that appears under its name only when it is complete: the
// bytes go to a temporary file beside the target, which is renamed over the target by
// Commit. Abandoning (or destroying without Commit) removes the temporary file, so a
// failed conversion never leaves a half-written target behind.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vantrel::media {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&& other) noexcept;

  // Starts a new temporary file beside target. Returns "" or the reason it failed.
  std::string Open(const std::string& target);
  bool IsOpen() const { return fd_ >= 0; }
  const std::string& Target() const { return target_; }

  // Appends bytes; returns false (and remembers the reason) when the write fails.
  bool Write(std::span<const std::uint8_t> bytes);
  bool Write(std::string_view bytes);
  // Overwrites bytes at an offset already written (for in-place repairs).
  bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes);
  // Reads back bytes already written; false when they are not all there.
  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const;
  std::uint64_t Size() const { return size_; }

  // Whether Commit flushes the data to the disk before the rename (the default). Files
  // that can be made again cheaply (extracted resources, by the hundred) skip it.
  void SetDurable(bool durable) { durable_ = durable; }

  // Flushes, closes and renames the file over the target. Returns "" on success, else
  // the reason (the target is then unchanged and the temporary file removed).
  std::string Commit();
  // Drops the temporary file.
  void Abandon();
  // The first failure seen by Write/WriteAt, "" when none.
  const std::string& Error() const { return error_; }

 private:
  int fd_ = -1;
  std::string target_;
  std::string temp_;
  std::string error_;
  std::uint64_t size_ = 0;
  bool durable_ = true;
};

// Copies count bytes of the open file descriptor src from offset into out, in chunks.
// Returns false when the source ends early or the write fails.
bool CopyRange(int src, std::uint64_t offset, std::uint64_t count, OutputFile& out);

}  // namespace vantrel::media
