// Pictures loaded into clips. loadMovie and MovieClipLoader accept JPEG, PNG and GIF
// files besides movies; such a picture becomes a one-frame movie of its own size that
// shows it at the clip's origin (getSWFVersion answers -1 for it).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "flash/swf/movie.h"

namespace vantrel::flash {

// True when bytes start like a JPEG, PNG or GIF file.
bool IsLoadableImage(std::span<const std::uint8_t> bytes);

// The picture in bytes as a movie; null (with the reason in *error) when it is no
// picture or cannot be decoded.
std::shared_ptr<Movie> MovieFromImage(std::span<const std::uint8_t> bytes, std::string* error);

}  // namespace vantrel::flash
