// Device fonts: the faces of the system that text fields without embedded fonts are
// drawn in. They are read with FreeType into the same font model as embedded fonts
// (outlines, advances, ascent/descent/leading in font units), so layout, metrics and
// drawing work the same way in every run, with or without a display.
#pragma once

#include <QString>
#include <memory>
#include <string>

#include "flash/character/font.h"

namespace vantrel::flash {

// The device font for a face name and style. "_sans" and names the system does not
// have use the sans-serif face, "_serif" the serif face, "_typewriter" the monospace
// face; faces without a bold or italic file fall back to their regular file. Null when
// no font file can be read at all. Fonts are loaded once and shared.
std::shared_ptr<const Font> DeviceFont(const QString& face, bool bold, bool italic);

// Reads one font file (TrueType or OpenType) into the font model; nullptr with the
// reason on failure. Every character of the Basic Multilingual Plane that the file
// maps gets its glyph.
std::shared_ptr<Font> LoadFontFile(const std::string& path, std::string* error);

// Metrics of device text in twips, rounded the way the player rounds them.
struct DeviceTextMetrics {
  // The advance of one glyph at a size (twips): whole pixels.
  static double Advance(const Font& font, std::size_t glyph, double size);
  // Ascent and descent as TextFormat.getTextExtent reports them (whole pixels).
  static double Ascent(const Font& font, double size);
  static double Descent(const Font& font, double size);
};

}  // namespace vantrel::flash
