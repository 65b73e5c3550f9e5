// Drawing a running movie: the stage transform for the four scale modes and the
// alignment, the background, and the walk over the display list with matrices, colour
// transforms and clip-layer masks that calls Character::Render.
#pragma once

#include <QPainter>
#include <QSize>
#include <QTransform>

#include "flash/raster/drawable.h"
#include "flash/swf/movie.h"

namespace vantrel::flash {

class MovieRuntime;

// The control's scale modes, by their numbers.
enum class ScaleMode { ShowAll = 0, NoBorder = 1, ExactFit = 2, NoScale = 3 };

// Alignment bits: left 1, right 2, top 4, bottom 8; none centres the movie.
inline constexpr int kAlignLeft = 1, kAlignRight = 2, kAlignTop = 4, kAlignBottom = 8;

struct ViewOptions {
  ScaleMode scaleMode = ScaleMode::ShowAll;
  int alignMode = 0;
  Quality quality = Quality::High;
  Rgba background{255, 255, 255, 255};
  // A sixteenth of the usual budget for layers and filters, for a movie whose frames have
  // run past it: such a frame then takes a fraction of a second instead of seconds.
  bool smallEffectsBudget = false;
  // The viewport cropped to the stage: in Show All the stripes beside a movie of another
  // shape are black, and what the movie draws outside its stage does not show there.
  bool cropToStage = false;
  // Threads that draw the frame, each a band of its rows (0 = one per core, 1 = the
  // calling thread alone). The picture is the same for any number.
  int threads = 0;
};

// Maps stage twips to viewport pixels for frameSize (twips) shown in viewport.
QTransform StageTransform(const Rect& frameSize, QSize viewport, ScaleMode mode, int alignMode);

// Fills viewport with the background and draws the player's current frame over it.
// False when the frame's filters and blend modes needed more work than one drawing may
// take: the objects past that budget were drawn without them.
bool RenderMovie(QPainter& painter, QSize viewport, const MovieRuntime& player, const ViewOptions& options);

// Draws object's content (its subtree, without its own placement, filters or blend
// mode) with transform from its twips to the painter's pixels, as BitmapData.draw does.
class DisplayObject;
void RenderDisplayObject(QPainter& painter, const DisplayObject& object, const QTransform& transform,
                         const ColorTransform& color, Quality quality);

}  // namespace vantrel::flash
