#include "flash/script/charsets.h"

#include <cctype>
#include <cerrno>

#include <iconv.h>

namespace vantrel::flash::script {

namespace {

bool IsUtf8(std::string_view charset) {
  std::string name;
  for (const char c : charset)
    if (c != '-' && c != '_') name.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  return name == "utf8";
}

// Converts with an iconv descriptor; bad input is replaced and skipped (skip bytes).
std::optional<std::string> Convert(std::string_view input, const char* to, const char* from, std::string_view replacement,
                                   bool skipUtf8Character) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out;
  char buffer[4096];
  char* in = const_cast<char*>(input.data());
  std::size_t inLeft = input.size();
  while (inLeft > 0) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    if (result != static_cast<std::size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    // A sequence the sets cannot take (or cut short at the end): one character is left out.
    out.append(replacement);
    std::size_t skip = 1;
    if (skipUtf8Character) {
      const auto lead = static_cast<unsigned char>(*in);
      skip = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    }
    skip = std::min(skip, inLeft);
    in += skip;
    inLeft -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  char* outPtr = buffer;
  std::size_t outLeft = sizeof buffer;
  iconv(cd, nullptr, nullptr, &outPtr, &outLeft);  // a stateful set's closing sequence
  out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
  iconv_close(cd);
  return out;
}

}  // namespace

std::optional<std::string> EncodeInCharset(std::string_view utf8, std::string_view charset) {
  if (charset.empty() || IsUtf8(charset)) return std::nullopt;
  return Convert(utf8, std::string(charset).c_str(), "UTF-8", "?", true);
}

std::optional<std::string> DecodeFromCharset(std::string_view bytes, std::string_view charset) {
  if (charset.empty() || IsUtf8(charset)) return std::nullopt;
  return Convert(bytes, "UTF-8", std::string(charset).c_str(), "\xEF\xBF\xBD", false);
}

}  // namespace vantrel::flash::script
