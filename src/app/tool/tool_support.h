// Helpers shared by the verbs of vantrel-tool: exit codes, usage errors, option parsing.
#pragma once

#include <chrono>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vantrel::tool {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Prints "vantrel-tool VERB: message" and the verb's synopsis to stderr; returns 2.
int UsageError(std::string_view verb, std::string_view message);

// Prints "vantrel-tool: message" to stderr.
void PrintError(std::string_view message);

// True when arg is one of the given flags.
bool IsFlag(std::string_view arg, std::initializer_list<std::string_view> names);

// Parses a whole non-negative decimal number; false when text is not one.
bool ParseCount(std::string_view text, long& out);

// Parses a whole decimal number of seconds above 0 (fractions allowed, at most a day);
// false when text is not one.
bool ParseSeconds(std::string_view text, double& out);

// Why the file at path cannot be read ("cannot read PATH: No such file or directory",
// "... : it is a folder"); "" when it opens for reading.
std::string UnreadableReason(const std::string& path);

// Why the file at path cannot be a movie to play, with the player's texts first
// ("PATH: File Not Found", "PATH: File is Too Small to Be Valid"), then
// UnreadableReason; "" when it can be read as one.
std::string MovieFileProblem(const std::string& path);

// Reads the worker count at args[i]: "-j N", "-jN", "--jobs N" or "--jobs=N" (N from 1
// to 256), moving i past a separate value. Returns 1 when it took the option (jobs set),
// 0 when args[i] is not it, -1 when its value is missing or wrong.
int TakeJobs(const std::vector<std::string>& args, std::size_t& i, int& jobs);

// One status line redrawn in place on stderr while stderr is a terminal; nothing at all
// otherwise, so logs and pipes get only the lines the verbs print.
class ProgressLine {
 public:
  ProgressLine();
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  bool Enabled() const { return enabled_; }
  // Draws text (cut to the terminal's width), at most ten times a second unless force.
  void Show(std::string_view text, bool force = false);
  // Erases the line, so that other output starts at the left edge.
  void Clear();

 private:
  bool enabled_;
  bool drawn_ = false;
  std::size_t width_ = 79;
  std::chrono::steady_clock::time_point last_{};
};

// The files of a folder whose extensions are among the given ones (".swf"; any case),
// one at a time in the order of their sorted paths; with recursive the whole tree (links
// to folders are not followed, unreadable folders passed over). Memory grows with the
// depth of the tree and the size of its largest folder, never with the number of files.
class FolderWalk {
 public:
  FolderWalk(const std::string& folder, bool recursive, std::initializer_list<std::string_view> extensions);
  // The next file's path (folder + relative path); false at the end.
  bool Next(std::string& path);

 private:
  struct Level {
    std::string folder;  // ends with "/"
    std::vector<std::pair<std::string, bool>> entries;  // name, is a folder; sorted
    std::size_t next = 0;
  };
  void Enter(const std::string& folder);

  bool recursive_;
  std::vector<std::string> extensions_;
  std::vector<Level> stack_;
};

// The path of file relative to the folder it was found in ("sub/a.swf" for
// "/movies/sub/a.swf" under "/movies"); the file name alone when it is not inside.
std::string RelativeTo(const std::string& folder, const std::string& file);

}  // namespace vantrel::tool
