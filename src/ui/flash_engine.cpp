// The program's own Flash engine behind the window's engine interface; the player's
// control port is the player's engine adapter, which holds the control's events until
// a frame has run.
#include "flash/flash_control.h"
#include "player/engine_control.h"
#include "ui/movie_engine.h"
#include "ui/video_page.h"

namespace vantrel::ui {

namespace {

class FlashEngine final : public MovieEngine {
 public:
  // The video page stands between the player and the control: it answers for the
  // program's own video wrapper and passes everything else on.
  player::FlashPort& Port() override { return page_; }
  int MajorVersion() override { return flash::FlashControl::FlashVersion() >> 16; }
  void Connect(player::Player* player) override {
    port_.Connect(player);
    page_.Connect(player);
  }
  void SetViewSize(QSize size) override { control_.SetSize(size.width(), size.height()); }
  void AdvanceTime(double milliseconds) override { page_.Advance(milliseconds); }
  double FrameInterval() override { return page_.FrameInterval(); }
  void Paint(QPainter& painter, QSize viewport) override { page_.Paint(painter, viewport); }
  void AttachView(QWidget* view) override { page_.AttachView(view); }
  flash::audio::Mixer* SoundMixer() override { return &page_.Mixer(); }

 private:
  flash::FlashControl control_;
  player::EngineControl port_{control_};
  VideoPageHost page_{control_, port_};
};

}  // namespace

std::unique_ptr<MovieEngine> MakeFlashEngine() { return std::make_unique<FlashEngine>(); }

}  // namespace vantrel::ui
