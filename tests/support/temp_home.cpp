#include "support/temp_home.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace vantrel::testing {

namespace {
const char* const kVariables[5] = {"HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME", "VANTREL_APP_PATH"};
}

TempHome::TempHome() {
  std::string pattern = (fs::temp_directory_path() / "vantrel-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) std::abort();
  root_ = pattern + "/";
  for (int i = 0; i < 5; ++i) {
    const char* value = std::getenv(kVariables[i]);
    saved_[i] = value ? std::string(value) : std::string("\x01");
  }
  setenv("HOME", root_.c_str(), 1);
  setenv("XDG_DATA_HOME", (root_ + ".local/share").c_str(), 1);
  setenv("XDG_CACHE_HOME", (root_ + ".cache").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (root_ + ".config").c_str(), 1);
  unsetenv("VANTREL_APP_PATH");
}

TempHome::~TempHome() {
  for (int i = 0; i < 5; ++i) {
    if (saved_[i] == "\x01") unsetenv(kVariables[i]);
    else setenv(kVariables[i], saved_[i].c_str(), 1);
  }
  std::error_code ec;
  fs::remove_all(root_, ec);
}

std::string TempHome::WriteFile(const std::string& relative, const std::string& bytes) const {
  const fs::path path = fs::path(root_) / relative;
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return path.string();
}

std::string CorpusDir() {
  std::error_code ec;
  const fs::path dir = VANTREL_CORPUS_DIR;
  return fs::is_directory(dir, ec) ? fs::weakly_canonical(dir, ec).string() + "/" : std::string();
}

}  // namespace vantrel::testing
