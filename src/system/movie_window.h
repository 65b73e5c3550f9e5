// A window that shows one movie by itself, without the player's skin, playlist or
// menus: the projector, the screen saver and the Flash desktop use it. It runs the
// engine on its own clock, answers the movie's "quit" and "fullscreen" commands, and
// offers what a projector offers: play, loop, rewind, step, quality, full screen, quit.
#pragma once

#include <QElapsedTimer>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

class QMenu;
class QTimer;

namespace vantrel::flash {
class FlashControl;
}

namespace vantrel::system {

class MovieWindow : public QWidget {
  Q_OBJECT

 public:
  enum class Role {
    Projector,    // a normal window with the projector's keys and menu
    ScreenSaver,  // full screen; a key, click or mouse move ends it unless embedded
    Desktop,      // borderless, full screen, below every other window
  };

  explicit MovieWindow(Role role, QWidget* parent = nullptr);
  ~MovieWindow() override;

  // Loads a movie file or movie bytes and starts playing. False with the reason in
  // LastError() when it is not a movie the engine can play.
  bool LoadFile(const std::string& path);
  bool LoadBytes(std::span<const std::uint8_t> bytes);
  const std::string& LastError() const { return lastError_; }

  // The movie's own size in pixels (550x400 before a movie loads).
  QSize MovieSize() const;

  // Sizes the window to the movie (projector) or to the screen (saver, desktop) and
  // shows it.
  void ShowForRole();

  // For a screen saver drawn into a window XScreenSaver owns: input ends nothing,
  // XScreenSaver itself decides when to stop.
  void SetEmbedded(bool embedded) { embedded_ = embedded; }

  flash::FlashControl& Control() { return *control_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void Advance();
  void MovieCommand(const std::string& command, const std::string& arguments);
  void ToggleFullScreen();
  void BuildMenu();
  void EndSaverOnInput();

  Role role_;
  bool embedded_ = false;
  std::unique_ptr<flash::FlashControl> control_;
  std::string lastError_;
  QTimer* clock_ = nullptr;
  QElapsedTimer watch_;
  QMenu* menu_ = nullptr;
  QPoint firstMousePos_{-1, -1};
};

}  // namespace vantrel::system
