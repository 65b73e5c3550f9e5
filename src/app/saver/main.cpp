// vantrel-saver: the Flash screen saver and the Flash desktop.
//
//   vantrel-saver [-root | -window-id ID] [--movie FILE]   screen saver (XScreenSaver module)
//   vantrel-saver --desktop MOVIE                            the movie below every window
//
// As a screen saver it plays the movie chosen in the player ("ScreenSaver"/"FileName"
// in the options) unless --movie names one; under XScreenSaver it draws into the
// window XScreenSaver gives it.
#include <QApplication>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/options.h"
#include "core/paths.h"
#include "core/version.h"
#include "system/desktop.h"
#include "system/movie_window.h"
#include "system/screen_saver.h"

namespace {

constexpr int kExitUsage = 2;

struct SaverArgs {
  bool desktop = false;
  bool root = false;
  unsigned long windowId = 0;
  std::string movie;
};

void PrintUsage(FILE* out) {
  std::fprintf(out,
               "usage: vantrel-saver [-root | -window-id ID] [--movie FILE]\n"
               "       vantrel-saver --desktop MOVIE\n"
               "       vantrel-saver --help | --version\n\n"
               "Plays the movie chosen with Vantrel's Flash Screen Saver as a screen saver, or a movie\n"
               "as the Flash desktop, below every other window.\n");
}

int MissingValue(const char* option) {
  std::fprintf(stderr, "vantrel-saver: %s needs a value\n", option);
  return kExitUsage;
}

// Returns -1 when the arguments are complete, else the exit code to end with.
int ParseArgs(int argc, char** argv, SaverArgs& args) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg.starts_with("--")) arg.erase(0, 1);  // XScreenSaver writes one dash, people two
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    std::string text;
    if (arg == "-help") {
      PrintUsage(stdout);
      return 0;
    } else if (arg == "-version") {
      std::printf("vantrel-saver %s\n", vantrel::core::VersionNumberText().c_str());
      return 0;
    } else if (arg == "-root") {
      args.root = true;
    } else if (arg == "-window-id") {
      if (!value(text)) return MissingValue(argv[i]);
      args.windowId = std::strtoul(text.c_str(), nullptr, 0);
    } else if (arg == "-movie") {
      if (!value(args.movie)) return MissingValue(argv[i]);
    } else if (arg == "-desktop") {
      args.desktop = true;
      if (!value(args.movie)) return MissingValue(argv[i]);
    } else if (arg == "-window" || arg == "-fps" || arg == "-install" || arg == "-visual") {
      if (arg == "-visual") ++i;  // XScreenSaver options that change nothing here
    } else {
      std::fprintf(stderr, "vantrel-saver: unknown option '%s'\n", argv[i]);
      PrintUsage(stderr);
      return kExitUsage;
    }
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  SaverArgs args;
  if (const int done = ParseArgs(argc, argv, args); done >= 0) return done;
  if (args.windowId == 0 && args.root) {
    // XScreenSaver names the window to draw in through the environment.
    if (const char* window = std::getenv("XSCREENSAVER_WINDOW")) args.windowId = std::strtoul(window, nullptr, 0);
  }

  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Vantrel"));
  using Role = vantrel::system::MovieWindow::Role;
  vantrel::system::MovieWindow window(args.desktop ? Role::Desktop : Role::ScreenSaver);
  window.setWindowTitle(args.desktop ? QStringLiteral("Vantrel Flash Desktop") : QStringLiteral("Vantrel Screen Saver"));

  std::string movie = args.movie;
  if (movie.empty()) {
    vantrel::core::OptionsStore options(vantrel::core::OptionsStore::DefaultFilePath());
    movie = vantrel::system::ScreenSaverMovie(options);
  }
  // Without a movie the saver still blanks the screen; it only says why on the terminal.
  if (movie.empty()) std::fprintf(stderr, "vantrel-saver: no movie chosen (Vantrel: Tools, Flash Screen Saver)\n");
  else if (!window.LoadFile(movie)) std::fprintf(stderr, "vantrel-saver: %s: %s\n", movie.c_str(), window.LastError().c_str());

  if (args.desktop) {
    const vantrel::core::Paths paths = vantrel::core::LayoutPaths(vantrel::core::FindAppPath(), "Flash Player");
    vantrel::system::WriteDesktopPid(vantrel::system::DesktopFolder(paths.UserPath));
  }
  if (args.windowId != 0) {
    // Drawn inside XScreenSaver's window: it owns the screen and ends us when done.
    if (QWindow* host = QWindow::fromWinId(static_cast<WId>(args.windowId))) {
      window.SetEmbedded(true);
      window.winId();
      window.windowHandle()->setParent(host);
      window.setGeometry(0, 0, host->width(), host->height());
      window.show();
      return QApplication::exec();
    }
  }
  window.ShowForRole();
  return QApplication::exec();
}
