#include "media/decompress.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <fcntl.h>
#include <memory>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <lzma.h>
#include <zlib.h>
#ifdef VANTREL_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

#include "core/cache.h"
#include "core/paths.h"
#include "core/text.h"
#include "media/cache_copy.h"

namespace vantrel::media {

namespace {

constexpr std::size_t kInputChunk = 1u << 20;
constexpr std::size_t kShortInputChunk = 16u << 10;
constexpr std::size_t kOutputChunk = 1u << 20;
constexpr std::size_t kMemoryChunk = 64u << 10;
// Longest file name the file systems we write to accept.
constexpr std::size_t kNameMax = 255;
// liblzma may not use more than this for one movie, whatever its header asks for.
#ifdef VANTREL_FUZZ_LIMITS
// Fuzzing builds: a dictionary of hundreds of megabytes costs the address sanitizer a
// clear of its shadow on every input (80 inputs a second instead of thousands); the
// refusal past the limit is the same path either way.
constexpr std::uint64_t kLzmaMemoryLimit = 16ull << 20;
#else
constexpr std::uint64_t kLzmaMemoryLimit = 512ull << 20;
#endif

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  std::size_t at = 0;
  while ((at = text.find(from, at)) != std::string::npos) {
    text.replace(at, from.size(), to);
    at += to.size();
  }
}

std::string HexHash(std::string_view text) {
  std::uint64_t hash = 1469598103934665603ull;  // FNV-1a
  for (const char ch : text) {
    hash ^= static_cast<unsigned char>(ch);
    hash *= 1099511628211ull;
  }
  char digits[17];
  std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash));
  return digits;
}

std::string ErrnoText(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

// An open file descriptor, closed when it goes.
struct Fd {
  int fd = -1;
  explicit Fd(int value) : fd(value) {}
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
};

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t done = ::write(fd, data, size);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    data += done;
    size -= static_cast<std::size_t>(done);
  }
  return true;
}

// Reads the compressed body sequentially.
class BodyReader {
 public:
  BodyReader(int fd, std::uint64_t offset, std::size_t chunk) : fd_(fd), offset_(offset), buffer_(chunk) {}
  // Fills the next chunk; false at the end of the file (or on a read error).
  bool Next(const std::uint8_t*& data, std::size_t& size) {
    for (;;) {
      const ssize_t got = ::pread(fd_, buffer_.data(), buffer_.size(), static_cast<off_t>(offset_));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      offset_ += static_cast<std::uint64_t>(got);
      data = buffer_.data();
      size = static_cast<std::size_t>(got);
      return true;
    }
  }

 private:
  int fd_;
  std::uint64_t offset_;
  std::vector<std::uint8_t> buffer_;
};

// Where decompressed bytes go: the output file, or memory when there is no file, at
// most limit bytes.
struct Sink {
  int fd;
  std::uint64_t limit;
  std::uint64_t produced = 0;
  bool failed = false;
  std::vector<std::uint8_t> buffer;
  std::vector<std::uint8_t>* memory = nullptr;

  std::size_t Room() const {
    return static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), limit - produced));
  }
  void Emit(std::size_t count) {
    if (count == 0) return;
    if (memory) memory->insert(memory->end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(count));
    else if (!WriteAll(fd, buffer.data(), count)) failed = true;
    produced += count;
  }
};

// Movies checked for an early end are read into memory up to this length.
constexpr std::uint64_t kMaxCheckedMovie = 256ull << 20;

// Whether the tags of a plain movie (header included) from firstTag (0-based) run to
// an End tag inside the data.
bool TagsReachTheEnd(const std::vector<std::uint8_t>& movie, std::uint64_t firstTag) {
  std::uint64_t at = firstTag;
  while (at + 2 <= movie.size()) {
    const std::uint16_t header = static_cast<std::uint16_t>(movie[at] | (movie[at + 1] << 8));
    std::uint64_t length = header & 0x3F;
    std::uint64_t body = at + 2;
    if (length == 0x3F) {
      if (body + 4 > movie.size()) return false;
      length = static_cast<std::uint64_t>(movie[body]) | (static_cast<std::uint64_t>(movie[body + 1]) << 8) |
               (static_cast<std::uint64_t>(movie[body + 2]) << 16) | (static_cast<std::uint64_t>(movie[body + 3]) << 24);
      body += 4;
    }
    if ((header >> 6) == 0) return true;
    if (body + length > movie.size()) return false;
    at = body + length;
  }
  return false;
}

