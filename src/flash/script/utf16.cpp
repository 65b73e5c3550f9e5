#include "flash/script/utf16.h"

#include <cmath>

namespace vantrel::flash::script {

namespace {

bool IsAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

}  // namespace

std::u16string ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    char32_t cp = 0xFFFD;
    std::size_t n = 1;
    if (c < 0x80) {
      cp = c;
    } else if ((c >> 5) == 6 && i + 1 < text.size()) {
      cp = ((c & 0x1F) << 6) | (text[i + 1] & 0x3F);
      n = 2;
    } else if ((c >> 4) == 14 && i + 2 < text.size()) {
      cp = ((c & 0x0F) << 12) | ((text[i + 1] & 0x3F) << 6) | (text[i + 2] & 0x3F);
      n = 3;
    } else if ((c >> 3) == 30 && i + 3 < text.size()) {
      cp = ((c & 0x07) << 18) | ((text[i + 1] & 0x3F) << 12) | ((text[i + 2] & 0x3F) << 6) | (text[i + 3] & 0x3F);
      n = 4;
    }
    i += n;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::string FromUtf16(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

std::size_t Utf16Length(std::string_view text) {
  if (IsAscii(text)) return text.size();
  return ToUtf16(text).size();
}

bool CodePointLess(std::string_view a, std::string_view b) {
  if (IsAscii(a) && IsAscii(b)) return a < b;
  // A character beyond U+FFFF sorts after U+FF61, unlike its surrogate pair: compare
  // whole code points (pairs written as two separate sequences count as one).
  const std::u16string x = ToUtf16(a), y = ToUtf16(b);
  const auto next = [](const std::u16string& s, std::size_t& i) -> std::uint32_t {
    const std::uint32_t c = s[i++];
    if (c >= 0xD800 && c < 0xDC00 && i < s.size() && s[i] >= 0xDC00 && s[i] < 0xE000)
      return 0x10000 + ((c - 0xD800) << 10) + (s[i++] - 0xDC00);
    return c;
  };
  std::size_t i = 0, j = 0;
  while (i < x.size() && j < y.size()) {
    const std::uint32_t p = next(x, i), q = next(y, j);
    if (p != q) return p < q;
  }
  return i == x.size() && j < y.size();
}

std::string Utf16Extract(std::string_view text, double index, double count) {
  const std::u16string units = ToUtf16(text);
  // Index and count are 32-bit integers: larger numbers wrap around.
  const auto int32 = [](double v) -> double {
    if (!std::isfinite(v)) return 0;
    const double m = std::fmod(std::trunc(v), 4294967296.0);
    const double u = m < 0 ? m + 4294967296.0 : m;
    return u >= 2147483648.0 ? u - 4294967296.0 : u;
  };
  double start = int32(index) - 1;
  if (start < 0) start = 0;
  if (start >= static_cast<double>(units.size())) return "";
  double n = int32(count);
  if (n < 0 || start + n > static_cast<double>(units.size())) n = static_cast<double>(units.size()) - start;
  return FromUtf16(std::u16string_view(units).substr(static_cast<std::size_t>(start), static_cast<std::size_t>(n)));
}

std::uint32_t FirstCodeUnit(std::string_view text) {
  if (text.empty()) return 0;
  if (static_cast<unsigned char>(text[0]) < 0x80) return static_cast<unsigned char>(text[0]);
  const std::u16string units = ToUtf16(text.substr(0, 4));
  if (units.empty()) return 0;
  // A character beyond U+FFFF has no single code: the player answers U+FFFD.
  if (units[0] >= 0xD800 && units[0] < 0xDC00 && units.size() > 1 && units[1] >= 0xDC00 && units[1] < 0xE000) return 0xFFFD;
  return units[0];
}

std::string CodeUnitToString(std::uint32_t unit) {
  // chr() keeps the low 16 bits; half a surrogate pair alone becomes U+FFFD.
  unit &= 0xFFFF;
  if (unit == 0) return "";
  if (unit < 0x80) return std::string(1, static_cast<char>(unit));
  if (unit >= 0xD800 && unit < 0xE000) unit = 0xFFFD;
  const char16_t one = static_cast<char16_t>(unit);
  return FromUtf16(std::u16string_view(&one, 1));
}

std::string JoinUtf16(std::string_view a, std::string_view b) {
  // A lone surrogate is kept as its own three-byte sequence: ED A0-AF for a high half,
  // ED B0-BF for a low one.
  const auto byte = [](std::string_view s, std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const bool pairs = a.size() >= 3 && b.size() >= 3 && byte(a, a.size() - 3) == 0xED &&
                     (byte(a, a.size() - 2) & 0xF0) == 0xA0 && byte(b, 0) == 0xED && (byte(b, 1) & 0xF0) == 0xB0;
  std::string out;
  if (!pairs) {
    out.reserve(a.size() + b.size());
    out.append(a).append(b);
    return out;
  }
  out.append(a.substr(0, a.size() - 3));
  out += FromUtf16(ToUtf16(a.substr(a.size() - 3)) + ToUtf16(b.substr(0, 3)));
  out.append(b.substr(3));
  return out;
}

std::string PrintableUtf8(std::string_view text) {
  if (text.find('\xED') == std::string_view::npos) return std::string(text);
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (static_cast<unsigned char>(text[i]) == 0xED && i + 2 < text.size() &&
        static_cast<unsigned char>(text[i + 1]) >= 0xA0 && static_cast<unsigned char>(text[i + 1]) <= 0xBF) {
      out += "\xEF\xBF\xBD";
      i += 2;
      continue;
    }
    out += text[i];
  }
  return out;
}

std::string UrlDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out.push_back(' ');
    } else if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2])));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

}  // namespace vantrel::flash::script
