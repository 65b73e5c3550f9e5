// vantrel-tool info [--json|--json-lines] [-r] [-j N] FILE|FOLDER...: identifies each file
// and prints its facts.
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/tool/tool_session.h"
#include "app/tool/tool_support.h"
#include "app/tool/verbs.h"
#include "core/ordered_work.h"
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
    std::fflush(stdout);
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

// What one file gives: its text and whether it failed. The text goes to stdout, or for
// a failed file without --json to stderr.
struct Answer {
  bool failed = false;
  std::string text;
};

// A result travels as one text: "0" or "1" (failed), then the text.
std::string Pack(const Answer& answer) { return (answer.failed ? "1" : "0") + answer.text; }
Answer Unpack(const std::string& packed) {
  Answer answer;
  answer.failed = !packed.empty() && packed[0] == '1';
  if (!packed.empty()) answer.text = packed.substr(1);
  return answer;
}

Answer Failed(const std::string& path, const std::string& error, bool json) {
  Answer answer;
  answer.failed = true;
  if (json) {
    // A failed file's record is blank; its line still names the file it is about.
    media::MediaRecord record;
    record.SourcePath = path;
    record.FileName = media::FileTitle(path, false);
    AppendJson(answer.text, record, error);
  } else {
    answer.text = path + ": " + error + "\n";
  }
  return answer;
}

Answer Identify(media::MediaContext& context, const std::string& path, bool json) {
  // The player's own texts for a missing or short file, and plain characters where a
  // text carries HTML references (the doubtful-projector text is written for pages).
  media::MediaRecord record;
  std::string error = media::CheckMediaFile(path);
  if (error.empty()) error = media::IdentifyMedia(context, path, record, false);
  if (error.empty() && context.Error.Pending()) error = context.Error.description;
  error = core::PlainText(error);
  if (!error.empty()) return Failed(path, error, json);
  Answer answer;
  if (json) AppendJson(answer.text, record, error);
  else AppendFacts(answer.text, path, record);
  return answer;
}

}  // namespace

int RunInfo(const Args& args) {
  bool json = false;
  bool jsonLines = false;
  bool recursive = false;
  int jobs = core::DefaultJobs();
  std::vector<std::string> names;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (const int taken = TakeJobs(args, i, jobs); taken != 0) {
      if (taken < 0) return UsageError("info", "-j needs a number of workers from 1 to 256");
    } else if (IsFlag(arg, {"--json"})) {
      json = true;
    } else if (IsFlag(arg, {"--json-lines"})) {
      json = jsonLines = true;
    } else if (IsFlag(arg, {"-r", "--recursive"})) {
      recursive = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return UsageError("info", "unknown option " + arg);
    } else {
      names.push_back(arg);
    }
  }
  if (names.empty()) return UsageError("info", "no file given");

  ToolSession session;
  // Identification reads only the file and writes only the cache, through atomic
  // renames; each worker has its own context, so the files may be read side by side.
  std::vector<std::unique_ptr<WorkerSession>> workers;
  if (jobs > 1)
    for (int n = 0; n < jobs; ++n) workers.push_back(std::make_unique<WorkerSession>(session));

  ProgressLine progress;
  // With both streams on the terminal every answer is shown at once, under the line.
  const bool sharedTerminal = progress.Enabled() && ::isatty(STDOUT_FILENO) == 1;
  Output output;
  bool anyFailed = false;
  std::size_t given = 0, done = 0;
  std::unique_ptr<FolderWalk> walk;
  const auto produce = [&](std::string& path) {
    for (;;) {
      if (walk && walk->Next(path)) return true;
      walk.reset();
      if (given >= names.size()) return false;
      const std::string& name = names[given++];
      if (!core::FolderExists(name)) {
        path = name;
        return true;
      }
      walk = std::make_unique<FolderWalk>(name, recursive, std::initializer_list<std::string_view>{".swf", ".flv", ".exe", ".spl"});
    }
  };
  const auto work = [&](const std::string& path, int worker) {
    media::MediaContext& context = jobs > 1 ? workers[static_cast<std::size_t>(worker)]->context : session.context;
    return Pack(Identify(context, path, json));
  };
  const auto deliver = [&](std::string& path, core::WorkOutcome& outcome) {
    Answer answer = Unpack(outcome.text);
    if (!outcome.stopped.empty()) answer = Failed(path, outcome.stopped, json);
    if (answer.failed) anyFailed = true;
    ++done;
    if (sharedTerminal) progress.Clear();
    if (json || !answer.failed) {
      output.text() += answer.text;
      // --json-lines: each line is out as soon as its file is read.
      if (jsonLines || sharedTerminal) output.Flush();
      else output.MaybeFlush();
    } else {
      output.Flush();
      std::fputs(answer.text.c_str(), stderr);
    }
    progress.Show("info: " + std::to_string(done) + (done == 1 ? " file " : " files ") + media::FileTitle(path, false),
                  false);
  };
  core::RunOrdered<std::string>(jobs, core::WorkerKind::Threads, produce, work, deliver);
  progress.Clear();
  return anyFailed ? kExitFailed : kExitOk;
}

}  // namespace vantrel::tool
