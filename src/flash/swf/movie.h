// The movie model: what the tag walk makes of a SWF file. The character dictionary
// plus, for the root and for every sprite, a timeline of per-frame display commands,
// frame labels and the action blocks the script core runs.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "flash/swf/character.h"
#include "flash/swf/sound.h"
#include "flash/swf/types.h"
#include "flash/swf/video.h"

namespace vantrel::flash {

// A filter of PlaceObject3 or a button record, kept as parsed for the filter renderer.
struct Filter {
  std::uint8_t type = 0;  // 0 drop shadow, 1 blur, 2 glow, 3 bevel, 4 gradient glow,
                          // 5 convolution, 6 colour matrix, 7 gradient bevel
  std::vector<std::uint8_t> data;  // the filter's bytes after the type
};

using ActionBlock = std::shared_ptr<const std::vector<std::uint8_t>>;

// An event handler of PlaceObject2/3 (onClipEvent).
struct ClipAction {
  static constexpr std::uint32_t kLoad = 0x01, kEnterFrame = 0x02, kUnload = 0x04;
  std::uint32_t events = 0;
  std::uint8_t keyCode = 0;
  ActionBlock actions;
};

// PlaceObject 1-3. Absent optionals leave the placed object's value unchanged on a move.
struct PlaceCommand {
  std::uint16_t depth = 0;
  bool move = false;                         // modifies (or replaces) the object at depth
  std::optional<std::uint16_t> characterId;  // a new or replacing character
  std::optional<Matrix> matrix;
  std::optional<ColorTransform> colorTransform;
  std::optional<std::uint16_t> ratio;
  std::optional<std::string> name;
  std::optional<std::uint16_t> clipDepth;
  std::optional<std::vector<Filter>> filters;
  std::optional<std::uint8_t> blendMode;  // 0/1 normal, 2 layer, 3 multiply, ... 14 hardlight
  std::optional<bool> cacheAsBitmap;
  std::optional<bool> visible;
  std::optional<Rgba> opaqueBackground;
  std::optional<std::string> className;
  std::vector<ClipAction> clipActions;
};

// One control tag of a frame, in file order: placements, removals and action blocks
// (DoAction; DoInitAction with its sprite in place.characterId), and the imports of
// the root timeline (ImportAssets, its library's address in url), where the library's
// init actions run.
struct DisplayCommand {
  enum class Type { Place, Remove, Action, InitAction, Import };
  Type type = Type::Place;
  PlaceCommand place;  // for Remove only place.depth counts
  ActionBlock actions;
  std::string url;  // Import only
};

struct Frame {
  std::vector<DisplayCommand> commands;  // in file order
  std::vector<ActionBlock> actions;      // DoAction blocks, run after the frame is shown
  // DoInitAction blocks with the sprite they initialise; run once, before the frame's
  // own actions.
  std::vector<std::pair<std::uint16_t, ActionBlock>> initActions;
  // ActionScript 3: DoABC/DoABC2 blocks (their flags, 1 = lazy initialisation, and
  // the ABC bytes) and the SymbolClass links of the frame (character id, class name;
  // id 0 names the document class).
  struct AbcBlock {
    std::uint32_t flags = 0;
    std::string name;
    ActionBlock bytes;
  };
  std::vector<AbcBlock> abc;
  std::vector<std::pair<std::uint16_t, std::string>> symbolClasses;
};

struct Timeline {
  int frameCount = 1;                      // frames the timeline has (at least one)
  // Frames the file really holds (ShowFrame tags, at most frameCount, at least one); the
  // playhead waits at the last of them when the file ends early.
  int framesLoaded = 1;
  // Whether the playhead goes back to frame 1 after the last frame: not when the file
  // ends without an End tag (it is still loading as far as the player knows) or when
  // tags follow the last ShowFrame (that unfinished frame is played once, then kept).
  bool repeats = true;
  std::vector<Frame> frames;               // commands of the first frames.size() frames
  std::uint32_t bytes = 0;                 // a sprite's tags in the file (getBytesTotal)
  std::map<std::string, int> labels;      // label -> 0-based frame
  std::vector<std::string> labelsInOrder;  // file order, for case-insensitive lookup
  // Every label with its 0-based frame in frame order, a name given twice included
  // (ActionScript 3 lists them all). A root with scene data takes its labels from there.
  std::vector<std::pair<int, std::string>> allLabels;
  // The scenes of DefineSceneAndFrameLabelData (a root's): name and first 0-based frame,
  // in order. Empty without it: the whole timeline is one scene, "Scene 1".
  struct Scene {
    std::string name;
    int firstFrame = 0;
  };
  std::vector<Scene> scenes;

