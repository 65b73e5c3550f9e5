// Shots: a frame of a movie painted by the engine into a 24-bit surface and saved as a
// JPEG. The browser's thumbnails, the generator and vantrel-tool thumbs all come here.
// No widgets: a shot needs no display and may be taken on any thread (each call uses
// its own engine instance).
#pragma once

#include <string>

#include "browser/dib_section.h"
#include "media/media_context.h"
#include "media/media_record.h"

namespace vantrel::browser {

// A field added here must also travel to the thumbnail workers (Task::Pack in generator.cpp).
struct ShotOptions {
  int width = 120;            // size of the shot in pixels
  int height = 90;
  bool highQuality = true;    // "HQShots"
  int jpegQuality = 90;       // "ShotJpeg" or the generator's quality
  int sampleFrom = 30;        // the frame is drawn from this range, per cent of the movie
  int sampleTo = 50;
  std::string backColor;      // six hex digits; "" keeps the movie's own background
  std::string logoPath;       // watermark PNG drawn bottom-right; "" for none
  std::string noMediaPath;    // picture (path without ".png") drawn for files without a movie
  // Pictures of whole movies only (the media browser, vantrel-tool thumbs): a file that
  // is no movie, video or projector, a movie the engine cannot load and one whose data
  // ends early get no picture, and the thumbnail fails with the reason. Otherwise they
  // get the no-media picture or the plain background.
  bool moviesOnly = false;
  // Threads a movie's shot is drawn with; 0: the drawing's default (one per core). The
  // generator's worker processes take one each, as the cores are theirs already.
  int drawingThreads = 0;
};

// Draws the PNG at logoPath onto surface with its bottom-right corner on the surface's.
// A logo that does not read leaves the surface unchanged; returns whether it was drawn.
bool DrawWatermark(cDIBSection& surface, const std::string& logoPath);

// Paints the chosen frame of the movie at moviePath into surface (made at the options'
// size, scaled down with its shape kept when that is beyond the drawing limit of
// core/surface_limit.h). Returns "" on success, else why the movie did not load; the surface then holds
// the plain background.
std::string ShootMovie(const std::string& moviePath, const ShotOptions& options, double random,
                       cDIBSection& surface);

// Paints a frame of the Flash video at videoPath into surface at the options' size,
// filled edge to edge (the frame drawn from the options' sampling range). Returns "" on
// success, else why no picture came out (the surface is then left as it was).
std::string ShootVideo(const std::string& videoPath, const ShotOptions& options, double random, cDIBSection& surface);

// The whole thumbnail of one media file: identifies path (a projector's movie is taken
// out, a video gets a frame of its own or, when none decodes, the no-media picture),
// shoots, draws the watermark and saves the JPEG at jpegPath atomically (a size beyond
// the drawing limit is scaled down, with a note in the log). record receives the
// identification. Returns "" on success, else the failure ("Failed to save JPEG" when
// writing failed; a movie that does not load still gets its background picture and
// counts as a success, and so does a file that is not a movie unless
// options.moviesOnly asks for its reason instead).
std::string MakeThumbnail(media::MediaContext& context, const std::string& path, const std::string& jpegPath,
                          const ShotOptions& options, double random, media::MediaRecord& record);

}  // namespace vantrel::browser
