#include "media/identify.h"

#include <sys/stat.h>

#include <cstring>
#include <limits>

#include "media/decompress.h"
#include "media/flv.h"
#include "media/media_file.h"
#include "media/projector.h"
#include "media/swf_header.h"

namespace vantrel::media {

namespace {

// A projector may carry a projector; follow that a few times, never forever.
constexpr int kMaxProjectorHops = 4;

// Error numbers and texts the run-time errors of identification carry.
constexpr long kErrorFileNotFound = 53;
constexpr long kErrorPastEnd = 62;

// What identification does with the first bytes of a file.
enum class Signature { Plain, Compressed, CompressedLzma, Video, Executable, LinuxExecutable, Unknown };

Signature SignatureOf(const std::uint8_t* bytes) {
  if (std::memcmp(bytes, "FWS", 3) == 0) return Signature::Plain;
  if (std::memcmp(bytes, "FLV", 3) == 0) return Signature::Video;
  if (std::memcmp(bytes, "CWS", 3) == 0) return Signature::Compressed;
  if (std::memcmp(bytes, "ZWS", 3) == 0) return Signature::CompressedLzma;
  if (bytes[0] == 'M' && bytes[1] == 'Z') return Signature::Executable;
  if (std::memcmp(bytes, "\x7F" "ELF", 4) == 0) return Signature::LinuxExecutable;
  return Signature::Unknown;
}

}  // namespace

std::string FileTitle(std::string_view path, bool cut) {
  const std::size_t separator = path.find_last_of("/\\");
  std::string_view title = separator == std::string_view::npos ? path : path.substr(separator + 1);
  if (cut) {
    const std::size_t point = title.rfind('.');
    if (point != std::string_view::npos) title = title.substr(0, point);
  }
  return std::string(title);
}

std::string CheckMediaFile(const std::string& path) {
  struct stat info {};
  if (path.empty() || ::stat(path.c_str(), &info) != 0) return "File Not Found";
  if (S_ISDIR(info.st_mode)) return {};
  if (info.st_size < 8) return "File is Too Small to Be Valid";
  return {};
}

std::string IdentifyMedia(MediaContext& context, const std::string& path, MediaRecord& record, bool full) {
  context.Error.Clear();
  record = MediaRecord{};
  record.SourcePath = path;
  record.FileName = FileTitle(path, false);

  std::string result;
  const auto runtimeError = [&](long number, std::string description) {
    context.Error = core::RunError{number, "IdentifyMedia", std::move(description)};
  };

  MediaFile file;
  std::string current = path;
  std::uint8_t header[8] = {};
  Signature signature = Signature::Unknown;
  bool ok = false;
  for (int hop = 0; hop <= kMaxProjectorHops; ++hop) {
    if (!file.Open(current)) {
      runtimeError(kErrorFileNotFound, "File not found");
      break;
    }
    if (hop == 0) {
      record.FileSize = static_cast<std::int32_t>(
          std::min<std::uint64_t>(file.Size(), std::numeric_limits<std::int32_t>::max()));
    }
    if (file.ReadAt(0, header, 8) < 8) {
      runtimeError(kErrorPastEnd, "Input past end of file");
      break;
    }
    signature = SignatureOf(header);
    // A Linux executable is a projector only when it is one of ours (a movie appended
    // to our stub); any other program is no movie.
    if (signature == Signature::LinuxExecutable) {
      signature = IsOwnProjector(current) ? Signature::Executable : Signature::Unknown;
    }
    if (signature == Signature::Plain) {
      context.WriteLog("Ordinary File");
    } else if (signature == Signature::Video) {
      context.WriteLog("Flash Video");
      record.IsVideo = true;
    } else if (signature == Signature::Compressed || signature == Signature::CompressedLzma) {
      context.WriteLog("Compressed File");
      record.IsCompressed = true;
    } else if (signature == Signature::Executable) {
      context.WriteLog("Executable");
      if (hop == kMaxProjectorHops) {
        result = "Not a Flash Movie";
        break;
      }
      if (!context.ExtractProjector) context.LastError = "Projector Support Missing";
      const std::string movie = context.ExtractProjector ? context.ExtractProjector(context, current) : std::string();
      if (movie.empty()) {
        result = context.LastError;
        break;
      }
      context.WriteLog("File path changed to: " + movie);
      record.IsProjector = true;
      current = movie;
      continue;
    } else {
      context.WriteLog("Unknown signature (" + std::string(reinterpret_cast<const char*>(header), 3) + ")");
      result = "Not a Flash Movie";
      break;
    }
    ok = true;
    break;
  }

  if (ok) {
    record.Version = header[3];
    // A "CWS" movie of version 5 or less cannot exist; it is read as an ordinary one.
    if (signature == Signature::Compressed && record.Version < 6) record.IsCompressed = false;
    const std::uint32_t lengthField = static_cast<std::uint32_t>(header[4] | (header[5] << 8) | (header[6] << 16)) |
                                      (static_cast<std::uint32_t>(header[7]) << 24);
    record.MovieSize = record.IsVideo ? static_cast<double>(file.Size()) : static_cast<double>(lengthField);
    record.MoviePath = current;
    if (record.IsCompressed) {
      file.Close();
      const std::string copy = DecompressFlash(context, record, !full);
      if (copy.empty()) {
        result = "Error Reading Compressed Movie (" + context.LastError + ")";
        ok = false;
      } else if (!file.Open(copy)) {
        runtimeError(kErrorFileNotFound, "File not found");
        ok = false;
      }
    }
  }

  if (ok) {
    context.WriteLog(" ... ");
    if (record.IsVideo) {
      ReadVideoInfo(context, file, record);
    } else {
      ReadMovieHeader(file, record);
    }
    context.WriteLog("Ok");
    return {};
  }

  if (result.empty()) result = context.LastError;
  ResetRecord(record);
  return result;
}

}  // namespace vantrel::media
