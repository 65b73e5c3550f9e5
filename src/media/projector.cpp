#include "media/projector.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/cache.h"
#include "core/log.h"
#include "core/options.h"
#include "core/paths.h"
#include "core/text.h"
#include "media/cache_copy.h"
#include "media/decompress.h"
#include "media/file_versioning.h"
#include "media/output_file.h"

namespace vantrel::media {

namespace {

// An open file descriptor that closes itself.
class ReadFile {
 public:
  explicit ReadFile(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    struct stat info {};
    if (fd_ >= 0 && ::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode)) {
      size_ = static_cast<std::uint64_t>(info.st_size);
      regular_ = true;
    }
    if (fd_ < 0) error_ = std::strerror(errno);
    else if (!regular_) error_ = "not a regular file";
  }
  ~ReadFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  ReadFile(const ReadFile&) = delete;
  ReadFile& operator=(const ReadFile&) = delete;

  bool Ok() const { return fd_ >= 0 && regular_; }
  int Fd() const { return fd_; }
  std::uint64_t Size() const { return size_; }
  const std::string& Error() const { return error_; }

  bool Read(std::uint64_t offset, std::size_t count, std::uint8_t* out) const {
    if (!Ok() || offset > size_ || count > size_ - offset) return false;
    return core::ReadFullyAt(fd_, offset, count, out);
  }

 private:
  int fd_ = -1;
  bool regular_ = false;
  std::uint64_t size_ = 0;
  std::string error_;
};

std::uint32_t LittleEndian32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

bool ReadTrailer(const ReadFile& file, ProjectorTrailer& trailer) {
  trailer = ProjectorTrailer{};
  trailer.fileSize = file.Size();
  std::uint8_t tail[8];
  if (file.Size() < sizeof tail || !file.Read(file.Size() - sizeof tail, sizeof tail, tail)) return false;
  trailer.hasMarker = std::memcmp(tail, kProjectorMarker.data(), kProjectorMarker.size()) == 0;
  trailer.movieLength = LittleEndian32(tail + 4);
  return true;
}

void Log(core::ExecutionLog* log, std::string_view text) {
  if (log) log->WriteLog(text);
}

// The first bytes of an ELF executable, which our own projector stub is.
constexpr std::uint8_t kElfMagic[4] = {0x7F, 'E', 'L', 'F'};

// A movie starts with "FWS" or "CWS" and a version byte from 1 to 99.
bool LooksLikeEmbeddedMovie(const std::uint8_t* head) {
  const bool signature = (head[0] == 'F' || head[0] == 'C') && head[1] == 'W' && head[2] == 'S';
  return signature && head[3] >= 1 && head[3] <= 99;
}

}  // namespace

bool ReadProjectorTrailer(const std::string& path, ProjectorTrailer& trailer) {
  const ReadFile file(path);
  return ReadTrailer(file, trailer);
}

bool IsOwnProjector(const std::string& path) {
  const ReadFile file(path);
  std::uint8_t magic[4];
  if (!file.Read(0, sizeof magic, magic) || std::memcmp(magic, kElfMagic, sizeof magic) != 0) return false;
  ProjectorTrailer trailer;
  return ReadTrailer(file, trailer) && trailer.hasMarker;
}

bool IsGenericProjectorName(std::string_view originalFileName, bool strict) {
  if (core::EqualsNoCase(originalFileName, "SAFlashPlayer.exe")) return true;
  return !strict && core::EqualsNoCase(originalFileName, "SwFlsh32.exe");
}

bool IsGenericProjector(const std::string& path, bool strict) {
  std::string originalFileName;
  FileVersioning(path, originalFileName);
  return IsGenericProjectorName(originalFileName, strict);
}

bool IsFlashProjector(const std::string& path) { return IsGenericProjector(path, false) || IsOwnProjector(path); }

