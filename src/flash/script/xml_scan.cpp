#include "flash/script/xml_scan.h"

#include <algorithm>
#include <cstdint>

#include "flash/script/utf16.h"

namespace vantrel::flash::script {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

class Scanner {
 public:
  Scanner(std::string_view text, XmlSink& sink) : text_(text), sink_(sink) {}

  XmlScan Run() {
    XmlScan scan;
    while (pos_ < text_.size()) {
      const std::size_t lt = text_.find('<', pos_);
      if (lt != pos_) {
        std::string text = XmlUnescape(text_.substr(pos_, lt == std::string_view::npos ? std::string_view::npos : lt - pos_));
        if (!text.empty()) sink_.Text(std::move(text), false);
        if (lt == std::string_view::npos) break;
        pos_ = lt;
      }
      scan.status = Markup(scan);
      if (scan.status != kXmlOk) return scan;
    }
    scan.status = sink_.InElement() ? kXmlStartWithoutEnd : kXmlOk;
    return scan;
  }

 private:
  bool StartsWith(std::string_view prefix) const { return text_.substr(pos_, prefix.size()) == prefix; }

  int Markup(XmlScan& scan) {
    if (StartsWith("<!--")) {
      const std::size_t end = text_.find("-->", pos_ + 4);
      if (end == std::string_view::npos) return kXmlCommentOpen;
      pos_ = end + 3;
      return kXmlOk;
    }
    if (StartsWith("<![CDATA[")) {
      const std::size_t end = text_.find("]]>", pos_ + 9);
      if (end == std::string_view::npos) return kXmlCdataOpen;
      const std::string_view content = text_.substr(pos_ + 9, end - pos_ - 9);
      sink_.Text(std::string(content), true);
      pos_ = end + 3;
      return kXmlOk;
    }
    if (StartsWith("<?")) {
      const std::size_t end = text_.find("?>", pos_ + 2);
      if (end == std::string_view::npos) return kXmlDeclarationOpen;
      scan.xmlDecl += text_.substr(pos_, end + 2 - pos_);
      pos_ = end + 2;
      return kXmlOk;
    }
    if (StartsWith("<!")) {
      // A declaration may hold an internal subset in brackets.
      int brackets = 0;
      std::size_t i = pos_ + 2;
      for (; i < text_.size(); ++i) {
        if (text_[i] == '[') ++brackets;
        else if (text_[i] == ']') --brackets;
        else if (text_[i] == '>' && brackets <= 0) break;
      }
      if (i >= text_.size()) return kXmlDoctypeOpen;
      scan.docTypeDecl = std::string(text_.substr(pos_, i + 1 - pos_));
      pos_ = i + 1;
      return kXmlOk;
    }
    if (StartsWith("</")) {
      const std::size_t end = text_.find('>', pos_ + 2);
      if (end == std::string_view::npos) return kXmlMalformedElement;
      std::string_view name = text_.substr(pos_ + 2, end - pos_ - 2);
      while (!name.empty() && IsSpace(name.back())) name.remove_suffix(1);
      pos_ = end + 1;
      if (!sink_.InElement()) return kXmlEndWithoutStart;
      return sink_.Close(name) ? kXmlOk : kXmlStartWithoutEnd;
    }
    return StartTag();
  }

