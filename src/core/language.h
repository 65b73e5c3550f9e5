// Language files: the text lookup every window and message uses, the language table,
// and the escaping of texts handed to movies.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

namespace vantrel::core {

class ExecutionLog;

struct LanguageInfo {
  std::string Title;
  std::string Author;
  std::string FileBase;   // file name without ".xml"; the value stored in the options
  std::int32_t LangID = 0;
  std::int32_t Charset = 0;
};

// The text at path evaluated from node (an attribute's value or an element's text), or
// defaultText when the node is missing, the path is not valid or the text is empty. A
// text starting with "!" is a reference to "<root>/P/@text", followed once.
std::string GetNodeValue(const pugi::xml_node& node, std::string_view path, std::string_view defaultText);

// The user's locale as a Windows language identifier (LC_ALL, LC_MESSAGES, LANG, e.g.
// "de_DE.UTF-8" gives 1031); 1033 when unknown or "C"/"POSIX".
std::uint16_t UserLocaleId();

// The Windows language identifier for a POSIX locale name ("fr_CA" -> 3084, "fr" ->
// 1036); 0 when unknown.
std::uint16_t LocaleIdFromName(std::string_view localeName);

// The font character set for a language identifier (0 when unknown, as for Western).
std::int32_t CharsetOfLanguage(std::int32_t langId);

// Percent-escapes a UTF-8 text for a movie's unescape: code points 0..64 as "%XX",
// 65..127 and 185 unchanged, every other character as its UTF-8 bytes in "%XX" form.
// Bytes that are not valid UTF-8 count as "?".
std::string EscapeText(std::string_view text);

class Languages {
 public:
  explicit Languages(std::string languagesPath, ExecutionLog* log = nullptr);

  // Fills the language table: English first (even when its file is missing), then every
  // other "*.xml" that parses and has a title, skipping names that begin with "-".
  // Chooses the current language: optionLanguage (letter case ignored), else the first
  // whose LangID is localeId, else English.
  void EnumerateLanguages(std::string_view optionLanguage, std::uint16_t localeId);

  // Loads the current language's file as the language document. Returns false when it
  // did not load (every lookup then gives its default).
  bool LoadLanguage();

  // The text for key ("BrowseMedia/strMovie") in the language document, or defaultText.
  std::string LangText(std::string_view key, std::string_view defaultText) const;

  const std::vector<LanguageInfo>& Table() const { return table_; }
  std::size_t Current() const { return current_; }
  void SetCurrent(std::size_t index) { current_ = index < table_.size() ? index : 0; }
  const pugi::xml_document& Document() const { return document_; }

 private:
  std::string path_;
  ExecutionLog* log_;
  std::vector<LanguageInfo> table_;
  std::size_t current_ = 0;
  pugi::xml_document document_;
};

}  // namespace vantrel::core
