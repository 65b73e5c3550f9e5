// Helpers shared by the verbs of vantrel-tool: exit codes, usage errors, option parsing.
#pragma once

#include <string>
#include <string_view>
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

}  // namespace vantrel::tool
