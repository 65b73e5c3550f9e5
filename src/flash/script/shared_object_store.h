// Where both script machines keep local shared objects: one .sol file per name and path
// of the movie ("<domain>/<path>/<name>.sol" under the player's folder for them), or,
// for players that keep no folder (tests, tools), memory that lasts as long as the
// process. A .sol file holds a "TCSO" header with the object's name and its AMF version,
// then the object's entries.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vantrel::flash::script {

// Whether a movie may name a shared object so (no path separators or other characters
// the player refuses, no "..").
bool ValidSharedObjectName(std::string_view name);

// The object's place under the folder: "<domain>/<path>/<name>.sol", the domain being the
// movie's host ("localhost" for files) and the path the movie's own, or localPath when it
// is a prefix of it. Nothing when localPath is not.
std::optional<std::string> SharedObjectKey(const std::string& movieUrl, const std::optional<std::string>& localPath,
                                           std::string_view name);

// Reads, writes (atomically: a failure leaves the old file) and removes what is kept
// under key; folder "" is the process's memory.
bool ReadSharedObject(const std::string& folder, const std::string& key, std::string& bytes);
bool WriteSharedObject(const std::string& folder, const std::string& key, const std::string& bytes);
void RemoveSharedObject(const std::string& folder, const std::string& key);
// Writes bytes to path through a temporary file renamed into place, making the folder;
// false on failure, leaving neither a partial file nor the temporary one.
bool WriteFileAtomically(const std::string& path, const std::string& bytes);

// A whole .sol file of the entries in body, for the object name in AMF version 0 or 3.
std::string SolFile(std::string_view name, int amfVersion, std::string_view body);
// The entries of a .sol file and its AMF version; nothing when it is no .sol file. A file
// shorter than its header says still gives what it holds (damaged is true then).
struct SolContents {
  int amfVersion = 0;
  std::string_view body;
  bool damaged = false;
};
std::optional<SolContents> ReadSolFile(std::string_view file);

}  // namespace vantrel::flash::script
