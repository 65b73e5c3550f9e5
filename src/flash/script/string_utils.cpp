#include "flash/script/string_utils.h"

#include <locale.h>
#include <wctype.h>

#include <QChar>

#include <algorithm>

#include "core/text.h"

namespace vantrel::flash::script {

namespace {

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Decodes one character at text[i], advancing i. Sequences that are no valid UTF-8 give
// their first byte as a Latin-1 character; a lone surrogate, which strings keep as its
// own three-byte sequence, gives that UTF-16 unit.
std::uint32_t Decode(std::string_view text, std::size_t& i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) {
    ++i;
    return lead;
  }
  int extra = 0;
  std::uint32_t code = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2;
    code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3;
    code = lead & 0x07;
  } else {
    ++i;
    return lead;
  }
  if (i + extra >= text.size()) {
    ++i;
    return lead;
  }
  for (int k = 1; k <= extra; ++k) {
    const unsigned char b = byte(i + k);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return lead;
    }
    code = (code << 6) | (b & 0x3F);
  }
  const std::uint32_t minimum[] = {0, 0x80, 0x800, 0x10000};
  if (code < minimum[extra] || code > 0x10FFFF) {
    ++i;
    return lead;
  }
  i += extra + 1;
  return code;
}

locale_t UnicodeLocale() {
  static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return locale;
}

// The player's case tables are those of Unicode 5.0: a character assigned later, or whose
// other case was assigned later (the Georgian letters of 6.1, the Mtavruli capitals of 11.0),
// keeps its case. Where the player's tables differ from Unicode's own, the difference wins.
bool InPlayerTables(char32_t code) {
  const QChar::UnicodeVersion version = QChar::unicodeVersion(code);
  return version != QChar::Unicode_Unassigned && version <= QChar::Unicode_5_0;
}

char16_t MapUnit(char16_t unit, bool upper) {
  if (unit < 0x80) {
    if (upper && unit >= 'a' && unit <= 'z') return static_cast<char16_t>(unit - 32);
    if (!upper && unit >= 'A' && unit <= 'Z') return static_cast<char16_t>(unit + 32);
    return unit;
  }
  if (unit >= 0xD800 && unit <= 0xDFFF) return unit;
  if (upper) {
    if (unit == 0x00B5) return unit;    // the micro sign has no capital
    if (unit == 0x03C2) return 0x03A2;  // final sigma
    if (unit == 0x03F2) return 0x03A3;  // lunate sigma
  } else {
    if (unit == 0x03A2) return 0x03C2;
    if (unit >= 0x10A0 && unit <= 0x10C5) return static_cast<char16_t>(unit + 0x30);  // Georgian capitals
  }
  if (!InPlayerTables(unit)) return unit;
  // The C library's simple one-to-one mappings (QChar leaves out those that have a longer
  // special casing, such as the Greek letters with iota subscript).
  const locale_t locale = UnicodeLocale();
  if (!locale) return unit;
  const wint_t mapped = upper ? towupper_l(unit, locale) : towlower_l(unit, locale);
  // A mapping that leaves the basic plane would change the length; keep the unit.
  if (mapped > 0xFFFF || !InPlayerTables(mapped)) return unit;
  return static_cast<char16_t>(mapped);
}

