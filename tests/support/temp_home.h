// A temporary home for tests: XDG folders point into a fresh folder that is removed at
// the end, so tests never touch the real user's files.
#pragma once

#include <string>

namespace vantrel::testing {

class TempHome {
 public:
  TempHome();
  ~TempHome();
  TempHome(const TempHome&) = delete;
  TempHome& operator=(const TempHome&) = delete;

  // The folder, ending with "/".
  const std::string& Path() const { return root_; }
  // Writes bytes to Path() + relative (creating folders); returns the full path.
  std::string WriteFile(const std::string& relative, const std::string& bytes) const;

 private:
  std::string root_;
  std::string saved_[5];
};

// The corpus folder beside the checkout ("" when it is absent).
std::string CorpusDir();

}  // namespace vantrel::testing
