// The program's own Flash engine behind the window's engine interface; the player's
// control port is the player's engine adapter, which holds the control's events until
// a frame has run.
#include "flash/flash_control.h"
#include "player/engine_control.h"
#include "ui/movie_engine.h"

namespace vantrel::ui {

namespace {

class FlashEngine final : public MovieEngine {
 public:
  player::FlashPort& Port() override { return port_; }
  int MajorVersion() override { return flash::FlashControl::FlashVersion() >> 16; }
  void Connect(player::Player* player) override { port_.Connect(player); }
  void SetViewSize(QSize size) override { control_.SetSize(size.width(), size.height()); }
  void AdvanceTime(double milliseconds) override { port_.Advance(milliseconds); }
  double FrameInterval() override { return control_.FrameInterval(); }
  void Paint(QPainter& painter, QSize viewport) override { control_.Paint(painter, viewport); }

 private:
  flash::FlashControl control_;
  player::EngineControl port_{control_};
};

}  // namespace

std::unique_ptr<MovieEngine> MakeFlashEngine() { return std::make_unique<FlashEngine>(); }

}  // namespace vantrel::ui
