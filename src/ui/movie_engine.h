// What the player window needs from the Flash engine besides the player's control
// port: its clock, its size and its picture.
#pragma once

#include <QPainter>
#include <QPointF>
#include <QSize>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "player/flash_port.h"

class QWidget;

namespace vantrel::player {
class Player;
}
namespace vantrel::flash::audio {
class Mixer;
}

namespace vantrel::ui {

class MovieEngine {
 public:
  virtual ~MovieEngine() = default;

  // The members the player calls.
  virtual player::FlashPort& Port() = 0;
  // The engine's major version (0 when there is no engine).
  virtual int MajorVersion() = 0;
  // The movie area's size in pixels.
  virtual void SetViewSize(QSize size) = 0;
  // The player that hears the control's events (ready state, movie commands).
  virtual void Connect(player::Player* player) = 0;
  // Runs the frames that fit into the milliseconds that passed, then hands the events
  // they raised to the player.
  virtual void AdvanceTime(double milliseconds) = 0;
  // Milliseconds per frame of the loaded movie.
  virtual double FrameInterval() = 0;
  // Paints the current frame scaled into viewport.
  virtual void Paint(QPainter& painter, QSize viewport) = 0;
  // The movie area the engine paints into (its own pages may put controls there).
  virtual void AttachView(QWidget* view) { (void)view; }
  // The option "Crop Movie Viewport": in Show All the stripes beside the stage are black.
  virtual void SetCropToStage(bool crop) { (void)crop; }
  // Where movies keep their shared objects (the user's data folder).
  virtual void SetSharedObjectFolder(const std::string& folder) { (void)folder; }
  // Asked at each transfer a movie opened from a file starts: whether it may use the
  // network (the user's option); unset or false, it reads the files beside it only.
  virtual void SetLocalNetworkRule(std::function<bool()> allowed) { (void)allowed; }
  // Receives the engine's notes about a movie's scripts stopped by its limits.
  virtual void SetScriptStoppedHandler(std::function<void(const std::string& message)> handler) { (void)handler; }
  // Receives, a few times a second from inside a movie's script that runs long, the
  // seconds it has run: the window may repaint and say so, but must not call the engine.
  virtual void SetScriptRunningLongHandler(std::function<void(double seconds)> handler) { (void)handler; }
  // The mixer every sound of the engine plays on; null for an engine without sound.
  virtual flash::audio::Mixer* SoundMixer() { return nullptr; }

  // Input from the movie area (positions in its pixels; buttons 0 left, 1 right, 2
  // middle; keys as Qt key codes with the text they type). The events the movie raises
  // reach the player before the call returns. Engines without input ignore them.
  virtual void MouseMove(QPointF) {}
  virtual void MouseButton(bool /*down*/, QPointF, int /*button*/) {}
  virtual void MouseWheel(int /*lines*/) {}
  virtual void Key(bool /*down*/, int /*qtKey*/, const QString& /*text*/) {}
  // The pointer the movie wants over the area: the hand over its buttons, none when
  // the movie hid it.
  virtual Qt::CursorShape Cursor() { return Qt::ArrowCursor; }
};

// The program's own engine behind the interface; nullptr when the program was built
// without it.
std::unique_ptr<MovieEngine> MakeFlashEngine();

}  // namespace vantrel::ui