// Inflates the zlib body into sink. cutShort: the sink's limit is below the movie's
// length (a header-only copy), so reaching it ends the work without looking further.
int InflateBody(BodyReader& reader, Sink& sink, bool cutShort) {
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return kUncompressMemoryError;
  std::unique_ptr<z_stream, int (*)(z_stream*)> guard(&stream, inflateEnd);
  bool inputDone = false;
  bool sawInput = false;
  for (;;) {
    if (stream.avail_in == 0 && !inputDone) {
      const std::uint8_t* data = nullptr;
      std::size_t size = 0;
      if (reader.Next(data, size)) {
        stream.next_in = const_cast<Bytef*>(data);
        stream.avail_in = static_cast<uInt>(size);
        sawInput = true;
      } else {
        inputDone = true;
      }
    }
    if (!sawInput) return kUncompressOk;  // an empty body decompresses to nothing
    const std::size_t room = sink.Room();
    if (room == 0 && cutShort) return kUncompressOk;
    // With no room left inflate may still finish the stream (its end code and checksum
    // produce no bytes); if it cannot, the stream is longer than the movie says.
    std::uint8_t spare = 0;
    stream.next_out = room ? sink.buffer.data() : &spare;
    stream.avail_out = static_cast<uInt>(room);
    const int result = inflate(&stream, Z_NO_FLUSH);
    sink.Emit(room - stream.avail_out);
    if (sink.failed) return kUncompressOk;
    switch (result) {
      case Z_STREAM_END:
        return kUncompressOk;
      case Z_OK:
        continue;
      case Z_NEED_DICT:
      case Z_DATA_ERROR:
        return kUncompressDataError;
      case Z_MEM_ERROR:
        return kUncompressMemoryError;
      case Z_BUF_ERROR:
        // No progress: either the input is used up (the stream ends early) or the
        // output is full.
        if (stream.avail_in == 0 && !inputDone) continue;
        return kUncompressBufferError;
      default:
        return kUncompressDataError;
    }
  }
}

