#include "media/file_versioning.h"

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/text.h"

namespace vantrel::media {

namespace {

// Random access to the executable's bytes, either held in memory or read from a file
// piece by piece (projectors can be large; only the headers and one resource matter).
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t Size() const = 0;
  // Reads exactly count bytes at offset; false when they are not all there.
  virtual bool Read(std::uint64_t offset, std::size_t count, std::uint8_t* out) const = 0;
};

class SpanSource final : public ByteSource {
 public:
  explicit SpanSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::uint64_t Size() const override { return bytes_.size(); }
  bool Read(std::uint64_t offset, std::size_t count, std::uint8_t* out) const override {
    if (offset > bytes_.size() || count > bytes_.size() - offset) return false;
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), count, out);
    return true;
  }

 private:
  std::span<const std::uint8_t> bytes_;
};

class FileSource final : public ByteSource {
 public:
  explicit FileSource(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    struct stat info {};
    if (fd_ >= 0 && ::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode))
      size_ = static_cast<std::uint64_t>(info.st_size);
  }
  ~FileSource() override {
    if (fd_ >= 0) ::close(fd_);
  }
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  std::uint64_t Size() const override { return size_; }
  bool Read(std::uint64_t offset, std::size_t count, std::uint8_t* out) const override {
    if (fd_ < 0 || offset > size_ || count > size_ - offset) return false;
    return core::ReadFullyAt(fd_, offset, count, out);
  }

 private:
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t U32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

bool ReadU16(const ByteSource& src, std::uint64_t offset, std::uint16_t& out) {
  std::uint8_t b[2];
  if (!src.Read(offset, 2, b)) return false;
  out = U16(b);
  return true;
}

bool ReadU32(const ByteSource& src, std::uint64_t offset, std::uint32_t& out) {
  std::uint8_t b[4];
  if (!src.Read(offset, 4, b)) return false;
  out = U32(b);
  return true;
}

constexpr std::uint32_t kResourceTypeVersion = 16;  // RT_VERSION
constexpr std::uint32_t kVersionInfoId = 1;         // VS_VERSION_INFO
constexpr std::uint32_t kHighBit = 0x80000000u;
constexpr std::size_t kMaxSections = 96;             // the loader's own limit
constexpr std::size_t kMaxDirectoryEntries = 4096;
constexpr std::size_t kMaxVersionBlock = 0x10000;    // wLength is 16 bits

struct Section {
  std::uint32_t virtualAddress, virtualSize, rawSize, rawPointer;
};

// The sections of a PE image and the RVA of its resource directory.
struct PeLayout {
  std::vector<Section> sections;
  std::uint32_t resourceRva = 0;
};

