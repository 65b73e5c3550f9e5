#include "media/movie_facts.h"

#include <cmath>
#include <cstdio>
#include <optional>

#include "media/rounding.h"

namespace vantrel::media {

namespace {

std::string Lookup(const TextLookup& lookup, std::string_view key, std::string_view defaultText) {
  return lookup ? lookup(key, defaultText) : std::string(defaultText);
}

// The length text m:ss of a number of seconds; nullopt when it cannot be computed.
std::optional<std::string> LengthText(double seconds) {
  const auto whole = RoundTo<std::int32_t>(seconds);
  if (!whole) return std::nullopt;
  const std::int32_t s = *whole % 60;
  const auto m = RoundTo<std::int32_t>((seconds - s) / 60);
  if (!m) return std::nullopt;
  return std::to_string(*m) + ":" + (s < 10 ? "0" : "") + std::to_string(s);
}

}  // namespace

std::string NumberText(double value) {
  if (std::isnan(value)) return "NaN";
  if (value == 0) return "0";
  char text[40];
  if (value == std::trunc(value) && std::fabs(value) < 1e15) {
    std::snprintf(text, sizeof text, "%.0f", value);
    return text;
  }
  std::snprintf(text, sizeof text, "%.15G", value);
  std::string result = text;
  // "%G" writes "1E+16" for large numbers as wanted, but pads the exponent ("1E-05").
  const std::size_t e = result.find('E');
  if (e != std::string::npos && e + 2 < result.size() && result[e + 2] == '0') result.erase(e + 2, 1);
  return result;
}

std::string FormatByteSize(double bytes) {
  if (!(bytes >= 1024)) return NumberText(std::trunc(bytes)) + " bytes";
  static constexpr const char* kUnits[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
  double value = bytes / 1024;
  std::size_t unit = 0;
  while (value >= 1000 && unit + 1 < std::size(kUnits)) {
    value /= 1024;
    ++unit;
  }
  const int decimals = value < 10 ? 2 : value < 100 ? 1 : 0;
  const double scale = std::pow(10.0, decimals);
  // A hair over the scaled value so that 1.21 stored as 1.2099999 still truncates to 1.21.
  const double truncated = std::floor(value * scale + 1e-9) / scale;
  char text[48];
  std::snprintf(text, sizeof text, "%.*f %s", decimals, truncated, kUnits[unit]);
  return text;
}

std::string VersionName(std::uint8_t version) {
  if (version == 6) return "6 \"MX\"";
  if (version == 7) return "7 \"MX 2004\"";
  return std::to_string(version);
}

std::string CodecName(std::uint8_t codec) {
  switch (codec) {
    case 2: return "Sorenson H.263";
    case 3: return "Screen Video";
    case 4: return "On2 Truemotion VP6";
    case 6: return "Screen Video 2";
    default: return {};
  }
}

std::string IncompleteMovieText(double available, double claimed, const TextLookup& lookup) {
  return Lookup(lookup, "Player/strIncomplete", "The movie is incomplete: its data ends after") + " " +
         FormatByteSize(available) + " " + Lookup(lookup, "Player/strIncompleteOf", "of") + " " + FormatByteSize(claimed) +
         ".";
}

std::string IncompleteVideoText(double availableSeconds, double claimedSeconds, const TextLookup& lookup) {
  const auto clock = [](double seconds) { return LengthText(seconds).value_or("0:00"); };
  std::string text = Lookup(lookup, "Player/strIncompleteVideo", "The video is incomplete: its data ends after") + " " +
                     clock(availableSeconds);
  if (claimedSeconds > 0) text += " " + Lookup(lookup, "Player/strIncompleteOf", "of") + " " + clock(claimedSeconds);
  return text + ".";
}

MovieInfoTexts MovieInfoTextsFor(const MediaRecord& record, const TextLookup& lookup) {
  MovieInfoTexts texts;
  texts.CompressionValue = Lookup(lookup, "frmInfo/lblNone", "None");
  texts.FrameValue = "0 x 0";
  texts.TimeValue = "0:00";

  texts.TitleSummary = record.Title.empty() ? record.FileName : record.Title;
  texts.SeriesSummary = record.Description;
  if (record.IsVideo) texts.TypeValue = Lookup(lookup, "Player/mnuShowVideo", "Flash Video (FLV)");
  else if (record.IsProjector) texts.TypeValue = Lookup(lookup, "Player/mnuShowProjector", "Flash Projector (EXE)");
  else texts.TypeValue = Lookup(lookup, "Player/mnuShowMovie", "Flash Movie (SWF)");
  texts.SizeValue = FormatByteSize(record.MovieSize);
  if (record.IsCompressed && record.MovieSize != 0) {
    texts.CompressionValue = NumberText(RoundDecimals(record.FileSize / record.MovieSize * 100, 1)) +
                             Lookup(lookup, "frmInfo/strOfOrig", "% of Original");
  }
  texts.VersionValue = VersionName(record.Version);
  if (const std::string codec = CodecName(record.VideoCodec); !codec.empty()) texts.CompressionValue = codec;

  const double rate = record.FrameRate;
  if (record.VideoRate != 0) {
    texts.BitrateValue = std::to_string(record.VideoRate) + " kbps";
    if (record.AudioRate != 0) {
      texts.BitrateValue = std::to_string(record.VideoRate) + " kbps (" + Lookup(lookup, "frmInfo/txtVideo", "video") +
                           ") + " + std::to_string(record.AudioRate) + " kbps (" +
                           Lookup(lookup, "frmInfo/txtAudio", "audio") + ")";
    }
  } else if (record.FrameCount != 0 && rate != 0) {
    const double perSecond = record.MovieSize / (record.FrameCount / rate) / 1000;
    texts.BitrateValue =
        NumberText(RoundDecimals(perSecond, 1)) + " kbps (" + Lookup(lookup, "frmInfo/txtAverage", "average") + ")";
  }

  texts.FrameValue = std::to_string(record.Width) + "x" + std::to_string(record.Height) + ", " +
                     NumberText(RoundDecimals(rate, 1)) + " fps";
  if (rate != 0) {
    if (const auto length = LengthText(record.FrameCount / rate))
      texts.TimeValue = std::to_string(record.FrameCount) + " (" + *length + ")";
  }
  texts.TitleText = record.Title;
  texts.DescriptionText = record.Description;
  return texts;
}

}  // namespace vantrel::media