// Decodes the LZMA body ("ZWS": 5 property bytes, then raw LZMA data) into sink.
int DecodeLzmaBody(BodyReader& reader, Sink& sink, bool cutShort, const std::uint8_t properties[5],
                   std::uint64_t expected) {
  lzma_stream stream = LZMA_STREAM_INIT;
  if (lzma_alone_decoder(&stream, kLzmaMemoryLimit) != LZMA_OK) return kUncompressMemoryError;
  std::unique_ptr<lzma_stream, void (*)(lzma_stream*)> guard(&stream, lzma_end);
  // The decoder reads the classic .lzma header: the properties, then the uncompressed
  // size as 64-bit little-endian.
  std::uint8_t header[13];
  std::memcpy(header, properties, 5);
  // The decoder sets aside the whole dictionary the properties name (up to 4 GiB); it
  // never needs more than the movie's length, so a few bytes cannot ask for more.
  const std::uint64_t dictionary = static_cast<std::uint64_t>(properties[1]) | (static_cast<std::uint64_t>(properties[2]) << 8) |
                                   (static_cast<std::uint64_t>(properties[3]) << 16) |
                                   (static_cast<std::uint64_t>(properties[4]) << 24);
  const std::uint64_t needed = std::max<std::uint64_t>(expected, 4096);
  if (dictionary > needed)
    for (int i = 0; i < 4; ++i) header[1 + i] = static_cast<std::uint8_t>(needed >> (8 * i));
  for (int i = 0; i < 8; ++i) header[5 + i] = static_cast<std::uint8_t>(expected >> (8 * i));
  bool inHeader = true;
  bool inputDone = false;
  for (;;) {
    if (stream.avail_in == 0 && !inputDone) {
      if (inHeader) {
        stream.next_in = header;
        stream.avail_in = sizeof header;
        inHeader = false;
      } else {
        const std::uint8_t* data = nullptr;
        std::size_t size = 0;
        if (reader.Next(data, size)) {
          stream.next_in = data;
          stream.avail_in = size;
        } else {
          inputDone = true;
        }
      }
    }
    const std::size_t room = sink.Room();
    if (room == 0 && cutShort) return kUncompressOk;
    std::uint8_t spare = 0;
    stream.next_out = room ? sink.buffer.data() : &spare;
    stream.avail_out = room;
    const lzma_ret result = lzma_code(&stream, inputDone ? LZMA_FINISH : LZMA_RUN);
    sink.Emit(room - stream.avail_out);
    if (sink.failed) return kUncompressOk;
    switch (result) {
      case LZMA_STREAM_END:
        return kUncompressOk;
      case LZMA_OK:
        if (room == 0 && stream.avail_out == 0 && inputDone) return kUncompressBufferError;
        continue;
      case LZMA_MEM_ERROR:
      case LZMA_MEMLIMIT_ERROR:
        return kUncompressMemoryError;
      case LZMA_BUF_ERROR:
        if (stream.avail_in == 0 && !inputDone) continue;
        return kUncompressBufferError;
      default:
        return kUncompressDataError;
    }
  }
}

#ifdef VANTREL_HAVE_LIBDEFLATE
// Whole-buffer inflate with libdeflate, about twice as fast as zlib's. Used for full
// copies of intact movies: it gives no partial output, so any failure (damaged data, a
// stream longer than the movie says) returns false and the zlib path does the work with
// its exact partial-copy rules. Writes the body to fd.
bool InflateWhole(int sourceFd, std::uint64_t sourceSize, std::uint64_t expected, int fd, bool& writeFailed,
                  std::uint64_t& produced) {
  writeFailed = false;
  produced = 0;
  if (sourceSize <= 8) return false;
  const std::uint64_t packed = sourceSize - 8;
  // The output is bounded by the file: deflate cannot expand data more than 1032 times,
  // and very large movies take the streaming path.
  if (expected == 0 || expected > packed * 1032 + 1024 || expected > (1ull << 32)) return false;
  // Both files are mapped: the stream is read where it lies in the page cache and the
  // body is inflated straight into the copy's pages, with no copies in between.
  void* in = ::mmap(nullptr, sourceSize, PROT_READ, MAP_PRIVATE | MAP_POPULATE, sourceFd, 0);
  if (in == MAP_FAILED) return false;
  std::unique_ptr<void, std::function<void(void*)>> inGuard(in, [&](void* p) { ::munmap(p, sourceSize); });
  if (::ftruncate(fd, static_cast<off_t>(8 + expected)) != 0) {
    writeFailed = true;
    return false;
  }
  void* out = ::mmap(nullptr, 8 + expected, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (out == MAP_FAILED) return false;
  std::unique_ptr<void, std::function<void(void*)>> outGuard(out, [&](void* p) { ::munmap(p, 8 + expected); });
  libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
  if (!decompressor) return false;
  std::size_t usedIn = 0, made = 0;
  const libdeflate_result result =
      libdeflate_zlib_decompress_ex(decompressor, static_cast<const std::uint8_t*>(in) + 8, packed,
                                    static_cast<std::uint8_t*>(out) + 8, expected, &usedIn, &made);
  libdeflate_free_decompressor(decompressor);
  produced = made;
  // libdeflate may have scribbled past what it produced: the caller cuts the file back
  // to what the stream made, and the padding is added afresh as zeros.
  return result == LIBDEFLATE_SUCCESS;
}
#endif

}  // namespace

