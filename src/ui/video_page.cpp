#include "ui/video_page.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QStyle>
#include <algorithm>
#include <cmath>

#include "core/log.h"
#include "player/player.h"
#include "player/time_text.h"

namespace vantrel::ui {

namespace {

// Keeps the page's bar along the bottom of the movie area when it resizes.
class ResizeWatcher : public QObject {
 public:
  explicit ResizeWatcher(std::function<void()> onResize) : onResize_(std::move(onResize)) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Resize) onResize_();
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void()> onResize_;
};

constexpr int kSeekSteps = 1000;

}  // namespace

std::string VideoTimeText(double seconds) {
  const long whole = std::max(0L, static_cast<long>(std::floor(seconds)));
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
  return text;
}

VideoControls::VideoControls(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("VideoControls"));
  setAutoFillBackground(true);
  QPalette colours = palette();
  colours.setColor(QPalette::Window, QColor(24, 24, 28));
  colours.setColor(QPalette::WindowText, QColor(230, 230, 235));
  colours.setColor(QPalette::ButtonText, QColor(230, 230, 235));
  colours.setColor(QPalette::Button, QColor(24, 24, 28));
  setPalette(colours);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(6, 2, 8, 2);
  play_ = new QToolButton(this);
  play_->setObjectName(QStringLiteral("cbVideoPlay"));
  play_->setAutoRaise(true);
  seek_ = new QSlider(Qt::Horizontal, this);
  seek_->setObjectName(QStringLiteral("sldVideoSeek"));
  seek_->setRange(0, kSeekSteps);
  time_ = new QLabel(this);
  time_->setObjectName(QStringLiteral("lblVideoTime"));
  layout->addWidget(play_);
  layout->addWidget(seek_, 1);
  layout->addWidget(time_);
  setFixedHeight(kHeight);
  connect(play_, &QToolButton::clicked, this, [this] {
    if (onPlayPause) onPlayPause();
  });
  connect(seek_, &QSlider::sliderPressed, this, [this] { dragging_ = true; });
  connect(seek_, &QSlider::sliderReleased, this, [this] {
    dragging_ = false;
    if (onSeek) onSeek(static_cast<double>(seek_->value()) / kSeekSteps);
  });
  // Clicks on the groove and keys move the bar without a drag.
  connect(seek_, &QSlider::actionTriggered, this, [this](int action) {
    if (action == QAbstractSlider::SliderMove || dragging_) return;
    const int value = seek_->sliderPosition();
    if (onSeek) onSeek(static_cast<double>(value) / kSeekSteps);
  });
  Show(false, 0, 0);
}

std::string PlayerVideoTimeText(double seconds, std::int32_t frameCount, double frameRate) {
  // The update tick's rule: the playhead becomes a frame, and frames become times.
  const double frame = std::nearbyint(seconds * frameRate);
  return player::FormatMovieTime(frame, frameRate) + " / " + player::FormatMovieTime(frameCount, frameRate);
}

void VideoControls::Show(bool playing, double time, double length, const std::string& text) {
  // Drawn as text so that the glyphs take the bar's light colour.
  play_->setText(playing ? QStringLiteral("\u275A\u275A") : QStringLiteral("\u25B6"));
  play_->setToolTip(playing ? tr("Pause") : tr("Play"));
  if (!dragging_) {
    const int position = length > 0 ? static_cast<int>(std::lround(time / length * kSeekSteps)) : 0;
    if (seek_->value() != position) {
      const QSignalBlocker quiet(seek_);
      seek_->setValue(position);
    }
  }
  const QString shown =
      QString::fromStdString(text.empty() ? VideoTimeText(time) + " / " + VideoTimeText(length) : text);
  if (time_->text() != shown) time_->setText(shown);
}

VideoPageHost::VideoPageHost(flash::FlashControl& control, player::EngineControl& port)
    : control_(control), port_(port) {
  // Without a sound device the program stays silent and plays on: movies then get no
  // mixer, since a stream sound nobody plays would hold their timelines.
  if (output_.Open()) control_.SetMixer(&mixer_);
}

VideoPageHost::~VideoPageHost() {
  page_.reset();
  output_.Close();
  control_.SetMixer(nullptr);
  if (controls_) delete controls_.data();
}

void VideoPageHost::AttachView(QWidget* view) {
  if (view_ == view) return;
  view_ = view;
  if (!view) return;
  controls_ = new VideoControls(view);
  controls_->onPlayPause = [this] {
    if (player_)
      player_->PlayPauseMedia();
    else if (page_)
      page_->Playing() ? page_->Pause() : page_->Play();
    UpdateControls();
  };
  controls_->onSeek = [this](double fraction) {
    if (player_) {
      player_->GoToFrame(static_cast<float>(fraction));
    } else if (page_) {
      SetVariable("seeking", std::to_string(static_cast<int>(fraction * 1000)));
    }
    UpdateControls();
  };
  viewWatcher_ = std::make_unique<ResizeWatcher>([this] { PlaceControls(); });
  view->installEventFilter(viewWatcher_.get());
  PlaceControls();
  UpdateControls();
}

