#include "flash/script/shared_object_store.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <system_error>

#include <unistd.h>

namespace vantrel::flash::script {

namespace {

namespace fs = std::filesystem;

// Flushed objects of players that keep no folder, by their key.
std::map<std::string, std::string>& MemoryStore() {
  static std::map<std::string, std::string> store;
  return store;
}

// Keeps the parts of a path that are safe as folder names ("." and ".." dropped).
std::string CleanPath(std::string_view path) {
  std::string out;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view part = path.substr(start, end - start);
    if (!part.empty() && part != "." && part != ".." && part.find(':') == std::string_view::npos) {
      out += std::string(part) + "/";
    }
    start = end + 1;
  }
  return out;
}

}  // namespace

bool ValidSharedObjectName(std::string_view name) {
  if (name.empty()) return false;
  for (const char c : name) {
    if (std::string_view("~%&\\;:\"',<>?# ").find(c) != std::string_view::npos || static_cast<unsigned char>(c) < 32)
      return false;
  }
  return name.find("..") == std::string_view::npos;
}

std::optional<std::string> SharedObjectKey(const std::string& movieUrl, const std::optional<std::string>& localPath,
                                           std::string_view name) {
  std::string domain = "localhost";
  std::string path = movieUrl;
  const std::size_t scheme = movieUrl.find("://");
  if (scheme != std::string::npos) {
    const std::string rest = movieUrl.substr(scheme + 3);
    const std::size_t slash = rest.find('/');
    if (movieUrl.compare(0, scheme, "file") != 0) domain = rest.substr(0, slash);
    path = slash == std::string::npos ? std::string("/") : rest.substr(slash);
  }
  const std::size_t query = path.find_first_of("?#");
  if (query != std::string::npos) path.resize(query);
  // A movie opened by a relative path lives at its absolute one.
  if (scheme == std::string::npos && !path.empty() && path[0] != '/') {
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error);
    if (!error) path = absolute.lexically_normal().string();
  }
  if (localPath) {
    if (path.compare(0, localPath->size(), *localPath) != 0) return std::nullopt;
    path = *localPath;
  }
  const std::string cleanDomain = CleanPath(domain);
  return (cleanDomain.empty() ? std::string("localhost/") : cleanDomain) + CleanPath(path) + std::string(name) + ".sol";
}

bool ReadSharedObject(const std::string& folder, const std::string& key, std::string& bytes) {
  if (folder.empty()) {
    const auto it = MemoryStore().find(key);
    if (it == MemoryStore().end()) return false;
    bytes = it->second;
    return true;
  }
  std::ifstream in(fs::path(folder) / key, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  bytes = buffer.str();
  return true;
}

bool WriteFileAtomically(const std::string& target, const std::string& bytes) {
  const fs::path path(target);
  std::error_code error;
  fs::create_directories(path.parent_path(), error);
  if (error) return false;
  const fs::path temp = path.string() + ".tmp" + std::to_string(::getpid());
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) {
      out.close();
      fs::remove(temp, error);
      return false;
    }
  }
  fs::rename(temp, path, error);
  if (error) {
    fs::remove(temp, error);
    return false;
  }
  return true;
}

bool WriteSharedObject(const std::string& folder, const std::string& key, const std::string& bytes) {
  if (folder.empty()) {
    MemoryStore()[key] = bytes;
    return true;
  }
  return WriteFileAtomically((fs::path(folder) / key).string(), bytes);
}

void RemoveSharedObject(const std::string& folder, const std::string& key) {
  if (folder.empty()) {
    MemoryStore().erase(key);
    return;
  }
  std::error_code error;
  fs::remove(fs::path(folder) / key, error);
}

std::string SolFile(std::string_view name, int amfVersion, std::string_view body) {
  std::string header("TCSO\x00\x04\x00\x00\x00\x00", 10);
  header.push_back(static_cast<char>((name.size() >> 8) & 0xFF));
  header.push_back(static_cast<char>(name.size() & 0xFF));
  header.append(name);
  header.append("\x00\x00\x00", 3);  // padding
  header.push_back(static_cast<char>(amfVersion));
  const std::size_t length = header.size() + body.size();
  std::string file("\x00\xBF", 2);
  for (int shift = 24; shift >= 0; shift -= 8) file.push_back(static_cast<char>((length >> shift) & 0xFF));
  return file + header + std::string(body);
}

std::optional<SolContents> ReadSolFile(std::string_view file) {
  if (file.size() < 18 || static_cast<unsigned char>(file[0]) != 0x00 || static_cast<unsigned char>(file[1]) != 0xBF ||
      file.substr(6, 4) != "TCSO")
    return std::nullopt;
  std::uint32_t declared = 0;
  for (int i = 2; i < 6; ++i) declared = (declared << 8) | static_cast<unsigned char>(file[static_cast<std::size_t>(i)]);
  std::size_t at = 16;  // past the length, "TCSO" and six bytes
  const std::size_t nameLength =
      static_cast<std::size_t>(static_cast<unsigned char>(file[at]) << 8 | static_cast<unsigned char>(file[at + 1]));
  at += 2 + nameLength;
  if (at + 4 > file.size()) return std::nullopt;
  SolContents contents;
  contents.amfVersion = static_cast<unsigned char>(file[at + 3]);
  contents.body = file.substr(at + 4);
  contents.damaged = declared != file.size() - 6;
  return contents;
}

}  // namespace vantrel::flash::script
