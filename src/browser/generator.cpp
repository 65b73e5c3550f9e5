#include "browser/generator.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "browser/shot_rules.h"
#include "core/options.h"
#include "core/ordered_work.h"
#include "core/paths.h"
#include "core/text.h"
#include "core/version.h"
#include "media/identify.h"

namespace vantrel::browser {

namespace {

std::string Look(const media::TextLookup& lookup, std::string_view key, std::string_view fallback) {
  return lookup ? lookup(key, fallback) : std::string(fallback);
}

bool Cancelled(const std::function<bool()>& cancelled) { return cancelled && cancelled(); }

bool EndsWithNoCase(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && core::EqualsNoCase(text.substr(text.size() - tail.size()), tail);
}

std::vector<std::string> SortedNames(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The m:ss length the information dialog shows, from its "frames (m:ss)" text.
std::string LengthOf(const media::MediaRecord& record) {
  const std::string time = media::MovieInfoTextsFor(record).TimeValue;
  const auto open = time.find('(');
  const auto close = time.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close < open) return time;
  return time.substr(open + 1, close - open - 1);
}

}  // namespace

GeneratorSettings LoadGeneratorSettings(core::OptionsStore& options) {
  GeneratorSettings s;
  constexpr std::string_view g = "Generator";
  s.width = options.ReadNumberOption(g, "Width");
  s.height = options.ReadNumberOption(g, "Height");
  s.backColor = options.ReadTextOption(g, "BackColor");
  s.quality = std::clamp(options.ReadNumberOption(g, "Quality"), 0, 100);
  s.show = options.ReadBoolOption(g, "Show");
  s.percent = options.ReadNumberOption(g, "Percent");
  s.fixedSize = options.ReadBoolOption(g, "Size");
  s.customColor = options.ReadBoolOption(g, "Color");
  s.info = options.ReadBoolOption(g, "Info");
  s.source = options.ReadOption(*core::FindOption(g, "Source"),
                                options.ReadOption(*core::FindOption("Recent", "MyFlash"), core::DefaultMyFlashFolder()));
  s.recursive = options.ReadBoolOption(g, "Recursive");
  s.overwrite = options.ReadBoolOption(g, "Overwrite");
  s.execute = options.ReadBoolOption(g, "Execute");
  s.app = options.ReadTextOption(g, "App");
  s.watermark = options.ReadBoolOption(g, "Watermark");
  s.logoPath = options.ReadTextOption(g, "LogoPath");
  return s;
}

void SaveGeneratorSettings(core::OptionsStore& options, const GeneratorSettings& s) {
  constexpr std::string_view g = "Generator";
  options.BeginBatch();
  options.WriteNumber(g, "Width", s.width);
  options.WriteNumber(g, "Height", s.height);
  options.WriteText(g, "BackColor", s.backColor);
  options.WriteNumber(g, "Quality", s.quality);
  options.WriteBool(g, "Show", s.show);
  options.WriteNumber(g, "Percent", s.percent);
  options.WriteBool(g, "Size", s.fixedSize);
  options.WriteBool(g, "Color", s.customColor);
  options.WriteBool(g, "Info", s.info);
  options.WriteText(g, "Source", s.source);
  options.WriteBool(g, "Recursive", s.recursive);
  options.WriteBool(g, "Overwrite", s.overwrite);
  options.WriteBool(g, "Execute", s.execute);
  options.WriteText(g, "App", s.app);
  options.WriteBool(g, "Watermark", s.watermark);
  options.WriteText(g, "LogoPath", s.logoPath);
  options.EndBatch();
}

std::int64_t FindFiles(const std::string& folderIn, std::string_view pattern, int& found, int& folders,
                       std::vector<std::string>& list, bool recursive, const std::function<bool()>& cancelled) {
  if (Cancelled(cancelled)) return 0;
  const std::string folder = core::AddSlash(folderIn);
  const std::string_view extension = pattern.starts_with("*") ? pattern.substr(1) : pattern;
  std::vector<std::string> subfolders;
  std::int64_t total = 0;
  for (const std::string& name : SortedNames(folder)) {
    const std::string path = folder + name;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) continue;
    if (S_ISDIR(info.st_mode)) {
      subfolders.push_back(path + "/");
      if (recursive) ++folders;
      continue;
    }
    if (Cancelled(cancelled)) return total;
    if (!EndsWithNoCase(name, extension)) continue;
    total += static_cast<std::int64_t>(info.st_size);
    ++found;
    list.push_back(path);
  }
  if (!recursive) return total;
  for (const std::string& sub : subfolders) total += FindFiles(sub, pattern, found, folders, list, true, cancelled);
  return total;
}

