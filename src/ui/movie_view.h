// The movie area `View`: paints the engine's current frame, hands the mouse and the
// keyboard to the movie and reports right clicks.
#pragma once

#include <QWidget>
#include <functional>

namespace vantrel::ui {

class MovieEngine;

class MovieView : public QWidget {
  Q_OBJECT

 public:
  explicit MovieView(QWidget* parent = nullptr);

  // The engine whose frames the view shows; null shows the plain background.
  void SetEngine(MovieEngine* engine);

  std::function<void(QPoint globalPos)> onContextMenu;
  // The player's own keys (Escape out of full screen, the handy keys) come before the
  // movie's: true when the player took the key.
  std::function<bool(QKeyEvent* event)> onPlayerKey;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  bool focusNextPrevChild(bool next) override;

 private:
  // The movie's answer may change the picture and the pointer it wants.
  void AfterInput();

  MovieEngine* engine_ = nullptr;
};

}  // namespace vantrel::ui
