#include "player/time_text.h"

#include "player/rounding.h"

namespace vantrel::player {

std::string FormatMovieTime(double frames, double rate) {
  if (!(rate > 0)) return "0:00";
  const double seconds = frames / rate;
  // Seconds are rounded first and the minutes taken from what is left, so 59.6 s shows
  // as 1:00 rather than 0:60.
  std::int32_t wholeSeconds = RoundHalfEven(seconds) % 60;
  const std::int32_t minutes = RoundHalfEven((seconds - wholeSeconds) / 60.0);
  std::string text = std::to_string(minutes);
  if (wholeSeconds < 0) {
    wholeSeconds = -wholeSeconds;
    if (minutes == 0) text = "-0";
  }
  text += wholeSeconds < 10 ? ":0" : ":";
  text += std::to_string(wholeSeconds);
  return text;
}

DisplayTexts BuildDisplayTexts(int mode, std::int32_t frame, std::int32_t frameCount, double rate,
                               std::string_view label) {
  DisplayTexts texts;
  if (mode == kFrameCurrent || mode == kFramesRemaining) {
    texts.current = std::to_string(static_cast<std::int64_t>(frame) + 1);
    texts.remaining = "-" + std::to_string(static_cast<std::int64_t>(frameCount) - frame);
    texts.total = std::to_string(frameCount);
  } else {
    texts.current = FormatMovieTime(frame, rate);
    texts.remaining = "-" + FormatMovieTime(static_cast<double>(frameCount) - frame - 1, rate);
    texts.total = FormatMovieTime(frameCount, rate);
  }
  const bool showRemaining = mode == kTimeRemaining || mode == kFramesRemaining;
  texts.status = std::string(label) + ": " + (showRemaining ? texts.remaining : texts.current) + " / " +
                 texts.total;
  return texts;
}

}  // namespace vantrel::player
