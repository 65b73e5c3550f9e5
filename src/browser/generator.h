// The thumbnail generator without its window: settings, the recursive search, the
// per-file rules (size, background, overwrite, doubtful projectors), "Flash Info.xml"
// and the summary text. frmGenerator and vantrel-tool thumbs both drive it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "browser/shots.h"
#include "media/media_context.h"
#include "media/media_record.h"
#include "media/movie_facts.h"

namespace vantrel::core {
class OptionsStore;
}

namespace vantrel::browser {

struct GeneratorSettings {
  int width = 120;
  int height = 90;
  std::string backColor = "FFFFFF";
  int quality = 90;
  bool show = true;
  int percent = 100;
  bool fixedSize = true;     // "Size": fixed width and height, else a percentage of the movie
  bool customColor = true;   // "Color": the custom background, else the movie's own
  bool info = false;         // export "Flash Info.xml"
  std::string source;
  bool recursive = true;
  bool overwrite = true;
  bool execute = false;
  std::string app;
  bool watermark = false;
  std::string logoPath;

  // Not options of the window: how vantrel-tool thumbs runs the generator.
  // Thumbnails made at once, by as many worker processes, each taking one movie at a
  // time (the engine keeps state for the whole process, so two shots must not run in
  // one at the same time); 1 makes them in turn here. More than 1 needs a caller without
  // other threads that has not drawn anything yet (Qt's image threads do not survive
  // a fork).
  int jobs = 1;
  // When set, the thumbnails and "Flash Info.xml" go under this folder instead of
  // beside the movies, in subfolders that mirror where each movie was found.
  std::string outFolder;
};

// The settings from the options section "Generator" (defaults where unset).
GeneratorSettings LoadGeneratorSettings(core::OptionsStore& options);
void SaveGeneratorSettings(core::OptionsStore& options, const GeneratorSettings& settings);

// Searches folder (and, when recursive, its subfolders, depth first in name order) for
// files whose names end with the pattern's extension ("*.swf"; any case). Appends them
// to list, counts them in found and the subfolders in folders (only when recursive).
// Stops early when cancelled returns true. Returns the total size of the files found.
std::int64_t FindFiles(const std::string& folder, std::string_view pattern, int& found, int& folders,
                       std::vector<std::string>& list, bool recursive, const std::function<bool()>& cancelled);

// "Flash Info.xml": its first line, one MOVIE line per file and the closing tag.
std::string FlashInfoHeader();
std::string FlashInfoLine(const media::MediaRecord& record, const std::string& path, const std::string& sourceFolder);
inline constexpr std::string_view kFlashInfoEnd = "</FLASHINFO>";

struct GeneratorReport {
  int found = 0;
  int folders = 0;
  int made = 0;     // thumbnails made (a failed one counts too, unless the shot refuses non-movies)
  int failed = 0;   // thumbnails that failed
  int skipped = 0;  // executables passed over as doubtful projectors
  bool cancelled = false;
  std::string infoPath;  // "Flash Info.xml" when one was written
};

// What a run reports while it works.
struct GeneratorEvents {
  std::function<bool()> cancelled;                          // polled before each step
  std::function<void(const std::string& text)> status;      // "Searching for Movies..."
  std::function<void(int index, int count, const std::string& path)> file;  // before each file
  // After each thumbnail, in list order (path names the movie; failure is "" on success).
  std::function<void(const std::string& path, const std::string& thumb, const std::string& failure)> made;
};

// Where a movie's thumbnail goes: beside it (GeneratorThumbPath), or with
// settings.outFolder under that folder at the movie's place relative to sourceFolder
// (the source folder with its "/", or "" when the source is one file).
std::string ThumbPathFor(const GeneratorSettings& settings, const std::string& sourceFolder, const std::string& moviePath);

// Runs a generation over settings.source with the shot options (size, background and
// quality are set per file from the settings). isFlashProjector decides doubtful
// executables while skipDoubtful is on; lookup gives the status texts.
GeneratorReport RunGenerator(media::MediaContext& context, const GeneratorSettings& settings, ShotOptions shot,
                             bool skipDoubtful, const std::function<bool(const std::string&)>& isFlashProjector,
                             const media::TextLookup& lookup, const GeneratorEvents& events);

// The message shown after a run: "Thumbnail Generation Complete!" (or "...Cancelled!"),
// the count made (with "of" the count found when fewer), the folders searched and the
// application started.
std::string GeneratorSummary(const GeneratorReport& report, const GeneratorSettings& settings,
                             const media::TextLookup& lookup);

}  // namespace vantrel::browser
