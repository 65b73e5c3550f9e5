#include "core/text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <pugixml.hpp>

#include "core/cache.h"
#include "core/log.h"
#include "core/paths.h"

namespace vantrel::core {

std::string HtmlEncode(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    switch (c) {
      case '<': out += "&#60;"; break;
      case '>': out += "&#62;"; break;
      case '"': out += "&#34;"; break;
      case '&':
        if (i + 1 < text.size() && text[i + 1] == '#') out += '&';
        else out += "&#38;";
        break;
      default: out += c;
    }
  }
  return out;
}

void AppendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

std::string PlainText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::size_t end = i + 2;
    std::uint32_t code = 0;
    if (text.substr(i, 2) == "&#") {
      while (end < text.size() && end - i < 10 && text[end] >= '0' && text[end] <= '9')
        code = code * 10 + static_cast<std::uint32_t>(text[end++] - '0');
    }
    const bool reference = end > i + 2 && end < text.size() && text[end] == ';' && code > 0 && code <= 0x10FFFF &&
                           !(code >= 0xD800 && code <= 0xDFFF);
    if (!reference) {
      out += text[i];
      continue;
    }
    AppendUtf8(out, code);
    i = end;
  }
  return out;
}

std::string ReadTextFile(const std::string& path, ExecutionLog* log) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (log) {
      RunError error{53, "Vantrel", "File not found"};
      log->ReportError(error, "Reading File", path);
    }
    return {};
  }
  std::string result;
  std::string line;
  while (std::getline(in, line)) {
    // Line input ends a line at CR LF, LF or a lone CR.
    std::size_t start = 0;
    while (true) {
      const auto cr = line.find('\r', start);
      std::string part = line.substr(start, cr == std::string::npos ? std::string::npos : cr - start);
      if (cr == std::string::npos) {
        result += "\r\n";
        result += part;
        break;
      }
      result += "\r\n";
      result += part;
      start = cr + 1;
      if (start == line.size()) break;  // CR LF: the CR closes the line
    }
  }
  return result;
}

bool WriteTextFile(const std::string& path, std::string_view text) {
  if (FileExists(path)) std::remove(path.c_str());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  return static_cast<bool>(out);
}

void SaveXML(const std::string& path, std::string_view xmlText, ExecutionLog* log) {
  if (FileExists(path)) std::remove(path.c_str());
  pugi::xml_document doc;
  const pugi::xml_parse_result parsed =
      doc.load_buffer(xmlText.data(), xmlText.size(), pugi::parse_default | pugi::parse_declaration);
  if (parsed) {
    doc.save_file(path.c_str(), "\t", pugi::format_default, pugi::encoding_utf8);
    return;
  }
  // Line and position of the failure, both 1-based, as a parser reports them.
  const std::size_t offset = std::min<std::size_t>(static_cast<std::size_t>(parsed.offset), xmlText.size());
  long line = 1;
  std::size_t lineStart = 0;
  for (std::size_t i = 0; i < offset; ++i) {
    if (xmlText[i] == '\n') {
      ++line;
      lineStart = i + 1;
    }
  }
  const long position = static_cast<long>(offset - lineStart) + 1;
  WriteTextFile(path, "SaveXML: " + std::string(parsed.description()) + " (" + std::to_string(line) +
                          " - " + std::to_string(position) + ")");
  if (log) {
    const auto lineEnd = xmlText.find('\n', lineStart);
    log->WriteLog(xmlText.substr(lineStart, lineEnd == std::string_view::npos ? std::string_view::npos
                                                                             : lineEnd - lineStart));
  }
}

bool ReadFileBytes(const std::string& path, std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  std::uint8_t buffer[1 << 16];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
  const bool ok = !std::ferror(file);
  std::fclose(file);
  return ok;
}

bool ReadFullyAt(int fd, std::uint64_t offset, std::size_t count, std::uint8_t* out) {
  std::size_t done = 0;
  while (done < count) {
    const ssize_t got = ::pread(fd, out + done, count - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

std::string WriteFileAtomic(const std::string& path, std::string_view bytes) {
  std::string temp = TemporaryPatternFor(path);
  const int fd = mkstemp(temp.data());
  if (fd < 0) return "Cannot create " + path + ": " + std::strerror(errno);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (wrote < 0) {
      if (errno == EINTR) continue;
      const std::string reason = std::strerror(errno);
      ::close(fd);
      ::unlink(temp.c_str());
      return "Cannot write " + path + ": " + reason;
    }
    done += static_cast<std::size_t>(wrote);
  }
  // Files we write are the user's: readable by the user and the group like any new file.
  ::fchmod(fd, static_cast<mode_t>(0666u & ~CurrentUmask()));
  if (::fsync(fd) != 0 || ::close(fd) != 0) {
    const std::string reason = std::strerror(errno);
    ::unlink(temp.c_str());
    return "Cannot write " + path + ": " + reason;
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    const std::string reason = std::strerror(errno);
    ::unlink(temp.c_str());
    return "Cannot write " + path + ": " + reason;
  }
  return {};
}

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace vantrel::core