  // The commands of 0-based frame (an empty frame past the stored ones).
  const Frame& FrameAt(int frame) const {
    static const Frame empty;
    return frame >= 0 && frame < static_cast<int>(frames.size()) ? frames[frame] : empty;
  }
  // 0-based frame of label (exact first, then ignoring ASCII case); -1 when unknown.
  int FindLabel(const std::string& label) const;
};

class SpriteCharacter : public Character {
 public:
  CharacterKind Kind() const override { return CharacterKind::Sprite; }
  Timeline timeline;
  std::optional<Rect> scalingGrid;  // DefineScalingGrid
};

struct ButtonRecord {
  std::uint8_t states = 0;  // 1 up, 2 over, 4 down, 8 hit test
  std::uint16_t characterId = 0;
  std::uint16_t depth = 0;
  Matrix matrix;
  ColorTransform colorTransform;
  std::vector<Filter> filters;
  std::uint8_t blendMode = 0;
};

struct ButtonCondition {
  std::uint16_t conditions = 0;  // DefineButton2 condition bits; 0x8 (release) for DefineButton
  ActionBlock actions;
};

class ButtonCharacter : public Character {
 public:
  static constexpr std::uint8_t kUp = 1, kOver = 2, kDown = 4, kHitTest = 8;
  CharacterKind Kind() const override { return CharacterKind::Button; }

  bool trackAsMenu = false;
  std::vector<ButtonRecord> records;
  std::vector<ButtonCondition> conditions;
  ColorTransform colorTransform;             // DefineButtonCxform
  std::uint16_t sounds[4] = {0, 0, 0, 0};    // over-up to idle, idle to over, over to down, down to over
  std::optional<Rect> scalingGrid;           // DefineScalingGrid
};

struct MovieHeader {
  char signature[4] = {0, 0, 0, 0};  // "FWS", "CWS" or "ZWS"
  int version = 0;
  std::uint32_t fileLength = 0;  // uncompressed length from the header
  Rect frameSize;                // twips
  double frameRate = 0;
  std::uint16_t frameCount = 0;
};

struct Movie {
  MovieHeader header;
  bool actionScript3 = false;  // FileAttributes says the movie is ActionScript 3
  bool useNetwork = false;
  std::size_t fileSize = 0;  // bytes of the file as stored (compressed or not)
  bool hasBackground = false;
  Rgba background{255, 255, 255, 255};
  std::vector<std::uint8_t> jpegTables;
  Dictionary dictionary;
  Timeline root;
  // ExportAssets: linkage names of characters (attachMovie, registerClass, imports).
  std::map<std::string, std::uint16_t> exports;
  struct ImportedAsset {
    std::string url;   // the movie the asset comes from, relative to this one
    std::string name;  // its linkage name there
    std::uint16_t id;  // the character id it takes here
    int frame = 0;     // 0-based frame of the root timeline that holds the import tag
  };
  std::vector<ImportedAsset> imports;
  std::vector<std::string> warnings;  // malformed tags skipped on the way
  // ScriptLimits: how deep script calls may nest, and for how many seconds a frame's
  // scripts may run (0: the player's defaults).
  int maxRecursionDepth = 0;
  int scriptTimeoutSeconds = 0;
  // Sounds and embedded video streams of the root and of every sprite.
  MovieSoundData sounds;
  std::map<std::uint16_t, std::shared_ptr<VideoStreamData>> videoStreams;
  // Tag headers the walk read: each tag of the file once.
  std::size_t tagsRead = 0;

  double FrameRate() const { return header.frameRate > 0 ? header.frameRate : 12.0; }
  int Width() const { return header.frameSize.Width() / 20; }    // pixels
  int Height() const { return header.frameSize.Height() / 20; }  // pixels
};

}  // namespace vantrel::flash