std::string ExtractProjectorMovie(const std::string& path, const ExtractRequest& request,
                                  std::string& lastError, core::ExecutionLog* log) {
  if (log) log->LogTime({}, true);
  Log(log, "");
  Log(log, " :: ExtractEXE (" + path + ")... ");

  const std::string& target = request.target;
  // An earlier extraction is reused only while the executable is the one it came from.
  if (CacheCopyIsCurrent(target, path)) {
    lastError = kFileAlreadyCached;
    return target;
  }
  // Doubtful executables are refused before their bytes are read. Our own projectors
  // carry no version resource to test.
  if (request.skipDoubtful && !IsFlashProjector(path)) {
    lastError = kNotGenericProjector;
    return {};
  }

  const SourceStamp stamp = StampOf(path);
  const ReadFile file(path);
  if (!file.Ok()) {
    lastError = "Cannot read " + path + ": " + file.Error();
    return {};
  }
  ProjectorTrailer trailer;
  if (!ReadTrailer(file, trailer)) {
    lastError = "Cannot read " + path + ": the file is too short to be a projector";
    return {};
  }

  std::uint64_t movieStart = 0;
  std::uint64_t movieLength = 0;
  if (trailer.hasMarker) {
    movieLength = trailer.movieLength;
    std::uint8_t head[4];
    const bool fits = movieLength + 8 <= trailer.fileSize;
    if (fits) movieStart = trailer.fileSize - movieLength - 8;
    if (!fits || movieLength < sizeof head || !file.Read(movieStart, sizeof head, head) ||
        !LooksLikeEmbeddedMovie(head)) {
      Log(log, kInvalidGenericProjector);
      lastError = kInvalidGenericProjector;
      return {};
    }
  }

  OutputFile out;
  if (std::string reason = out.Open(target); !reason.empty()) {
    lastError = reason;
    return {};
  }
  Log(log, "Writing data... ");
  if (movieLength > 0 && !CopyRange(file.Fd(), movieStart, movieLength, out)) {
    lastError = out.Error().empty() ? "Cannot read " + path : out.Error();
    return {};
  }
  if (std::string reason = out.Commit(); !reason.empty()) {
    lastError = reason;
    return {};
  }
  StampCacheCopy(target, stamp);
  Log(log, "Ok");
  if (log) log->LogTime("Projector Extracted");
  return target;
}

bool SkipDoubtfulProjectors(const MediaContext& context) {
  if (!context.Options) return true;
  return context.Options->ReadBoolOption("System", "GenericProjectors");
}

std::string ExtractEXE(MediaContext& context, const std::string& path) {
  ExtractRequest request;
  request.target = CachePathFor(context.CachePath, path, ".swf", true, false);
  request.skipDoubtful = SkipDoubtfulProjectors(context);
  return ExtractProjectorMovie(path, request, context.LastError, context.Log);
}

std::string CreateProjector(MediaContext& context, const std::string& target, const MediaRecord& record,
                            const std::string& stubPath) {
  return BuildProjector(target, record.MoviePath, stubPath, context.Log);
}

std::string BuildProjector(const std::string& target, const std::string& moviePath,
                           const std::string& stubPath, core::ExecutionLog* log) {
  Log(log, "");
  Log(log, " :: Create Projector");

  const ReadFile movie(moviePath);
  if (!movie.Ok()) return "Cannot read " + moviePath + ": " + movie.Error();
  if (movie.Size() > 0xFFFFFFFFu) return "The movie is too large for a projector: " + moviePath;
  const ReadFile stub(stubPath);
  if (!stub.Ok()) return "Cannot read the projector stub " + stubPath + ": " + stub.Error();

  // A stub that already carries a movie gives only its part before that movie.
  std::uint64_t stubPart = stub.Size();
  ProjectorTrailer trailer;
  if (ReadTrailer(stub, trailer) && trailer.hasMarker) {
    if (static_cast<std::uint64_t>(trailer.movieLength) + 8 > stub.Size())
      return "The projector stub is damaged (its movie length does not fit): " + stubPath;
    stubPart = stub.Size() - trailer.movieLength - 8;
  }

  OutputFile out;
  if (std::string reason = out.Open(target); !reason.empty()) return reason;
  const auto movieLength = static_cast<std::uint32_t>(movie.Size());
  const std::uint8_t length[4] = {static_cast<std::uint8_t>(movieLength), static_cast<std::uint8_t>(movieLength >> 8),
                                  static_cast<std::uint8_t>(movieLength >> 16),
                                  static_cast<std::uint8_t>(movieLength >> 24)};
  const bool copied = CopyRange(stub.Fd(), 0, stubPart, out) && CopyRange(movie.Fd(), 0, movie.Size(), out) &&
                      out.Write(kProjectorMarker) && out.Write(length);
  if (!copied) return out.Error().empty() ? "Cannot read " + moviePath + " or " + stubPath : out.Error();
  if (std::string reason = out.Commit(); !reason.empty()) return reason;
  // The result is a program: it stays runnable when the stub was.
  struct stat info {};
  if (::fstat(stub.Fd(), &info) == 0 && (info.st_mode & 0111) != 0) {
    ::chmod(target.c_str(), static_cast<mode_t>(0777u & ~core::CurrentUmask()));
  }
  return {};
}