void VideoPageHost::PlaceControls() {
  if (!controls_ || !view_) return;
  controls_->setGeometry(0, view_->height() - VideoControls::kHeight, view_->width(), VideoControls::kHeight);
}

void VideoPageHost::UpdateControls() {
  if (!controls_) return;
  controls_->setVisible(page_ != nullptr);
  if (!page_) return;
  const double time = page_->Playback().Time();
  // In the player the bar tells the time the way the skin does, so the two agree.
  std::string text;
  if (player_ && player_->Record().IsVideo && player_->Record().FrameRate > 0)
    text = PlayerVideoTimeText(time, player_->Record().FrameCount, player_->Record().FrameRate);
  controls_->Show(page_->Playing(), time, page_->Playback().Duration(), text);
}

void VideoPageHost::ApplyVolume() {
  if (player_) mixer_.SetVolume(player_->Volume(), player_->Pan());
}

void VideoPageHost::Advance(double milliseconds) {
  ApplyVolume();
  if (!page_) {
    port_.Advance(milliseconds);
    return;
  }
  page_->Advance(milliseconds);
  port_.DeliverEvents();
  UpdateControls();
}

double VideoPageHost::FrameInterval() {
  if (!page_) return control_.FrameInterval();
  // Pictures change at the video's rate; the clock need not tick faster.
  return std::clamp(page_->Playback().Index().FrameInterval(), 10.0, 100.0);
}

void VideoPageHost::Paint(QPainter& painter, QSize viewport) {
  if (!page_) {
    control_.Paint(painter, viewport);
    return;
  }
  // The bar covers the bottom; the picture fits above it.
  const int bar = controls_ && controls_->isVisible() ? VideoControls::kHeight : 0;
  const QSize area(viewport.width(), std::max(1, viewport.height() - bar));
  page_->Paint(painter, area);
  if (bar > 0) painter.fillRect(0, area.height(), viewport.width(), bar, Qt::black);
}

void VideoPageHost::LoadMovie(std::int32_t layer, const std::string& url) {
  page_.reset();
  // The wrapper movie goes into the control as any movie does (ready state, background);
  // the page then takes its place.
  port_.LoadMovie(layer, url);
  std::string xml;
  const auto mark = url.find('?');
  const std::string file = url.substr(0, mark);
  const bool wrapper = file.size() >= 10 && file.compare(file.size() - 10, 10, "/video.swf") == 0 &&
                       flash::video::IsVideoWrapperUrl(url, file, &xml) && !xml.empty();
  if (wrapper) {
    auto page = std::make_unique<flash::video::VideoPage>(&mixer_, output_.IsOpen());
    if (page->Open(xml)) {
      page_ = std::move(page);
      control_.Stop();
    }
  }
  UpdateControls();
}

void VideoPageHost::Play() {
  if (page_)
    page_->Play();
  else
    port_.Play();
}

void VideoPageHost::Stop() {
  if (page_)
    page_->Pause();
  else
    port_.Stop();
}

void VideoPageHost::Rewind() {
  if (page_)
    page_->Rewind();
  else
    port_.Rewind();
}

void VideoPageHost::Forward() {
  if (page_)
    page_->Step(1);
  else
    port_.Forward();
}

void VideoPageHost::Back() {
  if (page_)
    page_->Step(-1);
  else
    port_.Back();
}

void VideoPageHost::GotoFrame(std::int32_t frame) {
  if (!page_) {
    port_.GotoFrame(frame);
    return;
  }
  // Every update tick moves the wrapper's timeline to the playhead; that must not seek.
  // Only a real jump (a second forward or back) moves the video.
  if (std::abs(frame - page_->CurrentFrame()) > 1) page_->GotoFrame(frame);
}

std::int32_t VideoPageHost::TotalFrames() { return page_ ? page_->FrameCount() : port_.TotalFrames(); }

std::int32_t VideoPageHost::FrameNum() { return page_ ? page_->CurrentFrame() : port_.FrameNum(); }

bool VideoPageHost::Playing() { return page_ ? page_->Playing() : port_.Playing(); }

void VideoPageHost::SetPlaying(bool playing) {
  if (!page_) {
    port_.SetPlaying(playing);
    return;
  }
  if (playing)
    page_->Play();
  else
    page_->Pause();
}

void VideoPageHost::SetVariable(const std::string& name, const std::string& value) {
  if (page_ && (name == "playing" || name == "seeking")) {
    page_->SetVariable(name, value);
    UpdateControls();
    return;
  }
  port_.SetVariable(name, value);
}

std::string VideoPageHost::GetVariable(const std::string& name) {
  if (page_ && (name == "playing" || name == "myVideo.playheadTime")) return page_->GetVariable(name);
  return port_.GetVariable(name);
}

}  // namespace vantrel::ui
