// What a video export writes and the words its settings are given in: the formats
// (by name or by the target's extension), the encoding qualities, points of a movie
// given as a frame or a time, picture sizes, and the numbered names of a PNG sequence.
// No Qt and no engine: the command line and the dialog check their input with these.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel::browser {

enum class ExportFormat : std::uint8_t { Mp4, WebM, Mkv, Gif, Apng, Png };
enum class ExportQuality : std::uint8_t { High, Medium, Low };

// "mp4", "webm", "mkv", "gif", "apng", "png" (any case); false for other names.
bool ExportFormatFromName(std::string_view name, ExportFormat& format);
// The format a target names by its extension: .mp4/.m4v, .webm, .mkv, .gif, .apng, and
// .png (a sequence when the name holds a frame-number pattern, else an animated PNG).
// False when the extension is none of these.
bool ExportFormatFromTarget(std::string_view target, ExportFormat& format);
// The format's own name ("mp4") and the extension its files get (".mp4").
std::string_view ExportFormatName(ExportFormat format);
std::string_view ExportExtension(ExportFormat format);
// True for the formats that carry sound (MP4, WebM, Matroska).
bool ExportHasSound(ExportFormat format);
// True for the formats whose pictures are stored as 4:2:0 video (sides must be even).
bool ExportNeedsEvenSize(ExportFormat format);

// "high", "medium", "low" (any case); false for other names.
bool ExportQualityFromName(std::string_view name, ExportQuality& quality);

// A point of a movie: a 1-based frame ("120") or a time ("2.5s", "1:30", "0:01.5",
// "1:02:03"). Unset points take the export's defaults.
struct MoviePoint {
  bool set = false;
  bool isTime = false;
  long frame = 0;       // when !isTime, from 1
  double seconds = 0;   // when isTime, from 0
  // The 0-based frame index at a frame rate: frame - 1, or the frame showing at seconds.
  long FrameIndex(double rate) const;
  // The time in seconds at a frame rate: the start of the frame, or seconds.
  double Seconds(double rate) const;
};
// False with why when text is neither a frame from 1 nor a time.
bool ParseMoviePoint(std::string_view text, MoviePoint& point, std::string& why);

// "WIDTHxHEIGHT", each side 1 to 16384; false otherwise.
bool ParseExportSize(std::string_view text, int& width, int& height);

// True when pattern holds exactly one frame number ("%d" or "%0Nd", N below 10) and
// otherwise only "%%" for a percent sign.
bool IsFramePattern(std::string_view pattern);
// The pattern with the frame number put in ("frames/%05d.png", 7 -> "frames/00007.png").
// Call only with a pattern IsFramePattern accepts.
std::string FramePatternName(std::string_view pattern, long number);

// The size a movie of width x height is drawn at for a target size: a given width and
// height as they are, a scale of the movie's own size, or the movie's own size; rounded
// to even sides (at least 2) when even is true. Sides are at least 1.
struct ExportSize {
  int width = 0, height = 0;
};
ExportSize ResolveExportSize(int movieWidth, int movieHeight, int width, int height, double scale, bool even);
// The other side of a picture that keeps the movie's aspect: for a side that stands
// where the movie has movieSide, the side where it has movieOtherSide (at least 1, and
// even when even is true).
int AspectSide(int side, int movieSide, int movieOtherSide, bool even);

// The file an export of the movie titled title goes to in folder: the title with the
// format's extension, or for a PNG sequence numbered pictures in a folder of that name.
std::string ExportTargetFor(const std::string& folder, const std::string& title, ExportFormat format);
// target made fit for another format: its extension changed, or moved into or out of
// the folder of a PNG sequence ("a/Orbits.mp4" <-> "a/Orbits/%05d.png").
std::string RetargetExport(const std::string& target, ExportFormat format);

}  // namespace vantrel::browser