std::string CachePathFor(std::string_view cachePath, std::string_view path, std::string_view suffix, bool flatten,
                         bool bare) {
  if (!flatten) {
    std::string name(path);
    const std::size_t point = name.rfind('.');
    if (point != std::string::npos) name.resize(point);
    if (bare) {
      const std::size_t separator = name.find_last_of("/\\");
      if (separator != std::string::npos) name.erase(0, separator + 1);
    }
    return name + std::string(suffix);
  }
  std::string name(path);
  ReplaceAll(name, ":\\", "@");
  ReplaceAll(name, "\\\\", "#");
  ReplaceAll(name, "//", "#");
  ReplaceAll(name, "\\", "#");
  ReplaceAll(name, "/", "#");
  name += suffix;
  if (name.size() > kNameMax) {
    const std::string hash = HexHash(name);
    name = hash + "~" + name.substr(name.size() - (kNameMax - hash.size() - 1));
  }
  return bare ? name : std::string(cachePath) + name;
}

std::string UncompressErrorText(int code) {
  return code == kUncompressDataError ? std::string("Movie Corrupted") : std::to_string(code);
}

bool UncompressData(std::span<const std::uint8_t> source, std::vector<std::uint8_t>& destination, int& resultCode,
                    std::size_t expectedSize) {
  resultCode = kUncompressOk;
  if (source.empty()) return true;
  destination.assign(expectedSize, 0);
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) {
    resultCode = kUncompressMemoryError;
    return false;
  }
  std::uint8_t spare = 0;
  stream.next_in = const_cast<Bytef*>(source.data());
  std::size_t inputLeft = source.size();
  std::size_t outputDone = 0;
  int result = Z_OK;
  for (;;) {
    // zlib counts in 32 bits; feed very large buffers in slices.
    if (stream.avail_in == 0 && inputLeft > 0) {
      stream.avail_in = static_cast<uInt>(std::min<std::size_t>(inputLeft, 1u << 30));
      inputLeft -= stream.avail_in;
    }
    const std::size_t room = std::min<std::size_t>(expectedSize - outputDone, 1u << 30);
    stream.next_out = room ? destination.data() + outputDone : &spare;
    stream.avail_out = static_cast<uInt>(room);
    result = inflate(&stream, Z_NO_FLUSH);
    outputDone += room - stream.avail_out;
    if (result == Z_OK) continue;
    if (result == Z_BUF_ERROR && stream.avail_in == 0 && inputLeft > 0) continue;
    break;
  }
  inflateEnd(&stream);
  switch (result) {
    case Z_STREAM_END: resultCode = kUncompressOk; break;
    case Z_MEM_ERROR: resultCode = kUncompressMemoryError; break;
    case Z_BUF_ERROR: resultCode = kUncompressBufferError; break;
    default: resultCode = kUncompressDataError; break;
  }
  return resultCode == kUncompressOk;
}

