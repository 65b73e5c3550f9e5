// Parses arbitrary bytes as a language document and looks up a key taken from the
// input's first line, the way every window's texts are looked up.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <pugixml.hpp>

#include "core/language.h"
#include "core/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const auto newline = input.find('\n');
  const std::string_view key = input.substr(0, newline == std::string_view::npos ? 0 : newline);
  const std::string_view xml = newline == std::string_view::npos ? input : input.substr(newline + 1);
  pugi::xml_document document;
  document.load_buffer(xml.data(), xml.size());
  const std::string text = vantrel::core::GetNodeValue(
      document, "LANG/" + vantrel::core::UpperAscii(key) + "/@text", "default");
  if (text.empty()) __builtin_trap();  // the lookup never gives an empty text
  vantrel::core::EscapeText(text);
  vantrel::core::EscapeText(input);
  return 0;
}
