// JPEG output: every picture the program writes (thumbnails, screenshots, the wallpaper
// picture, the generator's thumbnails) is saved through SaveJPEG.
#pragma once

#include <string>

#include "browser/dib_section.h"
#include "core/log.h"

namespace vantrel::browser {

// The error number SaveJPEG raises, and the texts its descriptions start with.
inline constexpr long kJpegErrorNumber = 26001;
inline constexpr const char* kJpegInitFailed = "Failed to initialise the IJL library: ";
inline constexpr const char* kJpegSaveFailed = "Failed to save to JPG ";

// Saves surface as a baseline JPEG of the surface's size at quality (0..100, clamped) to
// path. An existing file at path is deleted first; the new file is written beside it and
// renamed into place, so a failure never leaves a half-written JPEG at path.
// Returns true when the file was written. On failure returns false and fills error:
// number 26001, source "<program>.mIntelJPEGLibrary", and the description
// "Failed to initialise the IJL library: <code>" (the encoder could not be set up, or the
// surface is empty) or "Failed to save to JPG <code>" (encoding or writing failed). The
// code is the encoder's message code, or -1 when the file could not be created and -2
// when it could not be written completely.
bool SaveJPEG(const cDIBSection& surface, const std::string& path, int quality,
              core::RunError& error);

}  // namespace vantrel::browser
