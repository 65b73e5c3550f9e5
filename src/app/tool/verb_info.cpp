// vantrel-tool info [--json] [-r] FILE...: identifies each file and prints its facts.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/tool/tool_session.h"
#include "app/tool/tool_support.h"
#include "app/tool/verbs.h"
#include "core/paths.h"
#include "core/text.h"
#include "media/identify.h"
#include "media/media_context.h"
#include "media/movie_facts.h"
#include "media/projector.h"

namespace fs = std::filesystem;

namespace vantrel::tool {

namespace {

// Output collected and written in large pieces: listing thousands of files is the
// common case.
class Output {
 public:
  ~Output() { Flush(); }
  std::string& text() { return text_; }
  void MaybeFlush() {
    if (text_.size() > (1u << 16)) Flush();
  }
  void Flush() {
    std::fwrite(text_.data(), 1, text_.size(), stdout);
    text_.clear();
  }

 private:
  std::string text_;
};

void AppendJsonString(std::string& out, std::string_view text) {
  out += '"';
  for (const char ch : text) {
    const auto byte = static_cast<unsigned char>(ch);
    if (ch == '"' || ch == '\\') {
      out += '\\';
      out += ch;
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += ch;
    }
  }
  out += '"';
}

template <typename Number>
void AppendNumber(std::string& out, Number value) {
  char digits[64];
  std::to_chars_result result{};
  if constexpr (std::is_floating_point_v<Number>) {
    // Whole numbers in plain digits ("1000000", not "1e+06"); others as short as exact.
    result = value == static_cast<Number>(static_cast<long long>(value)) && value < Number(1e15) && value > Number(-1e15)
                 ? std::to_chars(digits, digits + sizeof digits, static_cast<long long>(value))
                 : std::to_chars(digits, digits + sizeof digits, value);
  } else {
    result = std::to_chars(digits, digits + sizeof digits, static_cast<long long>(value));
  }
  out.append(digits, result.ptr);
}

void AppendJson(std::string& out, const media::MediaRecord& r, std::string_view error) {
  const auto key = [&](const char* name) {
    if (out.back() != '{') out += ',';
    AppendJsonString(out, name);
    out += ':';
  };
  const auto text = [&](const char* name, std::string_view value) {
    key(name);
    AppendJsonString(out, value);
  };
  const auto boolean = [&](const char* name, bool value) {
    key(name);
    out += value ? "true" : "false";
  };
  const auto number = [&](const char* name, auto value) {
    key(name);
    AppendNumber(out, value);
  };
  out += '{';
  number("Version", r.Version);
  boolean("IsCompressed", r.IsCompressed);
  number("MovieSize", r.MovieSize);
  number("FileSize", r.FileSize);
  number("Width", r.Width);
  number("Height", r.Height);
  number("FrameRate", r.FrameRate);
  number("FrameCount", r.FrameCount);
  // A video's MoviePath is the address of the player's wrapper movie, made anew on
  // every run; the file itself is what a reader of this line wants.
  text("MoviePath", r.IsVideo ? r.SourcePath : r.MoviePath);
  text("SourcePath", r.SourcePath);
  text("HeaderPath", r.HeaderPath);
  text("FileName", r.FileName);
  number("HeaderEnd", r.HeaderEnd);
  boolean("IsProjector", r.IsProjector);
  boolean("IsVideo", r.IsVideo);
  number("VideoCodec", r.VideoCodec);
  number("VideoRate", r.VideoRate);
  number("AudioRate", r.AudioRate);
  text("BackColor", r.BackColor);
  text("Title", r.Title);
  text("Description", r.Description);
  text("error", error);
  out += "}\n";
}

// The size of the movie as the file stores it: the file itself, or for a projector the
// movie inside it (the copy taken out into the cache).
double StoredMovieSize(const media::MediaRecord& record) {
  if (!record.IsProjector) return record.FileSize;
  std::error_code ec;
  const auto size = fs::file_size(record.MoviePath, ec);
  return ec ? 0.0 : static_cast<double>(size);
}

void AppendFacts(std::string& out, const std::string& path, const media::MediaRecord& record) {
  media::MovieInfoTexts facts = media::MovieInfoTextsFor(record);
  // A projector's file is mostly its player: the compression is the embedded movie's.
  if (record.IsProjector && record.IsCompressed && record.MovieSize > 0) {
    media::MediaRecord stored = record;
    stored.FileSize = static_cast<std::int32_t>(StoredMovieSize(record));
    facts.CompressionValue = media::MovieInfoTextsFor(stored).CompressionValue;
  }
  const auto line = [&](const char* label, const std::string& value) {
    char padded[32];
    std::snprintf(padded, sizeof padded, "  %-14s", label);
    out += padded;
    out += value;
    out += '\n';
  };
  out += path;
  out += '\n';
  line("File Type:", facts.TypeValue);
  line("Version:", facts.VersionValue);
  line("Compression:", facts.CompressionValue);
  // The file on the disk, then the movie's own length when it differs (a compressed
  // movie's header names its uncompressed length, a projector carries a player too).
  line("File Size:", media::FormatByteSize(record.FileSize));
  if (!record.IsVideo && record.MovieSize != record.FileSize) line("Movie Size:", facts.SizeValue);
  line("Movie Frame:", facts.FrameValue);
  line("Time:", facts.TimeValue);
  line("Bitrate:", facts.BitrateValue);
  if (!record.IsVideo) line("Background:", "#" + record.BackColor);
  if (!record.Title.empty()) line("Title:", facts.TitleText);
  if (!record.Description.empty()) line("Description:", facts.DescriptionText);
}

// Files of a folder that may hold movies, sorted; the whole tree when recursive.
void CollectFolder(const std::string& folder, bool recursive, std::vector<std::string>& files) {
  std::vector<std::string> found;
  std::error_code ec;
  const auto consider = [&](const fs::directory_entry& entry) {
    if (!entry.is_regular_file(ec)) return;
    const std::string extension = core::LowerAscii(entry.path().extension().string());
    if (extension == ".swf" || extension == ".flv" || extension == ".exe" || extension == ".spl")
      found.push_back(entry.path().string());
  };
  if (recursive) {
    for (fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end;
         !ec && it != end; it.increment(ec))
      consider(*it);
  } else {
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) consider(*it);
  }
  std::sort(found.begin(), found.end());
  files.insert(files.end(), found.begin(), found.end());
}

}  // namespace