std::string FlashInfoHeader() {
  return "<?xml version=\"1.0\"?><FLASHINFO app=\"" + std::string(core::kProductTitle) + "\" build=\"" + std::to_string(core::kBuildNumber) +
         "\">\r\n";
}

std::string FlashInfoLine(const media::MediaRecord& record, const std::string& path, const std::string& sourceFolder) {
  std::string line = "\t<MOVIE";
  const auto slash = path.find_last_of('/');
  std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  if (!sourceFolder.empty() && folder.starts_with(sourceFolder)) folder.erase(0, sourceFolder.size());
  if (!folder.empty()) line += " path=\"" + folder + "\"";
  if (!record.Title.empty()) line += " title=\"" + record.Title + "\"";
  if (!record.Description.empty()) line += " description=\"" + record.Description + "\"";
  line += " width=\"" + std::to_string(record.Width);
  line += "\" height=\"" + std::to_string(record.Height);
  line += "\" time=\"" + LengthOf(record);
  line += "\" size=\"" + std::to_string(record.FileSize);
  line += "\" version=\"" + std::to_string(record.Version);
  line += "\" compressed=\"" + std::string(record.IsCompressed ? "True" : "False");
  line += "\" frameRate=\"" + media::NumberText(record.FrameRate);
  line += "\" bgColor=\"" + record.BackColor;
  line += "\" frames=\"" + std::to_string(record.FrameCount);
  line += "\">" + record.FileName + "</MOVIE>\r\n";
  return line;
}

std::string ThumbPathFor(const GeneratorSettings& settings, const std::string& sourceFolder, const std::string& moviePath) {
  if (settings.outFolder.empty()) return GeneratorThumbPath(moviePath);
  std::string relative = moviePath;
  if (!sourceFolder.empty() && relative.starts_with(sourceFolder)) {
    relative.erase(0, sourceFolder.size());
  } else {
    const auto slash = relative.find_last_of('/');
    if (slash != std::string::npos) relative.erase(0, slash + 1);
  }
  return GeneratorThumbPath(core::AddSlash(settings.outFolder) + relative);
}

