// The time and frame texts the update tick shows for the current movie.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel::player {

// Display modes of the time texts (options key "TimeMode").
enum TimeMode : std::uint8_t {
  kTimeElapsed = 0,
  kTimeRemaining = 1,
  kFrameCurrent = 2,
  kFramesRemaining = 3,
};

// frames / rate seconds as minutes ":" two-digit seconds ("0:05", "1:00", "10:05"),
// both parts rounded halves to even. A rate of 0 or below gives "0:00".
std::string FormatMovieTime(double frames, double rate);

struct DisplayTexts {
  std::string current;    // time or 1-based frame number
  std::string remaining;  // with a leading "-"
  std::string total;
  std::string status;     // label ": " shown " / " total
};

// The texts for frame (0-based) of a movie of frameCount frames at rate by mode. label
// is the looked-up "Time" text for modes 0 and 1, the "Frame" text for 2 and 3.
DisplayTexts BuildDisplayTexts(int mode, std::int32_t frame, std::int32_t frameCount, double rate,
                               std::string_view label);

}  // namespace vantrel::player
