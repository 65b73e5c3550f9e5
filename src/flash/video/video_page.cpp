#include "flash/video/video_page.h"

#include <pugixml.hpp>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace vantrel::flash::video {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string UrlDecode(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2])));
      i += 2;
    } else {
      out.push_back(text[i] == '+' ? ' ' : text[i]);
    }
  }
  return out;
}

}  // namespace

bool ReadVideoDescription(const std::string& path, VideoDescription& description, std::string* error) {
  pugi::xml_document document;
  const pugi::xml_parse_result parsed = document.load_file(path.c_str());
  if (!parsed) {
    if (error) *error = path + ": " + parsed.description();
    return false;
  }
  const pugi::xml_node video = document.child("VIDEO");
  description.source = video.child_value("SOURCE");
  description.width = std::atoi(video.child_value("WIDTH"));
  description.height = std::atoi(video.child_value("HEIGHT"));
  description.timeMs = std::atol(video.child_value("TIME"));
  if (description.source.empty()) {
    if (error) *error = path + ": no SOURCE";
    return false;
  }
  return true;
}

bool IsVideoWrapperUrl(const std::string& url, const std::string& wrapperPath, std::string* xmlPath) {
  const auto mark = url.find('?');
  if (url.substr(0, mark) != wrapperPath) return false;
  if (xmlPath) {
    xmlPath->clear();
    const std::string query = mark == std::string::npos ? std::string() : url.substr(mark + 1);
    std::size_t start = 0;
    while (start <= query.size()) {
      std::size_t end = query.find('&', start);
      if (end == std::string::npos) end = query.size();
      const std::string pair = query.substr(start, end - start);
      if (pair.rfind("myXML=", 0) == 0) *xmlPath = UrlDecode(pair.substr(6));
      start = end + 1;
    }
  }
  return true;
}

VideoPage::VideoPage(audio::Mixer* mixer, bool soundClock) : playback_(mixer, soundClock) {}

bool VideoPage::Open(const std::string& xmlPath) {
  if (!ReadVideoDescription(xmlPath, description_, &error_)) return false;
  if (!playback_.Open(description_.source)) {
    error_ = playback_.Error();
    return false;
  }
  error_.clear();
  return true;
}

void VideoPage::SetVariable(const std::string& name, const std::string& value) {
  if (name == "playing") {
    if (value == "1")
      playback_.Play();
    else
      playback_.Pause();
  } else if (name == "seeking") {
    const double perMille = std::clamp(std::atof(value.c_str()), 0.0, 1000.0);
    playback_.Seek(playback_.Duration() * perMille / 1000.0);
  }
}

std::string VideoPage::GetVariable(const std::string& name) const {
  if (name == "playing") return playback_.Playing() ? "1" : "0";
  if (name == "myVideo.playheadTime") {
    // Always a point, whatever the locale.
    const long thousandths = std::lround(playback_.Time() * 1000.0);
    char text[32];
    std::snprintf(text, sizeof text, "%ld.%03ld", thousandths / 1000, thousandths % 1000);
    return text;
  }
  return "";
}

void VideoPage::Rewind() {
  playback_.Pause();
  playback_.Seek(0);
}

void VideoPage::Step(int frames) {
  playback_.Pause();
  GotoFrame(CurrentFrame() + frames);
}

void VideoPage::GotoFrame(int frame) {
  const auto& video = playback_.Index().video;
  if (video.empty()) return;
  frame = std::clamp(frame, 0, static_cast<int>(video.size()) - 1);
  playback_.Seek(video[static_cast<std::size_t>(frame)].time / 1000.0, true);
}

void VideoPage::Paint(QPainter& painter, QSize viewport) const {
  painter.fillRect(QRect(QPoint(0, 0), viewport), Qt::black);
  const QImage& picture = playback_.Picture();
  if (picture.isNull() || viewport.isEmpty()) return;
  QSize shown = picture.size().scaled(viewport, Qt::KeepAspectRatio);
  const QRect target((viewport.width() - shown.width()) / 2, (viewport.height() - shown.height()) / 2, shown.width(),
                     shown.height());
  painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
  painter.drawImage(target, picture);
}

}  // namespace vantrel::flash::video
