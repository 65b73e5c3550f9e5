// FlashControl: the Flash player component the program hosts. It loads a movie, plays
// it on a clock the host advances, exchanges variables with the root timeline, raises
// the movie's FSCommand calls and paints the current frame. No widgets: the player
// window wraps it.
#pragma once

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "flash/display/player.h"
#include "flash/render/renderer.h"
#include "flash/swf/movie.h"

namespace vantrel::flash {

namespace audio {
class Mixer;
class MovieSounds;
}  // namespace audio

class FlashControl {
 public:
  FlashControl();
  ~FlashControl();
  FlashControl(const FlashControl&) = delete;
  FlashControl& operator=(const FlashControl&) = delete;

  // Events. OnReadyStateChange receives 4 once a movie has loaded; FSCommand receives
  // the command and its arguments of getURL("FSCommand:command", arguments); OnTrace
  // receives each trace() line.
  std::function<void(int state)> OnReadyStateChange;
  std::function<void(const std::string& command, const std::string& arguments)> FSCommand;
  std::function<void(const std::string& line)> OnTrace;
  // A frame's scripts have been running for seconds and go on (from inside the script,
  // a few times a second): the host may repaint its window and say so. While it runs,
  // the control refuses what would run scripts (ticks, input, loads, variables, gotos).
  std::function<void(double seconds)> OnScriptRunningLong;
  // Processor seconds a frame's scripts may run before they are stopped; 0 (the
  // default) follows the movie's ScriptLimits, else the reference player's 15 seconds.
  // Takes effect from the next load.
  void SetScriptSeconds(double seconds) { scriptSeconds_ = seconds; }
  // A script of the movie was stopped (it ran too long or took too much memory), or a
  // frame's filters went past the drawing budget (said once per movie); the movie goes
  // on. Receives the message for the log and the status area.
  std::function<void(const std::string& message)> OnScriptStopped;

  // The network the movies use for web addresses (loadMovie, MovieClipLoader,
  // loadVariables, LoadVars, XML), installed by the host: see PlayerHooks::fetch. Unset,
  // movies reach local files only. Takes effect from the next load.
  std::function<std::uint64_t(const FetchRequest& request, FetchCallbacks callbacks)> Fetch;
  std::function<void(std::uint64_t id)> CancelFetch;
  // getURL to a browser window (the address as the movie gave it, and the window).
  std::function<void(const std::string& url, const std::string& target)> OpenUrl;
  // Where shared objects are kept ("" keeps them in memory for the process). Takes
  // effect from the next load.
  void SetSharedObjectFolder(const std::string& folder) { sharedObjectFolder_ = folder; }
  // The address the next loaded movie is known by (its web address when the host
  // fetched it into a local copy); relative loads resolve against it. "" (the default,
  // and again after each load): the path it was loaded from.
  void SetMovieAddress(const std::string& address) { movieAddress_ = address; }
  // The loaded movie's own address; "" without a movie.
  std::string MovieAddress() const;

  // Loads the movie at path into layer 0; a "?" and "name=value&..." after the path
  // become variables of the root timeline before its first frame runs. Returns false
  // (with LastError) when the layer is not 0 or the file is not a movie; the movie
  // already shown then stays.
  bool LoadMovie(int layer, const std::string& path);
  // The same for movie bytes already in memory; query is "" or starts with "?".
  bool LoadMovieData(std::span<const std::uint8_t> bytes, const std::string& query = "");
  // Why the last load failed ("" after a success).
  const std::string& LastError() const { return lastError_; }
  bool HasMovie() const { return player_ != nullptr; }
  // The loaded movie; null before the first successful load.
  const Movie* GetMovie() const { return movie_.get(); }
  // 4 with a movie, 0 without.
  int ReadyState() const { return player_ ? 4 : 0; }

  // Playback. Forward and Back step one frame and stop; Rewind goes to the first frame
  // and stops. GotoFrame takes a 0-based frame (clamped) and keeps the playing state.
  void Play();
  void Stop();
  void Rewind();
  void Forward();
  void Back();
  void GotoFrame(int frame);
  // Frame count; 0 without a movie.
  int TotalFrames() const;
  // Current frame, 0-based (the last is TotalFrames() - 1); -1 without a movie.
  int FrameNum() const;
  int CurrentFrame() const { return FrameNum(); }
  bool Playing() const;
  void SetPlaying(bool playing);

  // Quality by name: "High", "Medium", "Low", "AutoHigh", "AutoLow" (any case); other
  // names are ignored. Read back as the same name.
  const std::string& Quality2() const { return quality_; }
  void SetQuality2(const std::string& name);
  // Quality by number: 0 low, 1 high, 2 auto-low, 3 auto-high.
  int Quality() const;
  void SetQuality(int quality);
  flash::Quality RenderQuality() const;

  // 0 show all, 1 no border, 2 exact fit, 3 no scale; other values are ignored.
  int ScaleMode() const { return scaleMode_; }
  void SetScaleMode(int mode);
  // Alignment bits: 1 left, 2 right, 4 top, 8 bottom; 0 centres.
  int AlignMode() const { return alignMode_; }
  void SetAlignMode(int mode) { alignMode_ = mode & 15; }
  // Crops the view to the stage: in show-all mode the stripes beside the movie are
  // black rather than the movie's background and whatever it draws off its stage.
  bool CropToStage() const { return cropToStage_; }
  void SetCropToStage(bool crop) { cropToStage_ = crop; }
  // Threads that draw a frame (0 = the default: VANTREL_DRAWING_THREADS, else one per
  // core; 1 = the calling thread alone). The picture does not depend on it.
  int DrawingThreads() const { return drawingThreads_; }
  void SetDrawingThreads(int threads) { drawingThreads_ = std::max(0, threads); }
  // Background as six hexadecimal digits, red first. Setting overrides the movie's
  // own colour; text that is not a colour is ignored.
  std::string BGColor() const;
  void SetBGColor(const std::string& color);
  // Looping off stops the movie at its last frame.
  bool Loop() const { return loop_; }
  void SetLoop(bool loop);

