// The video page in the player: what the window shows in place of the program's own
// "video.swf" wrapper. VideoPageHost stands between the player and the engine's control
// port: while the wrapper is loaded it answers the player's calls and the wrapper's
// variables from the native video page (picture, sound, time); otherwise it passes
// everything to the engine. It also owns the program's mixer and sound output and
// applies the player's volume, pan and mute to them. VideoControls is the page's bar:
// play/pause, a seek bar and the time.
#pragma once

#include <QLabel>
#include <QPointer>
#include <QSlider>
#include <QToolButton>
#include <QWidget>
#include <memory>
#include <string>

#include "flash/audio/audio_output.h"
#include "flash/audio/mixer.h"
#include "flash/control/flash_control.h"
#include "flash/video/video_page.h"
#include "player/engine_control.h"
#include "player/flash_port.h"

namespace vantrel::player {
class Player;
}

namespace vantrel::ui {

class VideoControls : public QWidget {
  Q_OBJECT

 public:
  explicit VideoControls(QWidget* parent);
  // Shows the playing state, the playhead and the length (seconds). text replaces the
  // time shown when it is not empty.
  void Show(bool playing, double time, double length, const std::string& text = {});

  std::function<void()> onPlayPause;
  std::function<void(double fraction)> onSeek;  // 0..1 of the length

  static constexpr int kHeight = 30;

 private:
  QToolButton* play_;
  QSlider* seek_;
  QLabel* time_;
  bool dragging_ = false;
};

// "m:ss" for seconds.
std::string VideoTimeText(double seconds);

// The bar's time text in the player: the player's own time of the playhead and of the
// whole video, as the skin shows them ("0:02 / 0:02"), from the video's frame rate and
// frame count (its record).
std::string PlayerVideoTimeText(double seconds, std::int32_t frameCount, double frameRate);

class VideoPageHost final : public player::FlashPort {
 public:
  VideoPageHost(flash::FlashControl& control, player::EngineControl& port);
  ~VideoPageHost() override;

  void Connect(player::Player* player) { player_ = player; }
  // The movie area the page's bar lives in.
  void AttachView(QWidget* view);
  void Advance(double milliseconds);
  double FrameInterval();
  void Paint(QPainter& painter, QSize viewport);
  bool PageActive() const { return page_ != nullptr; }
  flash::video::VideoPage* Page() { return page_.get(); }
  flash::audio::Mixer& Mixer() { return mixer_; }
  const flash::audio::AudioOutput& Output() const { return output_; }

  void LoadMovie(std::int32_t layer, const std::string& url) override;
  void Play() override;
  void Stop() override;
  void Rewind() override;
  void Forward() override;
  void Back() override;
  void GotoFrame(std::int32_t frame) override;
  std::int32_t TotalFrames() override;
  std::int32_t FrameNum() override;
  std::int32_t CurrentFrame() override { return FrameNum(); }
  bool Playing() override;
  bool PassedLastFrame() override { return page_ ? FlashPort::PassedLastFrame() : port_.PassedLastFrame(); }
  void SetPlaying(bool playing) override;
  std::string Quality2() override { return port_.Quality2(); }
  void SetQuality2(const std::string& quality) override { port_.SetQuality2(quality); }
  std::int32_t ScaleMode() override { return port_.ScaleMode(); }
  void SetScaleMode(std::int32_t mode) override { port_.SetScaleMode(mode); }
  void SetAlignMode(std::int32_t mode) override { port_.SetAlignMode(mode); }
  void SetBGColor(const std::string& color) override { port_.SetBGColor(color); }
  void SetLoop(bool loop) override { port_.SetLoop(loop); }
  void SetMovieAddress(const std::string& address) override { port_.SetMovieAddress(address); }
  void SetVariable(const std::string& name, const std::string& value) override;
  std::string GetVariable(const std::string& name) override;
  std::int32_t FlashVersion() override { return port_.FlashVersion(); }

 private:
  void ApplyVolume();
  void UpdateControls();
  void PlaceControls();

  flash::FlashControl& control_;
  player::EngineControl& port_;
  player::Player* player_ = nullptr;
  flash::audio::Mixer mixer_;
  flash::audio::AudioOutput output_{mixer_};
  std::unique_ptr<flash::video::VideoPage> page_;
  QPointer<QWidget> view_;
  QPointer<VideoControls> controls_;
  std::unique_ptr<QObject> viewWatcher_;
};

}  // namespace vantrel::ui
