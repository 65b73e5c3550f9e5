// The movie facts as the information dialog shows them, made from a media record alone
// (no widgets, no file access), and the number texts they use.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "media/media_record.h"

namespace vantrel::media {

// Looks up a language text by key ("frmInfo/strOfOrig") with a default. An empty
// lookup gives the defaults (English).
using TextLookup = std::function<std::string(std::string_view key, std::string_view defaultText)>;

// A number as the program writes numbers into texts: up to 15 significant digits, no
// trailing zeros ("12", "12.5", "38.5", "1E+16").
std::string NumberText(double value);

// A byte count in the shell's short style: "532 bytes", "10.0 KB", "1.21 MB", "0.97 MB"
// (three significant digits, truncated, 1024-based units).
std::string FormatByteSize(double bytes);

// "6 \"MX\"", "7 \"MX 2004\"", else the number ("8").
std::string VersionName(std::uint8_t version);

// "Sorenson H.263" (2), "Screen Video" (3), "On2 Truemotion VP6" (4), "Screen Video 2"
// (6); "" for any other codec.
std::string CodecName(std::uint8_t codec);

// What the player and the browser say of a movie whose data ends early (MovieEndsEarly):
// "The movie is incomplete: its data ends after 1.21 MB of 2.40 MB."
std::string IncompleteMovieText(double available, double claimed, const TextLookup& lookup = {});
// The same for a video (VideoEndsEarly), in minutes and seconds: "The video is
// incomplete: its data ends after 0:01 of 0:03." (claimed 0: "... ends after 0:01.").
std::string IncompleteVideoText(double availableSeconds, double claimedSeconds, const TextLookup& lookup = {});

// The value texts of the information dialog, each named for its label. A value that
// cannot be computed (a rate or length with a zero frame rate or count) keeps the
// label's default text.
struct MovieInfoTexts {
  std::string TitleSummary;     // Title, or FileName when there is none
  std::string SeriesSummary;    // Description
  std::string TypeValue;        // "Flash Video (FLV)", "Flash Projector (EXE)", "Flash Movie (SWF)"
  std::string SizeValue;        // FormatByteSize(MovieSize)
  std::string CompressionValue; // "38.5% of Original", a codec name, or "None"
  std::string VersionValue;     // VersionName(Version)
  std::string BitrateValue;     // "400 kbps (video) + 96 kbps (audio)", "50 kbps (average)"
  std::string FrameValue;       // "550x400, 12 fps" (default "0 x 0")
  std::string TimeValue;        // "240 (0:20)" (default "0:00")
  std::string TitleText;        // Title
  std::string DescriptionText;  // Description
};

// Fills the texts from record, translating through lookup.
MovieInfoTexts MovieInfoTextsFor(const MediaRecord& record, const TextLookup& lookup = {});

}  // namespace vantrel::media
