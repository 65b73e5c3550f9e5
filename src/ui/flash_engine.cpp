// The program's own Flash engine behind the window's engine interface.
#include <cmath>

#include "flash/flash_control.h"
#include "ui/movie_engine.h"

namespace vantrel::ui {

namespace {

class FlashEngine final : public MovieEngine, public player::FlashPort {
 public:
  FlashEngine() {
    control_.OnReadyStateChange = [this](int state) {
      if (onReadyStateChange) onReadyStateChange(state);
    };
    control_.FSCommand = [this](const std::string& command, const std::string& arguments) {
      if (onFSCommand) onFSCommand(command, arguments);
    };
  }

  // ---- MovieEngine ----
  player::FlashPort& Port() override { return *this; }
  int MajorVersion() override { return flash::FlashControl::FlashVersion() >> 16; }
  void SetViewSize(QSize size) override { control_.SetSize(size.width(), size.height()); }
  void AdvanceTime(double milliseconds) override { control_.AdvanceTime(milliseconds); }
  double FrameInterval() override { return control_.FrameInterval(); }
  void Paint(QPainter& painter, QSize viewport) override { control_.Paint(painter, viewport); }

  // ---- player::FlashPort ----
  void LoadMovie(std::int32_t layer, const std::string& url) override { control_.LoadMovie(layer, url); }
  void Play() override { control_.Play(); }
  void Stop() override { control_.Stop(); }
  void Rewind() override { control_.Rewind(); }
  void Forward() override { control_.Forward(); }
  void Back() override { control_.Back(); }
  void GotoFrame(std::int32_t frame) override { control_.GotoFrame(frame); }
  std::int32_t TotalFrames() override { return control_.TotalFrames(); }
  std::int32_t FrameNum() override { return control_.FrameNum(); }
  std::int32_t CurrentFrame() override { return control_.CurrentFrame(); }
  bool Playing() override { return control_.Playing(); }
  void SetPlaying(bool playing) override { control_.SetPlaying(playing); }
  std::string Quality2() override { return control_.Quality2(); }
  void SetQuality2(const std::string& quality) override { control_.SetQuality2(quality); }
  std::int32_t ScaleMode() override { return control_.ScaleMode(); }
  void SetScaleMode(std::int32_t mode) override { control_.SetScaleMode(mode); }
  void SetAlignMode(std::int32_t mode) override { control_.SetAlignMode(mode); }
  void SetBGColor(const std::string& color) override { control_.SetBGColor(color); }
  void SetLoop(bool loop) override { control_.SetLoop(loop); }
  void SetVariable(const std::string& name, const std::string& value) override { control_.SetVariable(name, value); }
  std::string GetVariable(const std::string& name) override { return control_.GetVariable(name); }
  std::int32_t FlashVersion() override { return flash::FlashControl::FlashVersion(); }

 private:
  flash::FlashControl control_;
};

}  // namespace

std::unique_ptr<MovieEngine> MakeFlashEngine() { return std::make_unique<FlashEngine>(); }

}  // namespace vantrel::ui
