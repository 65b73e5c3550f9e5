#include "browser/export_format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "core/text.h"

namespace vantrel::browser {

namespace {

struct FormatEntry {
  ExportFormat format;
  std::string_view name;
  std::string_view extension;
};

constexpr FormatEntry kFormats[] = {
    {ExportFormat::Mp4, "mp4", ".mp4"},  {ExportFormat::WebM, "webm", ".webm"}, {ExportFormat::Mkv, "mkv", ".mkv"},
    {ExportFormat::Gif, "gif", ".gif"},  {ExportFormat::Apng, "apng", ".apng"}, {ExportFormat::Png, "png", ".png"},
};

const FormatEntry& EntryFor(ExportFormat format) {
  for (const FormatEntry& entry : kFormats)
    if (entry.format == format) return entry;
  return kFormats[0];
}

// A non-negative decimal number ("2", "2.5"); false for anything else.
bool ParseSeconds(std::string_view text, double& out) {
  if (text.empty() || text.front() == '-' || text.front() == '+') return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out, std::chars_format::fixed);
  return ec == std::errc() && end == text.data() + text.size() && std::isfinite(out) && out >= 0;
}

bool ParseWhole(std::string_view text, long& out) {
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size() && out >= 0;
}

// "[[h:]m:]s[.fraction]": each part before the seconds a whole number.
bool ParseClock(std::string_view text, double& out) {
  double total = 0;
  int parts = 0;
  while (true) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) break;
    long whole = 0;
    if (!ParseWhole(text.substr(0, colon), whole) || ++parts > 2) return false;
    total = total * 60 + static_cast<double>(whole);
    text.remove_prefix(colon + 1);
  }
  double seconds = 0;
  if (!ParseSeconds(text, seconds) || (parts > 0 && seconds >= 60)) return false;
  out = total * 60 + seconds;
  return true;
}

// Where the pattern's frame number sits: the "%", the digits' width and the length of
// the whole "%0Nd"; false unless there is exactly one and every other "%" is "%%".
bool FindFrameNumber(std::string_view pattern, std::size_t& at, int& width, std::size_t& length) {
  int found = 0;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%') continue;
    if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    int digits = 0;
    if (j < pattern.size() && pattern[j] == '0') {
      ++j;
      if (j >= pattern.size() || pattern[j] < '1' || pattern[j] > '9') return false;
      digits = pattern[j] - '0';
      ++j;
    }
    if (j >= pattern.size() || pattern[j] != 'd') return false;
    ++found;
    at = i;
    width = digits;
    length = j + 1 - i;
    i = j;
  }
  return found == 1;
}

int Even(int side) { return std::max(2, side - side % 2); }

}  // namespace

bool ExportFormatFromName(std::string_view name, ExportFormat& format) {
  for (const FormatEntry& entry : kFormats) {
    if (core::EqualsNoCase(name, entry.name)) {
      format = entry.format;
      return true;
    }
  }
  return false;
}

bool ExportFormatFromTarget(std::string_view target, ExportFormat& format) {
  const std::size_t slash = target.find_last_of('/');
  const std::string_view name = slash == std::string_view::npos ? target : target.substr(slash + 1);
  const std::size_t dot = name.find_last_of('.');
  if (dot == std::string_view::npos) return false;
  const std::string_view extension = name.substr(dot);
  if (core::EqualsNoCase(extension, ".m4v")) {
    format = ExportFormat::Mp4;
    return true;
  }
  if (core::EqualsNoCase(extension, ".png")) {
    format = IsFramePattern(target) ? ExportFormat::Png : ExportFormat::Apng;
    return true;
  }
  for (const FormatEntry& entry : kFormats) {
    if (core::EqualsNoCase(extension, entry.extension)) {
      format = entry.format;
      return true;
    }
  }
  return false;
}

std::string_view ExportFormatName(ExportFormat format) { return EntryFor(format).name; }

std::string_view ExportExtension(ExportFormat format) { return EntryFor(format).extension; }

bool ExportHasSound(ExportFormat format) {
  return format == ExportFormat::Mp4 || format == ExportFormat::WebM || format == ExportFormat::Mkv;
}

bool ExportNeedsEvenSize(ExportFormat format) { return ExportHasSound(format); }

bool ExportQualityFromName(std::string_view name, ExportQuality& quality) {
  if (core::EqualsNoCase(name, "high")) quality = ExportQuality::High;
  else if (core::EqualsNoCase(name, "medium")) quality = ExportQuality::Medium;
  else if (core::EqualsNoCase(name, "low")) quality = ExportQuality::Low;
  else return false;
  return true;
}

