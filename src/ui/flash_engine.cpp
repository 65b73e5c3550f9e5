// The program's own Flash engine behind the window's engine interface; the player's
// control port is the player's engine adapter, which holds the control's events until
// a frame has run.
#include <Qt>

#include "flash/control/flash_control.h"
#include "net/net_service.h"
#include "player/engine_control.h"
#include "ui/engine_network_hooks.h"
#include "ui/movie_engine.h"
#include "ui/video_page.h"

namespace vantrel::ui {

namespace {

// The movie's key code (Key.getCode) for a Qt key; 0 for keys movies never see.
int MovieKeyCode(int key) {
  if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) return key;
  if (key >= Qt::Key_F1 && key <= Qt::Key_F12) return 112 + (key - Qt::Key_F1);
  switch (key) {
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Shift: return 16;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt: return 18;
    case Qt::Key_Pause: return 19;
    case Qt::Key_CapsLock: return 20;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Space: return 32;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_End: return 35;
    case Qt::Key_Home: return 36;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Insert: return 45;
    case Qt::Key_Delete: return 46;
    case Qt::Key_NumLock: return 144;
    case Qt::Key_ScrollLock: return 145;
    case Qt::Key_Semicolon:
    case Qt::Key_Colon: return 186;
    case Qt::Key_Equal:
    case Qt::Key_Plus: return 187;
    case Qt::Key_Comma:
    case Qt::Key_Less: return 188;
    case Qt::Key_Minus:
    case Qt::Key_Underscore: return 189;
    case Qt::Key_Period:
    case Qt::Key_Greater: return 190;
    case Qt::Key_Slash:
    case Qt::Key_Question: return 191;
    case Qt::Key_QuoteLeft:
    case Qt::Key_AsciiTilde: return 192;
    case Qt::Key_BracketLeft:
    case Qt::Key_BraceLeft: return 219;
    case Qt::Key_Backslash:
    case Qt::Key_Bar: return 220;
    case Qt::Key_BracketRight:
    case Qt::Key_BraceRight: return 221;
    case Qt::Key_Apostrophe:
    case Qt::Key_QuoteDbl: return 222;
    default: return 0;
  }
}

class FlashEngine final : public MovieEngine {
 public:
  FlashEngine() {
    EngineNetworkOptions options;
    options.localMayUseNetworkNow = [this] { return localNetwork_ && localNetwork_(); };
    InstallEngineNetwork(control_, network_, options);
  }
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
  void SetSharedObjectFolder(const std::string& folder) override { control_.SetSharedObjectFolder(folder); }
  void SetCropToStage(bool crop) override { control_.SetCropToStage(crop); }
  void SetLocalNetworkRule(std::function<bool()> allowed) override { localNetwork_ = std::move(allowed); }
  void SetScriptStoppedHandler(std::function<void(const std::string& message)> handler) override {
    control_.OnScriptStopped = std::move(handler);
  }
  void SetScriptRunningLongHandler(std::function<void(double seconds)> handler) override {
    control_.OnScriptRunningLong = std::move(handler);
  }

  void MouseMove(QPointF position) override {
    control_.MouseMove(position.x(), position.y());
    port_.DeliverEvents();
  }
  void MouseButton(bool down, QPointF position, int button) override {
    if (down)
      control_.MouseDown(position.x(), position.y(), button);
    else
      control_.MouseUp(position.x(), position.y(), button);
    port_.DeliverEvents();
  }
  void MouseWheel(int lines) override {
    control_.MouseWheel(lines);
    port_.DeliverEvents();
  }
  void Key(bool down, int qtKey, const QString& text) override {
    const int code = MovieKeyCode(qtKey);
    if (code == 0) return;
    const char16_t typed = text.size() == 1 ? text.at(0).unicode() : 0;
    const int ascii = typed >= 32 && typed < 0x7F ? typed : (code == 8 || code == 9 || code == 13 || code == 27 ? code : 0);
    if (down) {
      control_.KeyDown(code, ascii);
      // What the key types goes on to the focused input field (Delete types 127).
      for (const char32_t c : text.toUcs4()) {
        if (c >= 32 || c == 8 || c == 13) control_.TextInput(c);
      }
      if (code == 46 && text.isEmpty()) control_.TextInput(127);
    } else {
      control_.KeyUp(code, ascii);
    }
    port_.DeliverEvents();
  }
  Qt::CursorShape Cursor() override {
    if (!control_.WantsPointer()) return Qt::BlankCursor;
    return control_.WantsHandCursor() ? Qt::PointingHandCursor : Qt::ArrowCursor;
  }

 private:
  // Movies reach the web (and local movies the files beside them) through the engine's
  // network service; it outlives the control's movies, which cancel their transfers.
  net::NetService network_;
  std::function<bool()> localNetwork_;
  flash::FlashControl control_;
  player::EngineControl port_{control_};
  VideoPageHost page_{control_, port_};
};

}  // namespace

std::unique_ptr<MovieEngine> MakeFlashEngine() { return std::make_unique<FlashEngine>(); }

}  // namespace vantrel::ui
