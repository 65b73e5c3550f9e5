// An engine for window tests: remembers what the player asked of it and paints a
// plain colour, so tests see the window's side without the real renderer.
#pragma once

#include <string>
#include <vector>

#include "player/player.h"
#include "ui/movie_engine.h"

namespace vantrel::testing {

class FakeEngine final : public ui::MovieEngine, public player::FlashPort {
 public:
  std::vector<std::string> loaded;  // every LoadMovie url, in order
  int frames = 10;
  int frame = 0;
  bool playing = false;
  std::string quality = "High";
  int scaleMode = 0;
  int major = 32;
  QSize viewSize;
  double advanced = 0;
  bool readyPending = false;
  player::Player* player = nullptr;

  player::FlashPort& Port() override { return *this; }
  int MajorVersion() override { return major; }
  void Connect(player::Player* target) override { player = target; }
  void SetViewSize(QSize size) override { viewSize = size; }
  bool crop = false;
  void SetCropToStage(bool value) override { crop = value; }
  // Like the real adapter, the ready state reaches the player after the next frame.
  void AdvanceTime(double milliseconds) override {
    advanced += milliseconds;
    if (readyPending && player) player->OnReadyStateChange(4);
    readyPending = false;
  }
  double FrameInterval() override { return 1000.0 / 12; }
  void Paint(QPainter& painter, QSize viewport) override { painter.fillRect(QRect(QPoint(0, 0), viewport), Qt::darkCyan); }

  void LoadMovie(std::int32_t, const std::string& url) override {
    loaded.push_back(url);
    frame = 0;
    playing = true;
    readyPending = true;
  }
  void Play() override { playing = true; }
  void Stop() override { playing = false; }
  void Rewind() override { frame = 0, playing = false; }
  void Forward() override { frame = std::min(frame + 1, frames - 1); }
  void Back() override { frame = std::max(frame - 1, 0); }
  void GotoFrame(std::int32_t f) override { frame = std::clamp(f, 0, frames - 1); }
  std::int32_t TotalFrames() override { return frames; }
  std::int32_t FrameNum() override { return frame; }
  std::int32_t CurrentFrame() override { return frame; }
  bool Playing() override { return playing; }
  void SetPlaying(bool value) override { playing = value; }
  std::string Quality2() override { return quality; }
  void SetQuality2(const std::string& value) override { quality = value; }
  std::int32_t ScaleMode() override { return scaleMode; }
  void SetScaleMode(std::int32_t mode) override { scaleMode = mode; }
  void SetAlignMode(std::int32_t) override {}
  void SetBGColor(const std::string&) override {}
  void SetLoop(bool) override {}
  void SetVariable(const std::string&, const std::string&) override {}
  std::string GetVariable(const std::string&) override { return {}; }
  std::int32_t FlashVersion() override { return major << 16; }

  const std::string& Last() const {
    static const std::string none;
    return loaded.empty() ? none : loaded.back();
  }
};

}  // namespace vantrel::testing
