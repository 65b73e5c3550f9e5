// Image helpers for the extraction tests: JPEG streams made with libjpeg (whole, or as a
// separate table stream and image stream the way SWF stores them) and full decodes of
// JPEG and PNG files to check what was written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel::testing {

struct JpegParts {
  std::string whole;   // SOI, tables, frame, scan, EOI
  std::string tables;  // SOI, DQT, DHT, EOI (an abbreviated table stream)
  std::string image;   // SOI, frame, scan, EOI without tables (an abbreviated image)
};

// A width x height colour gradient encoded by libjpeg.
JpegParts EncodeJpeg(int width, int height);

// Decodes every scan line with libjpeg; false on any decoding error. width/height out.
bool DecodesAsJpeg(const std::string& bytes, int* width = nullptr, int* height = nullptr);

// Decodes a PNG with libpng into 8-bit RGBA pixels; false when it does not decode.
bool DecodePng(const std::string& bytes, int& width, int& height, std::vector<std::uint8_t>& rgba);

}  // namespace vantrel::testing
