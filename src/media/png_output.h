// PNG files for the lossless images of a movie (DefineBitsLossless/DefineBitsLossless2)
// and for JPEG images that carry a separate alpha plane (DefineBitsJPEG3/4), written
// row by row with libpng so a large image never sits in memory whole.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace vantrel::media {

class OutputFile;

// The largest image written, in pixels (the player's own bitmap limit).
inline constexpr std::uint64_t kMaxImagePixels = 16777216;

// Writes the body of a DefineBitsLossless (withAlpha false: an RGB PNG) or
// DefineBitsLossless2 (withAlpha true: an RGBA PNG with straight alpha) tag, id
// included, to out. Returns "" on success, else the reason (unknown bitmap format,
// damaged or short zlib data, image too large, write failure).
std::string WriteLosslessPng(std::span<const std::uint8_t> body, bool withAlpha, OutputFile& out);

// Decodes jpeg (libjpeg) and writes it with the zlib-compressed alpha plane (one byte
// per pixel, row by row) as an RGBA PNG. Missing alpha data leaves the rest opaque.
// Returns "" on success, else the reason.
std::string WriteJpegAlphaPng(std::span<const std::uint8_t> jpeg, std::span<const std::uint8_t> alpha,
                              OutputFile& out);

}  // namespace vantrel::media