std::string MapText(std::string_view utf8, bool upper) {
  if (IsAscii(utf8)) {
    std::string out(utf8);
    for (char& c : out) {
      if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
      if (!upper && c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    return out;
  }
  std::u16string units = Utf16Units(utf8);
  for (char16_t& u : units) u = MapUnit(u, upper);
  return Utf8FromUnits(units);
}

}  // namespace

void AppendCodePoint(std::string& out, std::uint32_t code) { core::AppendUtf8(out, code); }

std::string Utf8FromWindows1252(std::string_view text) {
  if (IsAscii(text)) return std::string(text);
  // 0x80-0x9F hold punctuation and a few letters; the unused five stay as they are.
  static constexpr std::uint16_t kHigh[32] = {
      0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
  std::string out;
  out.reserve(text.size() * 2);
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    core::AppendUtf8(out, byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : byte);
  }
  return out;
}

std::u16string Utf16Units(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    const std::uint32_t code = Decode(utf8, i);
    if (code >= 0x10000) {
      const std::uint32_t v = code - 0x10000;
      out += static_cast<char16_t>(0xD800 | (v >> 10));
      out += static_cast<char16_t>(0xDC00 | (v & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
  }
  return out;
}

std::string Utf8FromUnits(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    const char16_t unit = utf16[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
      const std::uint32_t code = 0x10000 + ((static_cast<std::uint32_t>(unit) - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      AppendCodePoint(out, code);
      ++i;
      continue;
    }
    AppendCodePoint(out, unit);  // half a pair alone stays what it is
  }
  return out;
}

std::size_t Utf16UnitCount(std::string_view utf8) {
  std::size_t count = 0;
  std::size_t i = 0;
  while (i < utf8.size()) {
    if (static_cast<unsigned char>(utf8[i]) < 0x80) {
      ++i;
      ++count;
      continue;
    }
    count += Decode(utf8, i) >= 0x10000 ? 2 : 1;
  }
  return count;
}

std::string Utf16Substring(std::string_view utf8, std::size_t start, std::size_t count) {
  if (IsAscii(utf8)) {
    if (start >= utf8.size()) return {};
    return std::string(utf8.substr(start, count));
  }
  const std::u16string units = Utf16Units(utf8);
  if (start >= units.size()) return {};
  return Utf8FromUnits(std::u16string_view(units).substr(start, count));
}

int Utf16UnitAt(std::string_view utf8, std::size_t index) {
  if (IsAscii(utf8)) return index < utf8.size() ? static_cast<unsigned char>(utf8[index]) : -1;
  const std::u16string units = Utf16Units(utf8);
  return index < units.size() ? units[index] : -1;
}

long Utf16IndexOf(std::string_view haystack, std::string_view needle, std::size_t from) {
  if (IsAscii(haystack) && IsAscii(needle)) {
    if (from > haystack.size()) return needle.empty() ? -1 : -1;
    const std::size_t at = haystack.find(needle, from);
    return at == std::string_view::npos ? -1 : static_cast<long>(at);
  }
  const std::u16string h = Utf16Units(haystack);
  const std::u16string n = Utf16Units(needle);
  if (from > h.size()) return -1;
  const std::size_t at = h.find(n, from);
  return at == std::u16string::npos ? -1 : static_cast<long>(at);
}

long Utf16LastIndexOf(std::string_view haystack, std::string_view needle, std::size_t from) {
  const std::u16string h = Utf16Units(haystack);
  const std::u16string n = Utf16Units(needle);
  const std::size_t at = h.rfind(n, from);
  return at == std::u16string::npos ? -1 : static_cast<long>(at);
}

char16_t LowerUnit(char16_t unit) { return MapUnit(unit, false); }

std::string ToUpperText(std::string_view utf8) { return MapText(utf8, true); }
std::string ToLowerText(std::string_view utf8) { return MapText(utf8, false); }

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (IsAscii(a) && IsAscii(b)) return EqualIgnoringAsciiCase(a, b);
  const std::u16string x = Utf16Units(a), y = Utf16Units(b);
  if (x.size() != y.size()) return false;
  const auto fold = [](char16_t unit) -> char16_t {
    if (unit < 0x80) return MapUnit(unit, false);
    if (QChar::unicodeVersion(char32_t{unit}) > QChar::Unicode_3_0) return unit;
    const char16_t lower = MapUnit(unit, false);
    return QChar::unicodeVersion(char32_t{lower}) <= QChar::Unicode_3_0 ? lower : unit;
  };
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (x[i] != y[i] && fold(x[i]) != fold(y[i])) return false;
  }
  return true;
}

int CompareUtf16(std::string_view a, std::string_view b, bool ignoreCase) {
  if (!ignoreCase && IsAscii(a) && IsAscii(b)) {
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  const std::u16string x = Utf16Units(a);
  const std::u16string y = Utf16Units(b);
  const std::size_t n = std::min(x.size(), y.size());
  for (std::size_t i = 0; i < n; ++i) {
    char16_t p = x[i], q = y[i];
    if (ignoreCase) {
      p = MapUnit(p, false);
      q = MapUnit(q, false);
    }
    if (p != q) return p < q ? -1 : 1;
  }
  if (x.size() == y.size()) return 0;
  return x.size() < y.size() ? -1 : 1;
}

std::string PercentEncode(std::string_view text, std::string_view alsoKept) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
        (c != 0 && alsoKept.find(ch) != std::string_view::npos)) {
      out.push_back(ch);
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
  }
  return out;
}

}  // namespace vantrel::flash::script