std::string WritePlainMovie(const std::string& sourcePath, const std::string& targetPath, std::size_t bodyLimit,
                            int& resultCode) {
  resultCode = kUncompressOk;
  const Fd source(::open(sourcePath.c_str(), O_RDONLY | O_CLOEXEC));
  if (source.fd < 0) return ErrnoText("cannot open the movie");
  std::uint8_t header[8] = {};
  if (::pread(source.fd, header, 8, 0) != 8) return "Input past end of file";
  const bool lzma = std::memcmp(header, "ZWS", 3) == 0;
  if (!lzma && std::memcmp(header, "CWS", 3) != 0) return "not a compressed movie";
  std::uint8_t properties[5] = {};
  std::uint64_t bodyOffset = 8;
  if (lzma) {
    // "ZWS": the compressed length at offset 8 (not needed), the LZMA properties at 12.
    if (::pread(source.fd, properties, 5, 12) != 5) return "Input past end of file";
    bodyOffset = 17;
  }
  const std::uint32_t lengthField = static_cast<std::uint32_t>(header[4] | (header[5] << 8) | (header[6] << 16)) |
                                    (static_cast<std::uint32_t>(header[7]) << 24);
  const std::uint64_t expected = lengthField >= 8 ? lengthField - 8u : 0u;
  const std::uint64_t bodyLength = bodyLimit ? std::min<std::uint64_t>(expected, bodyLimit) : expected;

  // Written under a hidden temporary name beside the target, then renamed over it.
  const std::size_t slash = targetPath.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : targetPath.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? targetPath : targetPath.substr(slash + 1);
  std::string temporary = core::TemporaryPatternFor(targetPath);
  const Fd target(::mkstemp(temporary.data()));
  if (target.fd < 0) return ErrnoText("cannot write the copy");
  ::fchmod(target.fd, 0644);
  const auto discard = [&](std::string why) {
    ::unlink(temporary.c_str());
    return why;
  };

  header[0] = 'F';
  header[1] = 'W';
  header[2] = 'S';
  if (!WriteAll(target.fd, header, 8)) return discard(ErrnoText("cannot write the copy"));
  const bool cutShort = bodyLength < expected;
  bool done = false;
  std::uint64_t produced = 0;
#ifdef VANTREL_HAVE_LIBDEFLATE
  if (!lzma && !cutShort) {
    struct stat info {};
    bool writeFailed = false;
    if (::fstat(source.fd, &info) == 0) done = InflateWhole(source.fd, static_cast<std::uint64_t>(info.st_size),
                                                            expected, target.fd, writeFailed, produced);
    if (writeFailed) return discard(ErrnoText("cannot write the copy"));
    if (done && ::ftruncate(target.fd, static_cast<off_t>(8 + produced)) != 0)
      return discard(ErrnoText("cannot write the copy"));
    if (!done && (::ftruncate(target.fd, 8) != 0 || ::lseek(target.fd, 8, SEEK_SET) != 8))
      return discard(ErrnoText("cannot write the copy"));
  }
#endif
  if (!done) {
    // Small reads for a short copy: only its first few kilobytes are inflated. Neither
    // buffer is larger than the file needs: a small movie does not cost megabytes.
    struct stat info {};
    const std::uint64_t bodyBytes =
        ::fstat(source.fd, &info) == 0 && static_cast<std::uint64_t>(info.st_size) > bodyOffset
            ? static_cast<std::uint64_t>(info.st_size) - bodyOffset
            : 1;
    const std::size_t inputChunk = cutShort ? kShortInputChunk : kInputChunk;
    BodyReader reader(source.fd, bodyOffset, static_cast<std::size_t>(std::min<std::uint64_t>(inputChunk, bodyBytes)));
    Sink sink{target.fd, bodyLength, 0, false, {}};
    const std::uint64_t outputChunk = std::min<std::uint64_t>(kOutputChunk, std::max<std::uint64_t>(64u << 10, bodyBytes * 16));
    sink.buffer.resize(static_cast<std::size_t>(std::min<std::uint64_t>(outputChunk, std::max<std::uint64_t>(bodyLength, 1))));
    resultCode = lzma ? DecodeLzmaBody(reader, sink, cutShort, properties, expected)
                      : InflateBody(reader, sink, cutShort);
    if (sink.failed) return discard(ErrnoText("cannot write the copy"));
    produced = sink.produced;
  }
  // The rest of the body reads as zeros, as in a buffer of the movie's length; but a
  // length field is only a claim, so the zeros never run on for more than
  // kMaxCopyPadding bytes past what the data really gave.
  const std::uint64_t padded = std::min<std::uint64_t>(bodyLength, produced + kMaxCopyPadding);
  if (produced < padded && ::ftruncate(target.fd, static_cast<off_t>(8 + padded)) != 0)
    return discard(ErrnoText("cannot write the copy"));
  if (::rename(temporary.c_str(), targetPath.c_str()) != 0) return discard(ErrnoText("cannot write the copy"));
  return {};
}

