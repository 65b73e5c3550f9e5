// The drawable characters of a movie's dictionary and the contract between the
// definition parser/renderer (shapes, morphs, bitmaps, fonts, texts) and the display
// list that places them.
#pragma once

#include <QPainter>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QTransform>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "flash/swf/types.h"

namespace vantrel::flash {

// Rendering quality: Low draws without anti-aliasing or bitmap smoothing, Medium
// anti-aliases shapes but does not smooth bitmaps, High does both.
enum class Quality { Low, Medium, High };

struct RenderContext {
  QPainter* painter = nullptr;      // target; the character sets its own transforms
  QTransform transform;             // character space (twips) to device pixels
  ColorTransform colorTransform;    // accumulated down the display tree
  Quality quality = Quality::High;
  std::uint16_t ratio = 0;          // morph ratio from PlaceObject, 0..65535
  bool asMask = false;              // drawn as a mask: fills only (masks ignore lines)
};

enum class CharacterKind { Shape, MorphShape, Bitmap, Font, Text, EditText, Button, Sprite, Sound, Video, Other };

class Character {
 public:
  virtual ~Character() = default;
  virtual CharacterKind Kind() const = 0;
  // Draws the character. Sprites and buttons are drawn through the display list.
  virtual void Render(const RenderContext& context) const {}
  // Bounds in twips (of the shape at ratio, for morph shapes).
  virtual QRectF Bounds(std::uint16_t ratio = 0) const { return {}; }
  // True when point (twips, character space) lies on a filled area.
  virtual bool HitTest(QPointF point, std::uint16_t ratio = 0) const { return false; }
  // The filled area in twips, character space (empty for characters without one); clip
  // layers use it as their mask.
  virtual QPainterPath Outline(std::uint16_t ratio = 0) const { return {}; }

  std::uint16_t id = 0;
};

// DefineBinaryData: bytes a movie embeds for its scripts (ActionScript 3 classes linked to
// it are ByteArrays of these bytes).
class BinaryDataCharacter : public Character {
 public:
  CharacterKind Kind() const override { return CharacterKind::Other; }
  std::vector<std::uint8_t> bytes;
};

class Dictionary {
 public:
  std::shared_ptr<Character> Find(std::uint16_t id) const {
    const auto it = characters_.find(id);
    return it == characters_.end() ? nullptr : it->second;
  }
  void Add(std::shared_ptr<Character> character) {
    if (character) characters_[character->id] = std::move(character);
  }
  std::size_t Size() const { return characters_.size(); }
  // Calls visit(character) for every character, by id.
  template <typename Visit>
  void ForEach(Visit&& visit) const {
    for (const auto& [id, character] : characters_) visit(character);
  }

 private:
  std::map<std::uint16_t, std::shared_ptr<Character>> characters_;
};

struct DefinitionContext {
  int swfVersion = 10;
  Dictionary* dictionary = nullptr;        // characters defined so far (bitmaps, fonts)
  std::vector<std::uint8_t> jpegTables;    // body of the JPEGTables tag, when seen
  // Texts whose fonts come later in the movie; defining the font completes them.
  std::vector<std::weak_ptr<Character>> awaitingFonts;
};


}  // namespace vantrel::flash