std::string DefaultStubPath(const std::string& binaryPath) { return core::AddSlash(binaryPath) + "projector"; }

ConvertDialogSetup ConvertSetupFor(bool isProjector) {
  static constexpr std::string_view kMovie = "Macromedia Flash (SWF)|*.swf";
  static constexpr std::string_view kProjector = "Flash Projector (EXE)|*.exe";
  if (isProjector)
    return {std::string(kMovie) + "|" + std::string(kProjector), "Player/mnuConvertEXE", "Convert EXE to SWF"};
  return {std::string(kProjector) + "|" + std::string(kMovie), "Player/mnuConvert", "Convert to EXE"};
}

std::string ConvertDefaultName(const std::string& sourcePath, const std::string& folder) {
  if (sourcePath.empty()) return {};
  const std::size_t slash = sourcePath.find_last_of('/');
  const std::string name = slash == std::string::npos ? sourcePath : sourcePath.substr(slash + 1);
  const std::size_t dot = name.find_last_of('.');
  // A leading dot is part of the name ("/m/.swf" is named ".swf").
  const std::string base = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
  const std::string where = !folder.empty() ? folder
                            : slash == std::string::npos ? std::string()
                                                         : sourcePath.substr(0, slash + 1);
  return where + base;
}

ConvertPlan PlanConversion(bool isProjector, int filterIndex, const std::string& chosenName) {
  // The projector's own filter list puts the movie first, a movie's puts the projector
  // first; whichever "*.exe" entry was picked means a projector is wanted.
  const bool wantProjector = isProjector ? filterIndex == 2 : filterIndex != 2;
  ConvertPlan plan;
  plan.target = chosenName;
  const std::size_t slash = chosenName.find_last_of('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  if (chosenName.find('.', nameStart) == std::string::npos) plan.target += wantProjector ? ".exe" : ".swf";
  if (isProjector == wantProjector) plan.action = ConvertAction::CopySource;
  else plan.action = isProjector ? ConvertAction::CopyMovie : ConvertAction::BuildProjector;
  return plan;
}

std::string RunConversion(MediaContext& context, const ConvertPlan& plan, const MediaRecord& record,
                          const std::string& stubPath) {
  Log(context.Log, "");
  Log(context.Log, " :: SWF<->EXE Conversion");
  if (plan.action == ConvertAction::BuildProjector) return CreateProjector(context, plan.target, record, stubPath);
  const std::string& source = plan.action == ConvertAction::CopyMovie ? record.MoviePath : record.SourcePath;
  const ReadFile file(source);
  if (!file.Ok()) return "Cannot read " + source + ": " + file.Error();
  OutputFile out;
  if (std::string reason = out.Open(plan.target); !reason.empty()) return reason;
  if (!CopyRange(file.Fd(), 0, file.Size(), out)) return out.Error().empty() ? "Cannot read " + source : out.Error();
  return out.Commit();
}

}  // namespace vantrel::media
