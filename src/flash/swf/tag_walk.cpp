// The walk over a movie's tags: definitions go to the dictionary, control tags become
// per-frame display commands and action blocks of the root's or a sprite's timeline.
#include <algorithm>
#include <cctype>

#include "flash/swf/movie_loader.h"
#include "flash/swf/place_object.h"
#include "flash/swf/sound.h"
#include "flash/swf/stream.h"
#include "flash/swf/video.h"

namespace vantrel::flash {

namespace {

enum Tag : std::uint16_t {
  kEnd = 0,
  kShowFrame = 1,
  kScriptLimits = 65,
  kPlaceObject = 4,
  kRemoveObject = 5,
  kDefineButton = 7,
  kJpegTables = 8,
  kSetBackgroundColor = 9,
  kDoAction = 12,
  kDefineButtonSound = 17,
  kDefineButtonCxform = 23,
  kPlaceObject2 = 26,
  kRemoveObject2 = 28,
  kDefineButton2 = 34,
  kDefineSprite = 39,
  kFrameLabel = 43,
  kExportAssets = 56,
  kImportAssets = 57,
  kDoInitAction = 59,
  kImportAssets2 = 71,
  kFileAttributes = 69,
  kPlaceObject3 = 70,
  kDoAbc = 72,
  kSymbolClass = 76,
  kDefineScalingGrid = 78,
  kDoAbc2 = 82,
  kDefineSceneAndFrameLabelData = 86,
};

}  // namespace

bool IsDrawableDefinition(std::uint16_t code) {
  switch (code) {
    case 2: case 22: case 32: case 83:  // shapes
    case 46: case 84:                   // morph shapes
    case 6: case 21: case 35: case 90:  // JPEG bitmaps
    case 20: case 36:                   // lossless bitmaps
    case 10: case 48: case 75:          // fonts
    case 13: case 62:                   // font infos
    case 11: case 33: case 37:          // texts
    case 74:                            // text settings
      return true;
    default:
      return false;
  }
}

namespace {

// The body of every tag in a tag stream, as (code, body). A length running past the end
// is cut to what is there, and the walk stops after it.
struct RawTag {
  std::uint16_t code = 0;
  std::span<const std::uint8_t> body;
};

bool NextTag(SwfStream& stream, RawTag& tag) {
  if (stream.Remaining() < 2) return false;
  const std::uint16_t codeAndLength = stream.U16();
  tag.code = codeAndLength >> 6;
  std::size_t length = codeAndLength & 0x3F;
  if (length == 0x3F) {
    if (stream.Remaining() < 4) return false;
    length = stream.U32();
  }
  tag.body = stream.ReadBytes(std::min(length, stream.Remaining()));
  return true;
}

ActionBlock MakeBlock(std::span<const std::uint8_t> bytes) {
  return std::make_shared<const std::vector<std::uint8_t>>(bytes.begin(), bytes.end());
}

std::shared_ptr<ButtonCharacter> ParseButton(std::uint16_t code, std::span<const std::uint8_t> body, Movie& movie) {
  SwfStream in(body);
  auto button = std::make_shared<ButtonCharacter>();
  button->id = in.U16();
  const bool second = code == kDefineButton2;
  std::uint16_t actionOffset = 0;
  std::size_t actionStart = 0;
  if (second) {
    button->trackAsMenu = (in.U8() & 1) != 0;
    actionStart = in.Position();
    actionOffset = in.U16();
  }
  // Records end with a zero flag byte; each record takes at least six bytes, so the
  // loop ends with the data.
  while (!in.AtEnd()) {
    const std::uint8_t flags = in.U8();
    if (flags == 0) break;
    ButtonRecord record;
    record.states = flags & 0x0F;
    record.characterId = in.U16();
    record.depth = in.U16();
    record.matrix = in.ReadMatrix();
    if (second) record.colorTransform = in.ReadColorTransform(true);
    if (flags & 0x10) record.filters = ReadFilterList(in);
    if (flags & 0x20) record.blendMode = in.U8();
    if (in.Overrun()) break;
    button->records.push_back(std::move(record));
  }
  if (!second) {
    button->conditions.push_back({0x0008, MakeBlock(in.Rest())});  // on release
    return button;
  }
  if (actionOffset == 0) return button;
  in.Seek(actionStart + actionOffset);
  while (in.Remaining() >= 4) {
    const std::size_t start = in.Position();
    const std::uint16_t size = in.U16();
    const std::uint16_t conditions = in.U16();
    const std::size_t actionsLength = size >= 4 ? size - 4 : in.Remaining();
    button->conditions.push_back({conditions, MakeBlock(in.ReadBytes(actionsLength))});
    if (size == 0) break;
    if (in.Position() <= start) break;
  }
  return button;
}

// DefineButtonSound as the display sees it: which sound each transition starts (the
// sound data has the rest).
void SetButtonSounds(std::span<const std::uint8_t> body, Movie& movie) {
  SwfStream in(body);
  const std::uint16_t id = in.U16();
  auto button = std::dynamic_pointer_cast<ButtonCharacter>(movie.dictionary.Find(id));
  const auto sounds = movie.sounds.buttons.find(id);
  if (!button || sounds == movie.sounds.buttons.end()) return;
  for (std::size_t i = 0; i < 4; ++i) button->sounds[i] = sounds->second[i] ? sounds->second[i]->soundId : 0;
}

void AddLabel(Timeline& timeline, std::string label, int frame) {
  if (label.empty() || timeline.labels.count(label)) return;
  timeline.labels.emplace(label, frame);
  timeline.labelsInOrder.push_back(std::move(label));
}

// Walks one tag stream into timeline. The root walk also handles definitions; a sprite's
// walk only takes control tags (definitions inside sprites are not allowed).
void WalkTimeline(SwfStream& stream, Movie& movie, DefinitionReader* definitions, Timeline& timeline,
                  std::uint16_t declaredFrames, std::uint16_t spriteId) {
  const bool isRoot = spriteId == 0;
  // Frames are made as the tags fill them, so a header that promises 65535 frames costs
  // nothing; frames it promises beyond the last ShowFrame are simply empty.
  timeline.frames.clear();
  std::size_t frame = 0;
  auto current = [&]() -> Frame& {
    if (frame >= timeline.frames.size()) timeline.frames.resize(frame + 1);
    return timeline.frames[frame];
  };
  // The frames the file really holds count, whatever the header declares.
  struct FrameCountSetter {
    Timeline& timeline;
    std::uint16_t declared;
    const std::size_t& showFrames;
    bool ended = false;
    ~FrameCountSetter() {
      // Frames are stored up to the last one with commands; the ShowFrame tags count all.
      const bool unfinished = timeline.frames.size() > showFrames;  // tags after the last ShowFrame
      const int stored = static_cast<int>(std::min<std::size_t>(std::max(timeline.frames.size(), showFrames), 65535));
      // A timeline that ends with its End tag has the frames it holds; one cut short has
      // at least the frames its header promises and waits at the last it got.
      timeline.frameCount = ended ? std::max(stored, 1) : std::max({static_cast<int>(declared), stored, 1});
      timeline.framesLoaded = std::max(1, stored);
      if (timeline.frames.size() > static_cast<std::size_t>(stored)) timeline.frames.resize(static_cast<std::size_t>(stored));
      timeline.repeats = ended && !unfinished;
    }
  } setter{timeline, declaredFrames, frame};
  RawTag tag;
  while (NextTag(stream, tag)) {
    ++movie.tagsRead;
    // Sounds and embedded video, of the root and of every sprite, become data of the
    // model here: audio and video never read the tags themselves.
    if (ReadSoundTag(tag.code, tag.body, spriteId, static_cast<int>(frame), movie.sounds)) {
      if (tag.code == kDefineButtonSound) SetButtonSounds(tag.body, movie);
      continue;
    }
    if (ReadVideoTag(tag.code, tag.body, movie.videoStreams)) continue;
    SwfStream in(tag.body);
    switch (tag.code) {
      case kEnd:
        setter.ended = true;
        return;
      case kShowFrame:
        ++frame;
        break;
      case kPlaceObject:
      case kPlaceObject2:
      case kPlaceObject3: {
        DisplayCommand command;
        if (ParsePlaceObject(tag.code, tag.body, movie.header.version, command.place))
          current().commands.push_back(std::move(command));
        else
          movie.warnings.push_back("PlaceObject cut short");
        break;
      }
      case kRemoveObject:
      case kRemoveObject2: {
        DisplayCommand command;
        command.type = DisplayCommand::Type::Remove;
        if (tag.code == kRemoveObject) in.U16();
        command.place.depth = in.U16();
        if (!in.Overrun()) current().commands.push_back(std::move(command));
        break;
      }
      case kFrameLabel: {
        std::string label = in.String();
        if (label.empty()) break;
        if (timeline.scenes.empty()) {
          const auto at = std::upper_bound(timeline.allLabels.begin(), timeline.allLabels.end(), static_cast<int>(frame),
                                           [](int f, const auto& entry) { return f < entry.first; });
          timeline.allLabels.emplace(at, static_cast<int>(frame), label);
        }
        AddLabel(timeline, std::move(label), static_cast<int>(frame));
        break;
      }
      case kDoAction: {
        current().actions.push_back(MakeBlock(tag.body));
        DisplayCommand command;
        command.type = DisplayCommand::Type::Action;
        command.actions = current().actions.back();
        current().commands.push_back(std::move(command));
        break;
      }
      case kDoInitAction: {
        const std::uint16_t sprite = in.U16();
        if (in.Overrun()) break;
        current().initActions.emplace_back(sprite, MakeBlock(in.Rest()));
        DisplayCommand command;
        command.type = DisplayCommand::Type::InitAction;
        command.place.characterId = sprite;
        command.actions = current().initActions.back().second;
        current().commands.push_back(std::move(command));
        break;
      }
      default:
        if (!isRoot) break;  // sprites hold control tags only
        switch (tag.code) {
          case kFileAttributes: {
            const std::uint8_t flags = in.U8();
            movie.actionScript3 = (flags & 0x08) != 0;
            movie.useNetwork = (flags & 0x01) != 0;
            break;
          }
          case kDoAbc:
          case kDoAbc2: {
            Frame::AbcBlock block;
            if (tag.code == kDoAbc2) {
              block.flags = in.U32();
              block.name = in.String();
              if (in.Overrun()) break;
            }
            block.bytes = MakeBlock(tag.code == kDoAbc2 ? in.Rest() : tag.body);
            current().abc.push_back(std::move(block));
            break;
          }
          case kDefineSceneAndFrameLabelData: {
            // Scenes by their first frame, then the labels; the labels of FrameLabel tags
            // give way to these.
            std::vector<Timeline::Scene> scenes;
            const std::uint32_t sceneCount = in.EncodedU32();
            for (std::uint32_t i = 0; i < sceneCount && !in.Overrun() && scenes.size() < 0x10000; ++i) {
              const std::uint32_t offset = in.EncodedU32();
              std::string name = in.String();
              if (!in.Overrun()) scenes.push_back({std::move(name), static_cast<int>(std::min<std::uint32_t>(offset, 0xFFFF))});
            }
            std::vector<std::pair<int, std::string>> labels;
            const std::uint32_t labelCount = in.EncodedU32();
            for (std::uint32_t i = 0; i < labelCount && !in.Overrun() && labels.size() < 0x10000; ++i) {
              const std::uint32_t at = in.EncodedU32();
              std::string name = in.String();
              if (!in.Overrun()) labels.emplace_back(static_cast<int>(std::min<std::uint32_t>(at, 0xFFFF)), std::move(name));
            }
            if (scenes.empty()) break;
            std::stable_sort(labels.begin(), labels.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
            timeline.scenes = std::move(scenes);
            timeline.allLabels.clear();
            for (const auto& [at, name] : labels) {
              timeline.allLabels.emplace_back(at, name);
              AddLabel(timeline, name, at);
            }
            break;
          }
          case kSymbolClass: {
            const std::uint16_t count = in.U16();
            for (std::uint16_t i = 0; i < count && !in.Overrun(); ++i) {
              const std::uint16_t id = in.U16();
              std::string name = in.String();
              if (in.Overrun()) break;
              movie.sounds.names.insert_or_assign(name, id);
              current().symbolClasses.emplace_back(id, std::move(name));
            }
            break;
          }
          case kScriptLimits:
            movie.maxRecursionDepth = in.U16();
            movie.scriptTimeoutSeconds = in.U16();
            if (in.Overrun()) movie.maxRecursionDepth = movie.scriptTimeoutSeconds = 0;
            break;
          case kSetBackgroundColor:
            if (!movie.hasBackground) {
              movie.background = in.ReadRgb();
              movie.hasBackground = !in.Overrun();
            }
            break;
          case kJpegTables:
            movie.jpegTables.assign(tag.body.begin(), tag.body.end());
            break;
          case kDefineSprite: {
            auto sprite = std::make_shared<SpriteCharacter>();
            sprite->id = in.U16();
            const std::uint16_t frames = in.U16();
            if (in.Overrun()) break;
            SwfStream spriteTags(in.Rest());
            WalkTimeline(spriteTags, movie, definitions, sprite->timeline, frames, sprite->id);
            sprite->timeline.bytes = static_cast<std::uint32_t>(in.Rest().size());
            movie.dictionary.Add(std::move(sprite));
            break;
          }
          case kDefineButton:
          case kDefineButton2:
            movie.dictionary.Add(ParseButton(tag.code, tag.body, movie));
            break;
          case kDefineButtonCxform: {
            auto button = std::dynamic_pointer_cast<ButtonCharacter>(movie.dictionary.Find(in.U16()));
            if (button) button->colorTransform = in.ReadColorTransform(false);
            break;
          }
          case kDefineScalingGrid: {
            // The grid of a sprite or button defined before it; other characters have none.
            const std::shared_ptr<Character> target = movie.dictionary.Find(in.U16());
            const Rect grid = in.ReadRect();
            if (in.Overrun() || !target) break;
            if (auto* sprite = dynamic_cast<SpriteCharacter*>(target.get())) sprite->scalingGrid = grid;
            if (auto* button = dynamic_cast<ButtonCharacter*>(target.get())) button->scalingGrid = grid;
            break;
          }
          case kExportAssets: {
            const std::uint16_t count = in.U16();
            for (std::uint16_t i = 0; i < count && !in.Overrun(); ++i) {
              const std::uint16_t id = in.U16();
              std::string name = in.String();
              if (in.Overrun()) break;
              movie.sounds.names.insert_or_assign(name, id);
              movie.exports.insert_or_assign(std::move(name), id);  // a later export of a name wins
            }
            break;
          }
          case 87: {  // DefineBinaryData: id, four reserved bytes, the data
            auto data = std::make_shared<BinaryDataCharacter>();
            data->id = in.U16();
            if (tag.body.size() >= 6) data->bytes.assign(tag.body.begin() + 6, tag.body.end());
            if (!in.Overrun()) movie.dictionary.Add(std::move(data));
            break;
          }
          case kImportAssets:
          case kImportAssets2: {
            std::string url = in.String();
            if (tag.code == kImportAssets2) {
              in.U8();
              in.U8();
            }
            const std::uint16_t count = in.U16();
            for (std::uint16_t i = 0; i < count && !in.Overrun(); ++i) {
              const std::uint16_t id = in.U16();
              std::string name = in.String();
              if (!in.Overrun()) movie.imports.push_back({url, std::move(name), id, static_cast<int>(frame)});
            }
            DisplayCommand command;
            command.type = DisplayCommand::Type::Import;
            command.url = std::move(url);
            current().commands.push_back(std::move(command));
            break;
          }
          default:
            if (definitions && IsDrawableDefinition(tag.code)) {
              std::string error;
              auto character = definitions->Read(tag.code, tag.body, movie, &error);
              if (character)
                movie.dictionary.Add(std::move(character));
              else if (!error.empty())
                movie.warnings.push_back("tag " + std::to_string(tag.code) + ": " + error);
            }
            break;
        }
        break;
    }
  }
}

}  // namespace

int Timeline::FindLabel(const std::string& label) const {
  const auto exact = labels.find(label);
  if (exact != labels.end()) return exact->second;
  auto lower = [](std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
  };
  const std::string wanted = lower(label);
  for (const std::string& name : labelsInOrder) {
    if (lower(name) == wanted) return labels.at(name);
  }
  return -1;
}

void ParseMovieTags(std::span<const std::uint8_t> tags, Movie& movie, DefinitionReader* definitions) {
  SwfStream stream(tags);
  WalkTimeline(stream, movie, definitions, movie.root, movie.header.frameCount, 0);
}

}  // namespace vantrel::flash