long MoviePoint::FrameIndex(double rate) const {
  if (!isTime) return std::max(0L, frame - 1);
  return static_cast<long>(std::floor(seconds * rate + 1e-9));
}

double MoviePoint::Seconds(double rate) const {
  return isTime ? seconds : static_cast<double>(std::max(0L, frame - 1)) / rate;
}

bool ParseMoviePoint(std::string_view text, MoviePoint& point, std::string& why) {
  point = MoviePoint{};
  long frame = 0;
  if (ParseWhole(text, frame)) {
    if (frame < 1 || frame > (1L << 30)) {
      why = "a frame number counts from 1";
      return false;
    }
    point.set = true;
    point.frame = frame;
    return true;
  }
  double seconds = 0;
  const bool suffixed = !text.empty() && (text.back() == 's' || text.back() == 'S');
  const std::string_view body = suffixed ? text.substr(0, text.size() - 1) : text;
  const bool clock = body.find(':') != std::string_view::npos;
  if ((suffixed && !clock && ParseSeconds(body, seconds)) || (!suffixed && clock && ParseClock(body, seconds))) {
    if (seconds > 24 * 3600.0) {
      why = "a time is at most 24 hours";
      return false;
    }
    point.set = true;
    point.isTime = true;
    point.seconds = seconds;
    return true;
  }
  why = "'" + std::string(text) + "' is neither a frame number (120) nor a time (2.5s, 1:30)";
  return false;
}

bool ParseExportSize(std::string_view text, int& width, int& height) {
  const std::size_t x = text.find_first_of("xX");
  long w = 0, h = 0;
  if (x == std::string_view::npos || !ParseWhole(text.substr(0, x), w) || !ParseWhole(text.substr(x + 1), h)) return false;
  if (w < 1 || h < 1 || w > 16384 || h > 16384) return false;
  width = static_cast<int>(w);
  height = static_cast<int>(h);
  return true;
}

bool IsFramePattern(std::string_view pattern) {
  std::size_t at = 0, length = 0;
  int width = 0;
  return FindFrameNumber(pattern, at, width, length);
}

std::string FramePatternName(std::string_view pattern, long number) {
  std::size_t at = 0, length = 0;
  int width = 0;
  if (!FindFrameNumber(pattern, at, width, length)) return std::string(pattern);
  char digits[32];
  std::snprintf(digits, sizeof digits, "%0*ld", width, number);
  std::string name;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (i == at) {
      name += digits;
      i += length - 1;
    } else if (pattern[i] == '%') {
      name += '%';
      ++i;  // "%%"
    } else {
      name += pattern[i];
    }
  }
  return name;
}

ExportSize ResolveExportSize(int movieWidth, int movieHeight, int width, int height, double scale, bool even) {
  movieWidth = std::max(1, movieWidth);
  movieHeight = std::max(1, movieHeight);
  ExportSize size{movieWidth, movieHeight};
  if (width > 0 && height > 0) {
    size = {width, height};
  } else if (scale > 0) {
    size = {std::max(1, static_cast<int>(std::lround(movieWidth * scale))),
            std::max(1, static_cast<int>(std::lround(movieHeight * scale)))};
  }
  if (even) size = {Even(size.width), Even(size.height)};
  return size;
}

int AspectSide(int side, int movieSide, int movieOtherSide, bool even) {
  if (movieSide < 1 || movieOtherSide < 1) return std::max(1, side);
  const double exact = static_cast<double>(side) * movieOtherSide / movieSide;
  if (even) return std::max(2, 2 * static_cast<int>(std::lround(exact / 2)));
  return std::max(1, static_cast<int>(std::lround(exact)));
}

namespace {
constexpr std::string_view kSequenceName = "/%05d.png";
}  // namespace

std::string ExportTargetFor(const std::string& folder, const std::string& title, ExportFormat format) {
  std::string base = folder;
  if (!base.empty() && base.back() != '/') base += '/';
  base += title.empty() ? std::string("Vantrel") : title;
  return format == ExportFormat::Png ? base + std::string(kSequenceName) : base + std::string(ExportExtension(format));
}

std::string RetargetExport(const std::string& target, ExportFormat format) {
  std::string base = target;
  if (base.size() > kSequenceName.size() && base.ends_with(kSequenceName)) {
    base.resize(base.size() - kSequenceName.size());
  } else {
    const std::size_t slash = base.find_last_of('/');
    const std::size_t dot = base.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1)) base.resize(dot);
  }
  return format == ExportFormat::Png ? base + std::string(kSequenceName) : base + std::string(ExportExtension(format));
}

}  // namespace vantrel::browser
