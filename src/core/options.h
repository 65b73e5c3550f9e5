// The options store: every setting of the program, in one per-user file of sections
// holding typed values (text or 32-bit number), plus the table of all options with
// their defaults.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace vantrel::core {

enum class OptionKind { Text, Bool, Number };

// Where an option's default comes from when it is not a fixed value.
enum class DefaultRule {
  Fixed,          // defaultText
  MyFlashFolder,  // the user's Flash folder ("Recent"/"MyFlash", itself defaulting to
                  // the documents folder + "My Flash/")
  ProgramBuild,   // the program's build number
  WindowPresent,  // the window's present value (position, size, state)
  None,           // no default: the owner writes it before reading
};

struct OptionDef {
  std::string_view section;
  std::string_view key;  // "" is the section's default value
  OptionKind kind;
  std::string_view defaultText;  // for Fixed ("True", "High", "100", ...)
  DefaultRule rule = DefaultRule::Fixed;
};

// Every option of the program, by section, in the order LoadOpts reads them.
std::span<const OptionDef> OptionTable();

// The table entry for section/key (letter case ignored), or nullptr.
const OptionDef* FindOption(std::string_view section, std::string_view key);

// The default text of the user's Flash folder: the documents folder + "My Flash/".
std::string DefaultMyFlashFolder();

class OptionsStore {
 public:
  // A store backed by filePath; the file need not exist.
  explicit OptionsStore(std::string filePath);

  // $XDG_CONFIG_HOME/Vantrel/options.conf (default ~/.config/Vantrel/options.conf).
  static std::string DefaultFilePath();

  const std::string& FilePath() const { return path_; }

  // Reads accept either stored type: a number read as text gives its decimal digits, a
  // text read as a number is converted. A missing file, section or key, or a value that
  // does not convert, gives the default.
  std::string ReadText(std::string_view section, std::string_view key, std::string_view defaultValue);
  std::int32_t ReadNumber(std::string_view section, std::string_view key, std::int32_t defaultValue);
  // "True"/"False" in any case, or a number (not 0 is true).
  bool ReadBool(std::string_view section, std::string_view key, bool defaultValue);

  // Table-driven reads: the option's value with its default from the table. myFlash is the
  // user's Flash folder for the options whose default is that folder.
  std::string ReadOption(const OptionDef& option, std::string_view myFlash = {});
  bool ReadBoolOption(std::string_view section, std::string_view key);
  std::int32_t ReadNumberOption(std::string_view section, std::string_view key);
  std::string ReadTextOption(std::string_view section, std::string_view key);

  // Writes update the file atomically. A write that fails is lost (returns false) and
  // never stops the program.
  bool WriteText(std::string_view section, std::string_view key, std::string_view value);
  bool WriteNumber(std::string_view section, std::string_view key, std::int32_t value);
  bool WriteBool(std::string_view section, std::string_view key, bool value);  // "True"/"False"

  // Between BeginBatch and EndBatch writes stay in memory and EndBatch writes the file
  // once (a save of every option would otherwise rewrite it per value). Batches nest;
  // EndBatch returns false when that single write failed.
  void BeginBatch() { ++batchDepth_; }
  bool EndBatch();

  // Removes a key (used for list sections such as favourites). Returns false on failure.
  bool DeleteKey(std::string_view section, std::string_view key);

  // The keys stored in a section with their values as text (for the favourites list).
  std::map<std::string, std::string> SectionValues(std::string_view section);

 private:
  struct Value {
    bool isNumber = false;
    std::string text;
    std::int32_t number = 0;
  };
  using Section = std::map<std::string, Value>;  // key -> value, keys as written

  void Refresh();
  bool Flush();
  bool Changed();  // flushes now, or marks the batch dirty
  const Value* Find(std::string_view section, std::string_view key);
  Section& SectionFor(std::string_view section);

  std::string path_;
  std::map<std::string, Section> sections_;
  // Identity of the file last read, so a change by another instance is picked up.
  long long loadedStamp_ = -1;
  off_t loadedSize_ = -1;
  int batchDepth_ = 0;
  bool batchDirty_ = false;
};

// Parses the options file text into the store's shape; tolerant of anything: unknown
// or broken lines are skipped. Exposed for the fuzz target and tests.
struct ParsedOptions {
  struct Entry {
    std::string section, key;
    bool isNumber;
    std::string text;
    std::int32_t number;
  };
  std::vector<Entry> entries;
};
ParsedOptions ParseOptionsText(std::string_view text);

}  // namespace vantrel::core