bool ReadPeLayout(const ByteSource& src, PeLayout& layout) {
  std::uint8_t dos[64];
  if (!src.Read(0, sizeof dos, dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
  const std::uint64_t pe = U32(dos + 0x3C);
  std::uint8_t header[24];
  if (!src.Read(pe, sizeof header, header)) return false;
  if (header[0] != 'P' || header[1] != 'E' || header[2] != 0 || header[3] != 0) return false;
  const std::uint16_t sectionCount = U16(header + 4 + 2);
  const std::uint16_t optionalSize = U16(header + 4 + 16);
  const std::uint64_t optional = pe + 24;

  std::uint16_t magic = 0;
  if (!ReadU16(src, optional, magic)) return false;
  std::uint64_t countField = 0, directories = 0;
  if (magic == 0x10B) {
    countField = 92;
    directories = 96;
  } else if (magic == 0x20B) {
    countField = 108;
    directories = 112;
  } else {
    return false;
  }
  // The resource table is data directory 2 (8 bytes each).
  constexpr std::uint64_t kResourceEntry = 2 * 8;
  if (directories + kResourceEntry + 8 > optionalSize) return false;
  std::uint32_t rvaCount = 0;
  if (!ReadU32(src, optional + countField, rvaCount) || rvaCount < 3) return false;
  if (!ReadU32(src, optional + directories + kResourceEntry, layout.resourceRva)) return false;
  if (layout.resourceRva == 0) return false;

  const std::uint64_t table = optional + optionalSize;
  const std::size_t count = std::min<std::size_t>(sectionCount, kMaxSections);
  for (std::size_t i = 0; i < count; ++i) {
    std::uint8_t entry[40];
    if (!src.Read(table + i * 40, sizeof entry, entry)) break;
    layout.sections.push_back({U32(entry + 12), U32(entry + 8), U32(entry + 16), U32(entry + 20)});
  }
  return !layout.sections.empty();
}

// File offset of an RVA and how many bytes of its section follow it in the file.
bool MapRva(const PeLayout& layout, std::uint32_t rva, std::uint64_t& offset, std::uint64_t& available) {
  for (const Section& s : layout.sections) {
    const std::uint64_t start = s.virtualAddress;
    const std::uint64_t span = std::max(s.virtualSize, s.rawSize);
    if (rva < start || rva - start >= span) continue;
    const std::uint64_t delta = rva - start;
    if (delta >= s.rawSize) return false;  // uninitialised data: not in the file
    offset = static_cast<std::uint64_t>(s.rawPointer) + delta;
    available = s.rawSize - delta;
    return true;
  }
  return false;
}

struct DirectoryEntry {
  std::uint32_t name;    // id, or a string offset with the high bit set
  std::uint32_t target;  // data entry offset, or a sub-directory with the high bit set
};

// The entries of the resource directory at offset (relative to the resource root).
bool ReadDirectory(const ByteSource& src, const PeLayout& layout, std::uint32_t offset,
                   std::vector<DirectoryEntry>& entries) {
  entries.clear();
  const std::uint64_t rva = static_cast<std::uint64_t>(layout.resourceRva) + offset;
  if (rva > 0xFFFFFFFFu) return false;
  std::uint64_t at = 0, available = 0;
  if (!MapRva(layout, static_cast<std::uint32_t>(rva), at, available) || available < 16) return false;
  std::uint8_t head[16];
  if (!src.Read(at, sizeof head, head)) return false;
  const std::size_t declared = static_cast<std::size_t>(U16(head + 12)) + U16(head + 14);
  const std::size_t count = std::min({declared, kMaxDirectoryEntries,
                                      static_cast<std::size_t>((available - 16) / 8)});
  std::vector<std::uint8_t> raw(count * 8);
  if (count > 0 && !src.Read(at + 16, raw.size(), raw.data())) return false;
  for (std::size_t i = 0; i < count; ++i)
    entries.push_back({U32(raw.data() + i * 8), U32(raw.data() + i * 8 + 4)});
  return true;
}

// The bytes of the VS_VERSIONINFO resource: type 16, name 1 (else the first name),
// the first language. The walk has a fixed depth and refuses a sub-directory that
// points back at one already visited, so a looping directory cannot trap it.
bool FindVersionResource(const ByteSource& src, std::vector<std::uint8_t>& out) {
  PeLayout layout;
  if (!ReadPeLayout(src, layout)) return false;

  std::vector<std::uint32_t> visited = {0};
  auto descend = [&](const DirectoryEntry& entry, std::uint32_t& next) {
    if (!(entry.target & kHighBit)) return false;
    next = entry.target & ~kHighBit;
    if (std::find(visited.begin(), visited.end(), next) != visited.end()) return false;
    visited.push_back(next);
    return true;
  };

  std::vector<DirectoryEntry> entries;
  if (!ReadDirectory(src, layout, 0, entries)) return false;
  const auto type = std::find_if(entries.begin(), entries.end(), [](const DirectoryEntry& e) {
    return !(e.name & kHighBit) && e.name == kResourceTypeVersion;
  });
  std::uint32_t names = 0;
  if (type == entries.end() || !descend(*type, names)) return false;

  if (!ReadDirectory(src, layout, names, entries) || entries.empty()) return false;
  auto name = std::find_if(entries.begin(), entries.end(), [](const DirectoryEntry& e) {
    return !(e.name & kHighBit) && e.name == kVersionInfoId;
  });
  if (name == entries.end()) name = entries.begin();
  std::uint32_t languages = 0;
  if (!descend(*name, languages)) return false;

  if (!ReadDirectory(src, layout, languages, entries) || entries.empty()) return false;
  const DirectoryEntry& language = entries.front();
  if (language.target & kHighBit) return false;  // a data entry is expected here

  const std::uint64_t entryRva = static_cast<std::uint64_t>(layout.resourceRva) + language.target;
  if (entryRva > 0xFFFFFFFFu) return false;
  std::uint64_t at = 0, available = 0;
  std::uint8_t dataEntry[16];
  if (!MapRva(layout, static_cast<std::uint32_t>(entryRva), at, available) || available < 16 ||
      !src.Read(at, sizeof dataEntry, dataEntry))
    return false;
  const std::uint32_t dataRva = U32(dataEntry);
  const std::uint32_t dataSize = U32(dataEntry + 4);
  if (!MapRva(layout, dataRva, at, available)) return false;
  const std::size_t size = static_cast<std::size_t>(
      std::min<std::uint64_t>({dataSize, available, kMaxVersionBlock, src.Size() - std::min(at, src.Size())}));
  if (size < 6) return false;
  out.resize(size);
  return src.Read(at, size, out.data());
}

// UTF-16LE text of bytes [begin, end) up to the first NUL, as UTF-8; unpaired
// surrogates become U+FFFD.
std::string Utf16Text(std::span<const std::uint8_t> data, std::size_t begin, std::size_t end) {
  std::string out;
  end = std::min(end, data.size());
  for (std::size_t i = begin; i + 1 < end; i += 2) {
    std::uint32_t unit = U16(&data[i]);
    if (unit == 0) break;
    if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < end) {
      const std::uint32_t low = U16(&data[i + 2]);
      if (low >= 0xDC00 && low < 0xE000) {
        core::AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    if (unit >= 0xD800 && unit < 0xE000) unit = 0xFFFD;
    core::AppendUtf8(out, unit);
  }
  return out;
}

constexpr std::size_t Align4(std::size_t n) { return (n + 3) & ~static_cast<std::size_t>(3); }

// One node of the version tree: header, key, value and the range of its children.
struct VersionBlock {
  std::size_t start = 0, end = 0;  // end is clamped to the parent
  std::uint16_t valueLength = 0, type = 0;
  std::string key;
  std::size_t valueStart = 0, childrenStart = 0;
};

bool ReadBlock(std::span<const std::uint8_t> data, std::size_t at, std::size_t limit, VersionBlock& block) {
  if (at + 6 > limit) return false;
  const std::size_t length = U16(&data[at]);
  if (length < 6) return false;
  block.start = at;
  block.end = std::min(at + length, limit);
  block.valueLength = U16(&data[at + 2]);
  block.type = U16(&data[at + 4]);
  std::size_t keyEnd = at + 6;
  while (keyEnd + 1 < block.end && U16(&data[keyEnd]) != 0) keyEnd += 2;
  block.key = Utf16Text(data, at + 6, keyEnd);
  block.valueStart = std::min(Align4(keyEnd + 2), block.end);
  // Text values count 16-bit characters, binary values count bytes.
  const std::size_t valueBytes = block.type == 1 ? block.valueLength * std::size_t{2} : block.valueLength;
  block.childrenStart = std::min(Align4(block.valueStart + valueBytes), block.end);
  return true;
}

// The child of parent whose key equals key (ASCII case ignored, as the version API does).
bool FindChild(std::span<const std::uint8_t> data, const VersionBlock& parent, std::string_view key,
               VersionBlock& child) {
  std::size_t at = parent.childrenStart;
  // Every child is at least 6 bytes long, so this visits at most 64 Ki / 6 blocks.
  while (at + 6 <= parent.end) {
    if (!ReadBlock(data, at, parent.end, child)) return false;
    if (core::EqualsNoCase(child.key, key)) return true;
    at = Align4(child.end);
  }
  return false;
}

bool Query(std::span<const std::uint8_t> data, const VersionBlock& root,
           std::initializer_list<std::string_view> path, VersionBlock& found) {
  VersionBlock current = root;
  for (std::string_view key : path) {
    VersionBlock child;
    if (!FindChild(data, current, key, child)) return false;
    current = child;
  }
  found = current;
  return true;
}

VersionInfo ParseVersionBlock(std::span<const std::uint8_t> data) {
  VersionInfo info;
  VersionBlock root;
  if (!ReadBlock(data, 0, data.size(), root)) return info;
  info.hasResource = true;

  VersionBlock translation;
  if (Query(data, root, {"VarFileInfo", "Translation"}, translation) &&
      translation.valueStart + 4 <= translation.end) {
    const std::uint16_t language = U16(&data[translation.valueStart]);
    const std::uint16_t codePage = U16(&data[translation.valueStart + 2]);
    char digits[9];
    std::snprintf(digits, sizeof digits, "%04X%04X", language, codePage);
    info.translation = digits;
  }

  // Without a translation entry the table asked for is language 0, code page 0.
  const std::string table = info.translation.empty() ? std::string("00000000") : info.translation;
  for (std::string_view key : kVersionKeys) {
    VersionBlock value;
    if (!Query(data, root, {"StringFileInfo", table, key}, value)) {
      info.missingKey = std::string(key);
      break;
    }
    const std::size_t bytes = value.type == 1 ? value.valueLength * std::size_t{2} : value.valueLength;
    const std::size_t end = std::min(value.valueStart + bytes, value.end);
    info.values.emplace_back(std::string(key), Utf16Text(data, value.valueStart, end));
  }
  return info;
}

VersionInfo ReadFrom(const ByteSource& src) {
  std::vector<std::uint8_t> block;
  if (!FindVersionResource(src, block)) return {};
  return ParseVersionBlock(block);
}

}  // namespace

std::string VersionInfo::Value(std::string_view key) const {
  for (const auto& [name, value] : values)
    if (core::EqualsNoCase(name, key)) return value;
  return {};
}

VersionInfo ReadVersionInfo(std::span<const std::uint8_t> image) { return ReadFrom(SpanSource(image)); }

VersionInfo ReadVersionInfoFile(const std::string& path) { return ReadFrom(FileSource(path)); }

std::string FileVersioning(const std::string& path, std::string& originalFileName) {
  const VersionInfo info = ReadVersionInfoFile(path);
  originalFileName = info.Value("OriginalFileName");
  return info.Value("FileVersion");
}

}  // namespace vantrel::media
