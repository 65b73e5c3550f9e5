// What the player needs from a Flash control: the members it calls. The window hands
// the control's events (ready state, movie commands) to the Player.
#pragma once

#include <cstdint>
#include <string>

namespace vantrel::player {

class FlashPort {
 public:
  virtual ~FlashPort() = default;

  // Replaces the movie on layer (always 0) with the movie at url (a path, optionally
  // followed by "?" and parameters that become root variables).
  virtual void LoadMovie(std::int32_t layer, const std::string& url) = 0;
  // The address the next loaded movie is known by, when it differs from the path given
  // to LoadMovie (a web movie played from its copy in the cache): the movie's relative
  // loads resolve against it. "" for none.
  virtual void SetMovieAddress(const std::string& address) { (void)address; }
  virtual void Play() = 0;
  virtual void Stop() = 0;
  virtual void Rewind() = 0;   // to the first frame
  virtual void Forward() = 0;  // one frame on
  virtual void Back() = 0;     // one frame back
  // Jumps to frame (0-based); the playing state is the caller's business.
  virtual void GotoFrame(std::int32_t frame) = 0;
  virtual std::int32_t TotalFrames() = 0;
  // Current frame, 0-based; the last frame is TotalFrames() - 1.
  virtual std::int32_t FrameNum() = 0;
  virtual std::int32_t CurrentFrame() = 0;
  virtual bool Playing() = 0;
  // Whether the movie showed its last frame since the previous call (or a load or seek):
  // the update tick asks every 300 ms, and a movie that loops shows its last frame for
  // only one frame's time. A control that cannot tell answers whether it shows it now.
  virtual bool PassedLastFrame() { return TotalFrames() > 0 && FrameNum() + 1 == TotalFrames(); }
  virtual void SetPlaying(bool playing) = 0;
  // "High", "Medium", "Low", "AutoHigh", "AutoLow"; read back as the same name.
  virtual std::string Quality2() = 0;
  virtual void SetQuality2(const std::string& quality) = 0;
  // 0 show all, 1 no border, 2 fit in window, 3 no scaling.
  virtual std::int32_t ScaleMode() = 0;
  virtual void SetScaleMode(std::int32_t mode) = 0;
  virtual void SetAlignMode(std::int32_t mode) = 0;
  // Six hexadecimal digits, red first.
  virtual void SetBGColor(const std::string& color) = 0;
  virtual void SetLoop(bool loop) = 0;
  virtual void SetVariable(const std::string& name, const std::string& value) = 0;
  // The variable's value as text ("" when it is not set).
  virtual std::string GetVariable(const std::string& name) = 0;
  // The control's version number; the major version is in the high 16 bits.
  virtual std::int32_t FlashVersion() = 0;
};

}  // namespace vantrel::player