  int StartTag() {
    std::size_t i = pos_ + 1;
    const std::size_t nameStart = i;
    while (i < text_.size() && !IsSpace(text_[i]) && text_[i] != '>' && text_[i] != '/') ++i;
    if (i >= text_.size() || i == nameStart) return kXmlMalformedElement;
    const std::string_view name = text_.substr(nameStart, i - nameStart);
    std::vector<std::pair<std::string_view, std::string>> attributes;
    while (true) {
      while (i < text_.size() && IsSpace(text_[i])) ++i;
      if (i >= text_.size()) return kXmlMalformedElement;
      if (text_[i] == '>') {
        pos_ = i + 1;
        sink_.Open(name, attributes, false);
        return kXmlOk;
      }
      if (text_[i] == '/') {
        if (i + 1 >= text_.size() || text_[i + 1] != '>') return kXmlMalformedElement;
        pos_ = i + 2;
        sink_.Open(name, attributes, true);
        return kXmlOk;
      }
      const std::size_t attrStart = i;
      while (i < text_.size() && !IsSpace(text_[i]) && text_[i] != '=' && text_[i] != '>' && text_[i] != '/') ++i;
      const std::string_view attrName = text_.substr(attrStart, i - attrStart);
      while (i < text_.size() && IsSpace(text_[i])) ++i;
      if (attrName.empty() || i >= text_.size() || text_[i] != '=') return kXmlMalformedElement;
      ++i;
      while (i < text_.size() && IsSpace(text_[i])) ++i;
      if (i >= text_.size() || (text_[i] != '"' && text_[i] != '\'')) return kXmlMalformedElement;
      const char quote = text_[i];
      const std::size_t close = text_.find(quote, i + 1);
      if (close == std::string_view::npos) return kXmlAttributeOpen;
      const bool repeated =
          std::any_of(attributes.begin(), attributes.end(), [&](const auto& a) { return a.first == attrName; });
      if (!repeated) attributes.emplace_back(attrName, XmlUnescape(text_.substr(i + 1, close - i - 1)));
      i = close + 1;
    }
  }

  std::string_view text_;
  XmlSink& sink_;
  std::size_t pos_ = 0;
};

}  // namespace

XmlScan ScanXml(std::string_view text, XmlSink& sink) { return Scanner(text, sink).Run(); }

// Replaces the five named entities and numeric references; anything else that starts
// with '&' stays as it stands.
std::string XmlUnescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      out.push_back(text[i]);
      continue;
    }
    const std::size_t semicolon = text.find(';', i + 1);
    if (semicolon == std::string_view::npos || semicolon - i > 12) {
      out.push_back('&');
      continue;
    }
    const std::string_view entity = text.substr(i + 1, semicolon - i - 1);
    std::string replacement;
    if (entity == "amp") replacement = "&";
    else if (entity == "lt") replacement = "<";
    else if (entity == "gt") replacement = ">";
    else if (entity == "quot") replacement = "\"";
    else if (entity == "apos") replacement = "'";
    else if (entity.size() > 1 && entity[0] == '#') {
      const bool hex = entity[1] == 'x' || entity[1] == 'X';
      const std::string_view digits = entity.substr(hex ? 2 : 1);
      std::uint32_t code = 0;
      bool valid = !digits.empty();
      for (const char c : digits) {
        const int d = (c >= '0' && c <= '9')               ? c - '0'
                      : hex && (c >= 'a' && c <= 'f')      ? c - 'a' + 10
                      : hex && (c >= 'A' && c <= 'F')      ? c - 'A' + 10
                                                           : -1;
        if (d < 0 || code > 0x10FFFF) {
          valid = false;
          break;
        }
        code = code * (hex ? 16 : 10) + static_cast<std::uint32_t>(d);
      }
      if (valid && code > 0 && code <= 0x10FFFF) {
        std::u16string units;
        if (code > 0xFFFF) {
          units = {static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)), static_cast<char16_t>(0xDC00 + (code & 0x3FF))};
        } else {
          units = {static_cast<char16_t>(code)};
        }
        replacement = FromUtf16(units);
      }
    }
    if (replacement.empty()) {
      out.push_back('&');
      continue;
    }
    out += replacement;
    i = semicolon;
  }
  return out;
}

void AppendXmlEscaped(std::string& out, std::string_view text) {
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out.push_back(c);
    }
  }
}

bool XmlAllSpace(std::string_view text) { return std::all_of(text.begin(), text.end(), IsSpace); }

}  // namespace vantrel::flash::script
