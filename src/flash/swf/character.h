// The characters of a movie's dictionary as the model knows them: an id and a kind.
// What draws them (shapes, morphs, bitmaps, fonts, texts) is made in character/ from
// the definitions the tag walk hands over; sprites, buttons and embedded data are the
// model's own.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace vantrel::flash {

enum class CharacterKind { Shape, MorphShape, Bitmap, Font, Text, EditText, Button, Sprite, Sound, Video, Other };

class Drawable;  // character/'s drawable characters implement it (raster/drawable.h)

class Character {
 public:
  virtual ~Character() = default;
  virtual CharacterKind Kind() const = 0;
  // The character as the renderer draws it; null for sprites, buttons, fonts and data.
  virtual const Drawable* AsDrawable() const { return nullptr; }

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


}  // namespace vantrel::flash
