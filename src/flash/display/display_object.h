// Display objects: what a timeline or a script places on the stage. Every kind (shape,
// morph, static text, edit text, bitmap, video, button, movie clip) lives on the
// engine's heap; buttons, clips and text fields have a script object that stands for
// them. Containers keep their children by int32 depth; a removed object is marked and
// stays valid for scripts that still hold it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "flash/audio/mixer.h"
#include "flash/script/heap.h"
#include "flash/raster/drawable.h"
#include "flash/swf/movie.h"

namespace vantrel::flash {

class MovieClip;
class MovieRuntime;
struct LoadedMovie;

enum class DisplayKind : std::uint8_t { Shape, Morph, StaticText, EditText, Bitmap, Video, Button, MovieClip };

// How loud a clip's sounds play and how their channels mix, as Sound objects set it
// (percent; scripts may store any integer).
struct SoundTransform {
  int volume = 100, ll = 100, lr = 0, rl = 0, rr = 100;
};

// A display object is the group of the sounds its timeline and its scripts start.
class DisplayObject : public gc::Cell, public audio::SoundGroup {
 public:
  DisplayObject(DisplayKind kind, MovieRuntime& player, const LoadedMovie* movie) : kind_(kind), player_(player), movie_(movie) {}

  DisplayKind Kind() const { return kind_; }
  MovieRuntime& GetPlayer() const { return player_; }
  // The movie whose dictionary the object comes from (its SWF version, its URL).
  const LoadedMovie* Movie() const { return movie_; }
  MovieClip* Parent() const { return parent_; }
  bool IsContainer() const { return kind_ == DisplayKind::MovieClip || kind_ == DisplayKind::Button; }

  // Placement.
  std::int32_t depth = 0;
  std::uint16_t characterId = 0;
  std::shared_ptr<const Character> character;  // null for clips made by scripts
  // The placed character's drawable form (null for clips, buttons and script-made objects).
  const Drawable* Drawn() const { return AsDrawable(character.get()); }
  std::string name;                            // instance name ("instanceN" when unnamed)
  std::uint16_t ratio = 0;
  // The ratio a morph's bounds were last measured at: they follow ratio once the frame
  // is shown, as the player measures them when it draws.
  std::uint16_t boundsRatio = 0;
  std::int32_t clipDepth = 0;  // non-zero: a mask over the depths up to clipDepth
  std::vector<Filter> filters;
  std::uint8_t blendMode = 0;
  bool cacheAsBitmap = false;
  bool visible = true;
  // _focusrect of a clip, button or text field: whether its focus shows the rectangle;
  // unset, the stage's _focusrect decides.
  std::optional<bool> focusRect;
  // tabIndex as scripts set it (unset: none): text fields keep it as an unsigned 32-bit
  // number, clips and buttons as a signed one.
  std::optional<double> tabIndex;
  std::optional<Rgba> opaqueBackground;
  std::optional<QRectF> scrollRect;  // in the object's own twips
  // The nine-slice grid (own twips): scaled, the object keeps its shapes' corners at their
  // own size and stretches the rest (DefineScalingGrid, scale9Grid).
  std::optional<QRectF> scale9Grid;
  // A shape made by a script (ActionScript 3's Shape: a drawing that holds nothing), which
  // its parent's grid slices as it slices the shapes of the timeline.
  bool scriptShape = false;
  // What an ActionScript 3 script says about the object's mouse input: whether it takes
  // mouse events and double clicks, and (containers) whether its children do.
  bool mouseEnabled = true, doubleClickEnabled = false, mouseChildren = true;

  const Matrix& GetMatrix() const { return matrix_; }
  // Sets the placement matrix; scale and rotation read back from it from now on.
  void SetMatrix(const Matrix& matrix);
  const ColorTransform& GetColorTransform() const { return colorTransform_; }
  void SetColorTransform(const ColorTransform& transform) { colorTransform_ = transform; }
  // _xscale, _yscale (percent) and _rotation (degrees) as scripts see them: kept apart
  // from the matrix so that setting one does not drift the others.
  double XScale() const { return xScale_; }
  double YScale() const { return yScale_; }
  double Rotation() const { return rotation_; }
  void SetXScale(double percent);
  void SetYScale(double percent);
  void SetRotation(double degrees);

  // The cell the movie's script host keeps for the object (its script object; null
  // for shapes and static text). Only the host's machine knows what it is.
  gc::Cell* ScriptCell() const { return cell_; }
  void SetScriptCell(gc::Cell* cell) { cell_ = cell; }

  // Removed from its parent: scripts that hold it see no parent and no properties.
  bool Removed() const { return removed_; }

  // Set when a script (attachMovie, createEmptyMovieClip, duplicateMovieClip, swapDepths)
  // made or moved it: timeline gotos leave it alone.
  bool placedByScript = false;
  // The parent's frame (0-based) that placed it, for rebuilding on backward gotos.
  int placeFrame = -1;
  // A script changed the transform: timeline moves leave it alone from now on.
  bool transformedByScript = false;
  // Order of creation, for the player's newest-first walks.
  std::uint64_t serial = 0;
  // A clip made a mask by setMask, and the clip it masks.
  DisplayObject* maskClip = nullptr;
  DisplayObject* maskedBy = nullptr;
  // The transform of the sounds this object starts.
  SoundTransform soundTransform;
  // What its sounds start with: its own sound transform, then each of its parents'.
  audio::Gains StartGains() const override;

  // Full path as targetPath gives it ("_level0.a.b").
  std::string TargetPath() const;
  // The object's bounds in its own twips (children included).
  virtual QRectF LocalBounds() const;
  // Maps the object's own twips to stage twips.
  QTransform ToStage() const;

  void Trace(gc::Tracer& tracer) const override;

 protected:
  friend class MovieClip;
  DisplayKind kind_;
  MovieRuntime& player_;
  const LoadedMovie* movie_;
  MovieClip* parent_ = nullptr;
  bool removed_ = false;
  gc::Cell* cell_ = nullptr;
  Matrix matrix_;
  ColorTransform colorTransform_;
  double xScale_ = 100, yScale_ = 100, rotation_ = 0;
};

}  // namespace vantrel::flash
