// Small text, file and XML services shared by every writer of the program.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::core {

class ExecutionLog;

// Escapes "<", ">", the double quote and a lone "&" as numeric references; an "&"
// followed by "#" (an existing reference) passes unchanged.
std::string HtmlEncode(std::string_view text);

// Appends the UTF-8 bytes of the code point code (up to U+10FFFF).
void AppendUtf8(std::string& out, std::uint32_t code);

// The reverse for texts meant for a terminal or a plain text box: every decimal numeric
// character reference ("&#62;") becomes its character (in UTF-8); anything else,
// malformed references included, passes unchanged.
std::string PlainText(std::string_view text);

// Returns the file's lines, each preceded by "\r\n" (so the result starts with a line
// break and has none at its end). "" for an empty, missing or unreadable file; the
// failure is reported to log (context "Reading File") when one is given.
std::string ReadTextFile(const std::string& path, ExecutionLog* log = nullptr);

// Replaces the file with text's bytes, no line end added. Returns false on failure.
bool WriteTextFile(const std::string& path, std::string_view text);

// Parses xmlText and saves the document to path; on a parse failure writes
// "SaveXML: reason (line - position)" there instead. Never throws.
void SaveXML(const std::string& path, std::string_view xmlText, ExecutionLog* log = nullptr);

// Reads a whole file into bytes. Returns false when it cannot be read.
bool ReadFileBytes(const std::string& path, std::vector<std::uint8_t>& bytes);

// Reads exactly count bytes at offset of an open file descriptor (retrying short reads
// and interruptions). Returns false on an error or when the file ends first.
bool ReadFullyAt(int fd, std::uint64_t offset, std::size_t count, std::uint8_t* out);

// Writes bytes to path atomically: a temporary file beside it, flushed, then renamed
// over path. On failure nothing is left behind and the old file is unchanged; the
// returned text says why ("" on success).
std::string WriteFileAtomic(const std::string& path, std::string_view bytes);

// Upper-cases ASCII letters (keys, extensions); other bytes unchanged.
std::string UpperAscii(std::string_view text);
std::string LowerAscii(std::string_view text);

// Case-insensitive (ASCII) equality.
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace vantrel::core
