// projector: the stub every Linux projector starts with. A projector is this program
// with a movie appended (then the marker bytes and the movie's length); run, it plays
// that movie in a window of its own. The bare stub plays a movie file it is given.
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <cstdio>
#include <string>
#include <vector>

#include "core/text.h"
#include "core/version.h"
#include "media/identify.h"
#include "media/projector.h"
#include "system/movie_window.h"

namespace {

constexpr int kExitUsage = 2;

// The movie appended to the file at path; empty when the file carries none (the bare
// stub) or the appended part is not a whole movie.
std::vector<std::uint8_t> AppendedMovie(const std::string& path, bool& hasMarker) {
  std::vector<std::uint8_t> movie;
  vantrel::media::ProjectorTrailer trailer;
  hasMarker = vantrel::media::ReadProjectorTrailer(path, trailer) && trailer.hasMarker;
  if (!hasMarker || trailer.movieLength < 8 || trailer.movieLength > trailer.fileSize - 8) return movie;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return movie;
  movie.resize(trailer.movieLength);
  if (!vantrel::core::ReadFullyAt(fd, trailer.fileSize - 8 - trailer.movieLength, movie.size(), movie.data())) {
    movie.clear();
  }
  close(fd);
  return movie;
}

std::string OwnPath(const char* argv0) {
  char buffer[4096];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length > 0) return std::string(buffer, static_cast<std::size_t>(length));
  return argv0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string self = OwnPath(argv[0]);
  bool hasMarker = false;
  const std::vector<std::uint8_t> appended = AppendedMovie(self, hasMarker);

  std::string moviePath;
  if (!hasMarker) {
    const std::string first = argc > 1 ? argv[1] : "";
    if (first == "--version") {
      std::printf("Vantrel projector %s\n", vantrel::core::VersionNumberText().c_str());
      return 0;
    }
    if (argc != 2 || first == "--help" || first.starts_with("-")) {
      std::fprintf(first == "--help" ? stdout : stderr,
                   "usage: %s MOVIE.swf\n\n"
                   "The Vantrel projector stub. 'vantrel-tool pack MOVIE OUT' appends a movie to a copy of it;\n"
                   "that copy then plays its movie by itself.\n",
                   argv[0]);
      return first == "--help" ? 0 : kExitUsage;
    }
    moviePath = first;
  } else if (appended.empty()) {
    std::fprintf(stderr, "%s: the movie appended to this projector is damaged\n", self.c_str());
    return 1;
  }

  QApplication application(argc, argv);
  const std::string title = vantrel::media::FileTitle(hasMarker ? self : moviePath, true);
  QApplication::setApplicationName(QString::fromStdString(title));

  vantrel::system::MovieWindow window(vantrel::system::MovieWindow::Role::Projector);
  const bool loaded = hasMarker ? window.LoadBytes(appended) : window.LoadFile(moviePath);
  if (!loaded) {
    std::fprintf(stderr, "%s: %s\n", hasMarker ? self.c_str() : moviePath.c_str(), window.LastError().c_str());
    return 1;
  }
  window.setWindowTitle(QString::fromStdString(title));
  window.ShowForRole();
  return QApplication::exec();
}
