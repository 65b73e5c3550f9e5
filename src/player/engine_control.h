// The player's control port over the engine's FlashControl. The engine raises its
// events while it runs frames; the adapter holds them and hands them to the player
// after the frame, so a movie command never re-enters the player in the middle of its
// own operation.
#pragma once

#include <deque>
#include <functional>
#include <string>

#include "flash/control/flash_control.h"
#include "player/flash_port.h"

namespace vantrel::player {

class Player;

class EngineControl : public FlashPort {
 public:
  explicit EngineControl(flash::FlashControl& control);
  ~EngineControl() override;
  EngineControl(const EngineControl&) = delete;
  EngineControl& operator=(const EngineControl&) = delete;

  // The player that receives the control's ready-state and movie-command events.
  void Connect(Player* player) { player_ = player; }

  // Runs the movie's clock by milliseconds, then delivers the events it raised.
  void Advance(double milliseconds);
  // Delivers the events raised so far (ready state, movie commands) to the player.
  void DeliverEvents();
  std::size_t PendingEvents() const { return events_.size(); }

  flash::FlashControl& Control() { return control_; }

  void LoadMovie(std::int32_t layer, const std::string& url) override;
  // Playback calls made between LoadMovie and the first Advance reach a movie that is
  // still loading and do nothing, as with a control that loads in the background: a
  // movie that stops itself on its first frame stays stopped, and the first frame's
  // actions do not run twice because the player rewinds right after loading.
  void Play() override {
    if (!loading_) control_.Play();
  }
  void Stop() override {
    if (!loading_) control_.Stop();
  }
  void Rewind() override {
    if (!loading_) control_.Rewind();
    passedLastFrame_ = false;
  }
  void Forward() override { control_.Forward(); }
  void Back() override { control_.Back(); }
  void GotoFrame(std::int32_t frame) override {
    control_.GotoFrame(frame);
    passedLastFrame_ = false;
  }
  std::int32_t TotalFrames() override { return control_.TotalFrames(); }
  std::int32_t FrameNum() override { return control_.FrameNum(); }
  std::int32_t CurrentFrame() override { return control_.CurrentFrame(); }
  bool Playing() override { return control_.Playing(); }
  bool PassedLastFrame() override;
  void SetPlaying(bool playing) override {
    if (!loading_) control_.SetPlaying(playing);
  }
  std::string Quality2() override { return control_.Quality2(); }
  void SetQuality2(const std::string& quality) override { control_.SetQuality2(quality); }
  std::int32_t ScaleMode() override { return control_.ScaleMode(); }
  void SetScaleMode(std::int32_t mode) override { control_.SetScaleMode(mode); }
  void SetAlignMode(std::int32_t mode) override { control_.SetAlignMode(mode); }
  void SetBGColor(const std::string& color) override { control_.SetBGColor(color); }
  void SetLoop(bool loop) override { control_.SetLoop(loop); }
  void SetMovieAddress(const std::string& address) override { control_.SetMovieAddress(address); }
  void SetVariable(const std::string& name, const std::string& value) override { control_.SetVariable(name, value); }
  std::string GetVariable(const std::string& name) override { return control_.GetVariable(name); }
  std::int32_t FlashVersion() override { return flash::FlashControl::FlashVersion(); }

 private:
  struct Event {
    bool readyState = false;
    int state = 0;
    std::string command, arguments;
  };

  flash::FlashControl& control_;
  Player* player_ = nullptr;
  std::deque<Event> events_;
  bool loading_ = false;  // a movie was loaded and has not run past its first frame yet
  bool passedLastFrame_ = false;  // the last frame showed after an Advance since asked
};

}  // namespace vantrel::player