int RunInfo(const Args& args) {
  bool json = false;
  bool recursive = false;
  std::vector<std::string> names;
  for (const std::string& arg : args) {
    if (IsFlag(arg, {"--json"})) json = true;
    else if (IsFlag(arg, {"-r", "--recursive"})) recursive = true;
    else if (arg.size() > 1 && arg[0] == '-') return UsageError("info", "unknown option " + arg);
    else names.push_back(arg);
  }
  if (names.empty()) return UsageError("info", "no file given");

  ToolSession session;
  media::MediaContext& context = session.context;

  Output output;
  bool anyFailed = false;
  media::MediaRecord record;
  // Identifies one file and prints it; false when the path turned out to be a folder
  // given on the command line (found when identification cannot open it as a file,
  // which saves a look at every file first).
  const auto identify = [&](const std::string& path, bool given) {
    // The player's own texts for a missing or short file, and plain characters where
    // a text carries HTML references (the doubtful-projector text is written for pages).
    std::string error = core::FolderExists(path) ? std::string() : media::CheckMediaFile(path);
    if (error.empty()) error = media::IdentifyMedia(context, path, record, false);
    else record = media::MediaRecord{};
    if (error.empty() && context.Error.Pending()) error = context.Error.description;
    error = core::PlainText(error);
    if (!error.empty() && given && core::FolderExists(path)) return false;
    if (!error.empty()) anyFailed = true;
    if (json) {
      // A failed file's record is blank; its line still names the file it is about.
      if (!error.empty()) {
        record.SourcePath = path;
        record.FileName = media::FileTitle(path, false);
      }
      AppendJson(output.text(), record, error);
    } else if (error.empty()) {
      AppendFacts(output.text(), path, record);
    } else {
      output.Flush();
      std::fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
    }
    output.MaybeFlush();
    return true;
  };
  for (const std::string& name : names) {
    if (identify(name, true)) continue;
    std::vector<std::string> inside;
    CollectFolder(name, recursive, inside);
    for (const std::string& path : inside) identify(path, false);
  }
  return anyFailed ? kExitFailed : kExitOk;
}

}  // namespace vantrel::tool