GeneratorReport RunGenerator(media::MediaContext& context, const GeneratorSettings& settings, ShotOptions shot,
                             bool skipDoubtful, const std::function<bool(const std::string&)>& isFlashProjector,
                             const media::TextLookup& lookup, const GeneratorEvents& events) {
  GeneratorReport report;
  const auto status = [&](const std::string& text) {
    if (events.status) events.status(text);
  };
  std::string source = settings.source;
  std::vector<std::string> list;
  const bool isFolder = core::FolderExists(source);
  if (isFolder) {
    source = core::AddSlash(source);
    report.folders = 1;
    status(Look(lookup, "frmGenerator/strMovie", "Searching for Movies..."));
    FindFiles(source, "*.swf", report.found, report.folders, list, settings.recursive, events.cancelled);
    status(Look(lookup, "frmGenerator/strProjector", "Searching for Projectors..."));
    report.folders = 1;
    FindFiles(source, "*.exe", report.found, report.folders, list, settings.recursive, events.cancelled);
  } else {
    list.push_back(source);
    report.found = 1;
  }
  status(Look(lookup, "frmGenerator/strThumbnail", "Creating Thumbnails") + " (" + std::to_string(report.found) +
         ")...");

  const bool identify = !settings.fixedSize || !settings.customColor || settings.info;
  std::string xml;
  if (settings.info) xml = FlashInfoHeader();
  shot.jpegQuality = settings.quality;
  shot.logoPath = settings.watermark ? settings.logoPath : std::string();
  // Several workers have the cores between them: each draws its shots on one thread.
  if (settings.jobs > 1) shot.drawingThreads = 1;
  const std::string sourceFolder = isFolder ? source : std::string();

  // Each file is prepared here in list order (identification, its XML line, the size and
  // background of its shot, whether it gets one); the shots may run side by side, and
  // what they give comes back in list order.
  // What a worker process needs of a task travels to it; the index stays here.
  struct Task {
    std::size_t index = 0;
    std::string path, thumb;
    ShotOptions options;

    void Pack(core::TaskWriter& out) const {
      const ShotOptions& o = options;
      out.Text(path);
      out.Text(thumb);
      for (const int number : {o.width, o.height, int{o.highQuality}, o.jpegQuality, o.sampleFrom, o.sampleTo,
                               int{o.moviesOnly}, o.drawingThreads})
        out.Number(number);
      for (const std::string* text : {&o.backColor, &o.logoPath, &o.noMediaPath}) out.Text(*text);
    }
    bool Unpack(core::TaskReader& in) {
      ShotOptions& o = options;
      return in.Text(path) && in.Text(thumb) && in.Number(o.width) && in.Number(o.height) &&
             in.Number(o.highQuality) && in.Number(o.jpegQuality) && in.Number(o.sampleFrom) &&
             in.Number(o.sampleTo) && in.Number(o.moviesOnly) && in.Number(o.drawingThreads) &&
             in.Text(o.backColor) && in.Text(o.logoPath) &&
             in.Text(o.noMediaPath);
    }
  };
  std::size_t next = 0;
  // Only files that get a thumbnail become tasks: a kept or skipped one needs no worker.
  const auto produce = [&](Task& task) {
    while (next < list.size()) {
      if (Cancelled(events.cancelled)) {
        report.cancelled = true;
        return false;
      }
      task.index = next++;
      task.path = list[task.index];
      task.thumb = ThumbPathFor(settings, sourceFolder, task.path);
      if (events.file) events.file(static_cast<int>(task.index), static_cast<int>(list.size()), task.path);
      media::MediaRecord record;
      if (identify) media::IdentifyMedia(context, task.path, record, false);
      if (settings.info) xml += FlashInfoLine(record, task.path, sourceFolder);

      task.options = shot;
      task.options.width = settings.fixedSize ? settings.width : record.Width * settings.percent / 100;
      task.options.height = settings.fixedSize ? settings.height : record.Height * settings.percent / 100;
      task.options.backColor = settings.customColor ? settings.backColor : record.BackColor;
      const bool doubtful =
          EndsWithNoCase(task.path, ".exe") && skipDoubtful && isFlashProjector && !isFlashProjector(task.path);
      const bool keep = core::FileExists(task.thumb) && !settings.overwrite;
      if (doubtful && !keep) ++report.skipped;
      if (keep || doubtful) continue;
      if (!settings.outFolder.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(task.thumb).parent_path(), ec);
      }
      return true;
    }
    return false;
  };
  const auto work = [&](const Task& task, int) -> std::string {
    media::MediaRecord shotRecord;
    // The answer: "ok", or the reason the thumbnail failed.
    const std::string failure = MakeThumbnail(context, task.path, task.thumb, task.options, 0.5, shotRecord);
    return failure.empty() ? std::string("ok") : failure;
  };
  const auto deliver = [&](Task& task, core::WorkOutcome& outcome) {
    std::string failure = outcome.stopped.empty() ? outcome.text : "the shot stopped: " + outcome.stopped;
    if (failure == "ok") failure.clear();
    // A thumbnail that fails still counts as made, as the summary always has; a shot
    // that refuses files without a movie counts only what it wrote.
    if (!failure.empty()) ++report.failed;
    if (failure.empty() || !task.options.moviesOnly) ++report.made;
    if (events.made) events.made(task.path, task.thumb, failure);
  };
  core::RunOrdered<Task>(settings.jobs, core::WorkerKind::Processes, produce, work, deliver);
  if (Cancelled(events.cancelled)) report.cancelled = true;
  if (settings.info) {
    xml += kFlashInfoEnd;
    report.infoPath = !settings.outFolder.empty() ? core::AddSlash(settings.outFolder) + "Flash Info.xml"
                                                  : (isFolder ? source : settings.source) + "Flash Info.xml";
    if (!settings.outFolder.empty()) {
      std::error_code ec;
      std::filesystem::create_directories(settings.outFolder, ec);
    }
    core::SaveXML(report.infoPath, xml, context.Log);
  }
  return report;
}

std::string GeneratorSummary(const GeneratorReport& report, const GeneratorSettings& settings,
                             const media::TextLookup& lookup) {
  std::string text = report.cancelled ? Look(lookup, "frmGenerator/strCancel", "Thumbnail Generation Cancelled!")
                                      : Look(lookup, "frmGenerator/strDone", "Thumbnail Generation Complete!");
  text += "\r\n\r\n" + Look(lookup, "frmGenerator/strCreated", "Thumbnails created:") + " " + std::to_string(report.made);
  if (report.made < report.found)
    text += " " + Look(lookup, "BrowseMedia/strShotMid", "of") + " " + std::to_string(report.found);
  text += "\r\n" + Look(lookup, "frmGenerator/strDirs", "Folders Searched:") + " " + std::to_string(report.folders);
  if (settings.execute) text += "\r\n\r\n" + Look(lookup, "frmGenerator/strExe", "Executed:") + " " + settings.app;
  return text;
}

}  // namespace vantrel::browser