bool MovieEndsEarly(const MediaRecord& record, std::uint64_t& available, std::uint64_t& claimed) {
  available = 0;
  claimed = record.MovieSize > 0 ? static_cast<std::uint64_t>(record.MovieSize) : 0;
  if (record.IsVideo || record.MoviePath.empty() || record.HeaderEnd < 1 || claimed <= 8 ||
      claimed > kMaxCheckedMovie)
    return false;
  const Fd source(::open(record.MoviePath.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info {};
  if (source.fd < 0 || ::fstat(source.fd, &info) != 0 || static_cast<std::uint64_t>(info.st_size) > kMaxCheckedMovie)
    return false;
  std::vector<std::uint8_t> movie(8);
  if (::pread(source.fd, movie.data(), 8, 0) != 8) return false;
  const bool lzma = std::memcmp(movie.data(), "ZWS", 3) == 0;
  if (!lzma && std::memcmp(movie.data(), "CWS", 3) != 0) {
    // A plain movie (or the plain copy of one): its file is its data.
    movie.resize(static_cast<std::size_t>(info.st_size));
    if (!core::ReadFullyAt(source.fd, 0, movie.size(), movie.data())) return false;
  } else {
    std::uint8_t properties[5] = {};
    if (lzma && ::pread(source.fd, properties, 5, 12) != 5) return true;
    BodyReader reader(source.fd, lzma ? 17 : 8, kInputChunk);
    // Into memory, a small chunk at a time: a fresh megabyte to clear for every movie
    // costs more than checking a small one.
    Sink sink{-1, claimed - 8, 0, false, std::vector<std::uint8_t>(kMemoryChunk), &movie};
    movie.reserve(static_cast<std::size_t>(claimed));
    if (lzma) DecodeLzmaBody(reader, sink, false, properties, claimed - 8);
    else InflateBody(reader, sink, false);
  }
  available = movie.size();
  // Some writers state a length a little off; the movie is whole when its tags run to
  // their End tag within the data there is.
  return !TagsReachTheEnd(movie, static_cast<std::uint64_t>(record.HeaderEnd) - 1);
}

std::string DecompressFlash(MediaContext& context, MediaRecord& record, bool headerOnly) {
  if (context.Log) context.Log->LogTime("");
  context.WriteLog("");
  context.WriteLog(headerOnly ? " :: DecompressFlash (Header Only)" : " :: DecompressFlash (Full)");
  const std::string target = CachePathFor(context.CachePath, record.SourcePath, ".tmp", true, false);
  // A copy counts only while the compressed file is still the one it was made from.
  if (headerOnly && CacheCopyIsCurrent(target, record.MoviePath)) {
    context.WriteLog("Header exists - skipping");
    record.HeaderPath = target;
    return target;
  }
  context.WriteLog("Target path: " + target);
  context.WriteLog("Reading data");
  context.WriteLog("Decompression");
  int code = kUncompressOk;
  const SourceStamp stamp = StampOf(record.MoviePath);
  std::string failure = WritePlainMovie(record.MoviePath, target, headerOnly ? kHeaderOnlyBody : 0, code);
  if (!failure.empty() && !core::FolderExists(context.CachePath)) {
    // The cache folder is made at start; make it again if something removed it since.
    core::MakeFolder(context.CachePath);
    failure = WritePlainMovie(record.MoviePath, target, headerOnly ? kHeaderOnlyBody : 0, code);
  }
  if (!failure.empty()) {
    context.Error = core::RunError{75, "DecompressFlash", failure};
    return {};
  }
  StampCacheCopy(target, stamp);
  if (code != kUncompressOk) {
    context.LastError = UncompressErrorText(code);
    context.WriteLog("<B>Warning: decompression error</B> " + context.LastError);
  }
  context.WriteLog("Writing decompressed data");
  context.WriteLog("Decompression succeeded");
  if (headerOnly) {
    record.HeaderPath = target;
  } else {
    record.SourcePath = record.MoviePath;
    record.MoviePath = target;
  }
  if (context.Log) context.Log->LogTime("Decompressed");
  return target;
}

}  // namespace vantrel::media