  // Variables of the root timeline ("name", "clip.name", "_alpha" and the other
  // properties). GetVariable returns "" for an unknown variable or without a movie.
  void SetVariable(const std::string& name, const std::string& value);
  std::string GetVariable(const std::string& name) const;

  // The component's version: major version 32 in the high 16 bits.
  static int FlashVersion() { return 32 << 16; }

  // The clock. The host calls AdvanceTime with the milliseconds that passed; the frames
  // the movie's frame rate fits into them run (at most a few per call, so a stalled
  // host does not race to catch up). Tick runs exactly one frame.
  void AdvanceTime(double milliseconds);
  void Tick();
  double FrameInterval() const;  // milliseconds per frame

  // The control's size in pixels (its container's client area).
  void SetSize(int width, int height);
  QSize Size() const { return size_; }

  // Paints the current frame into surface, scaled to the surface's size by the scale
  // mode. Without a movie the surface is filled with the background colour.
  void PaintTo(QImage& surface) const;
  void Paint(QPainter& painter, QSize viewport) const;

  // Input. Positions are in the control's pixels and reach the movie through the same
  // scale and alignment as Paint; buttons are 0 left, 1 right, 2 middle. Key codes are
  // the movie's own (Key.getCode: 65 for A, 13 for Enter, 37 for the left arrow), ascii
  // the character the key types (0 when none). Without a movie the calls do nothing.
  void MouseMove(double x, double y);
  void MouseDown(double x, double y, int button = 0);
  void MouseUp(double x, double y, int button = 0);
  void MouseWheel(int lines);
  void KeyDown(int keyCode, int ascii = 0);
  void KeyUp(int keyCode, int ascii = 0);
  // A character typed (after its KeyDown): it goes into the focused input field; 8
  // (Backspace) and 127 (Delete) remove.
  void TextInput(char32_t character);
  // An editing command for the focused text field: "MoveLeft", "MoveRight",
  // "MoveLeftLine", "MoveRightLine", "SelectLeft", "SelectRight", "SelectAll", "Copy",
  // "Cut", "Paste" (unknown names do nothing). Copy, cut and paste use the control's
  // clipboard text.
  void TextControl(const std::string& command);
  // The window the movie plays in lost the keyboard focus.
  void FocusLost();
  void SetClipboardText(const QString& text) { clipboard_ = text; }
  const QString& ClipboardText() const { return clipboard_; }
  // True when the pointer is over something the movie lets the user click.
  bool WantsHandCursor() const { return player_ && player_->OverButton(); }
  // False while the movie has hidden the pointer (Mouse.hide()).
  bool WantsPointer() const { return !player_ || player_->mouseVisible; }
  // Set once the movie has called fscommand("quit") (the command still reaches FSCommand).
  bool QuitRequested() const { return quitRequested_; }

  // The running player; null without a movie.
  flash::MovieRuntime* Engine() { return player_.get(); }

  // The mixer the movies' sounds play on. Without one (the default) the movie plays on
  // a silent mixer of its own that moves one frame's worth of sound with each frame,
  // so scripts still see their sounds play and end. Takes effect from the next load.
  void SetMixer(audio::Mixer* mixer) { mixer_ = mixer; }
  // The sounds of the loaded movie; null without a movie.
  audio::MovieSounds* Sounds() { return sounds_.get(); }

 private:
  PlayerHooks MakeHooks();
  // A movie is there and no script of it is running (see OnScriptRunningLong).
  bool Ready() const { return player_ && !inScript_; }
  Rgba Background() const;
  QPointF ToStage(double x, double y) const;

  std::shared_ptr<const Movie> movie_;
  void TickPlayer();
  audio::Mixer* mixer_ = nullptr;
  std::unique_ptr<audio::Mixer> silentMixer_;  // when the host gave no mixer
  std::vector<float> silentScratch_;
  double silentDue_ = 0;  // frames of sound the silent mixer owes the movie
  std::unique_ptr<audio::MovieSounds> sounds_;  // outlives player_, whose clips report to it
  std::unique_ptr<flash::MovieRuntime> player_;
  std::string lastError_;
  // A frame of this movie ran past the drawing budget: the message went out, and later
  // frames get a small budget so that the window keeps answering.
  mutable bool effectsOverBudget_ = false;
  std::string movieUrl_;  // the path LoadMovie read, for the movie's own address
  std::string movieAddress_;
  std::string sharedObjectFolder_;
  std::string quality_ = "High";
  int scaleMode_ = 0;
  bool cropToStage_ = false;
  int drawingThreads_ = 0;
  int alignMode_ = 0;
  bool loop_ = true;
  bool hasBackground_ = false;
  Rgba background_{255, 255, 255, 255};
  double pendingMs_ = 0;
  bool quitRequested_ = false;
  bool inScript_ = false;  // the host is being told of a long script
  double scriptSeconds_ = 0;
  QSize size_{550, 400};
  QString clipboard_;
};

}  // namespace vantrel::flash
