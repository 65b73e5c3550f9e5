#include "browser/shots.h"

#include <QImage>
#include <QPainter>
#include <cstdio>

#include "browser/jpeg_output.h"
#include "browser/png_reader.h"
#include "browser/shot_rules.h"
#include "core/options.h"
#include "core/paths.h"
#include "core/surface_limit.h"
#include "flash/control/flash_control.h"
#include "flash/video/flv_playback.h"
#include "media/decompress.h"
#include "media/identify.h"
#include "media/movie_facts.h"

namespace vantrel::browser {

namespace {

bool SurfaceFromImage(const QImage& image, cDIBSection& surface) {
  const QImage rgb = image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32);
  PictureView view;
  view.width = rgb.width();
  view.height = rgb.height();
  view.bits = rgb.constBits();
  view.stride = static_cast<std::size_t>(rgb.bytesPerLine());
  view.format = PictureFormat::Bgrx32;
  return surface.CreateFromPicture(view);
}

std::uint32_t ColorOf(const std::string& hex, std::uint32_t fallback) {
  if (hex.size() != 6) return fallback;
  char* end = nullptr;
  const unsigned long value = std::strtoul(hex.c_str(), &end, 16);
  return end == hex.c_str() + 6 ? static_cast<std::uint32_t>(value) : fallback;
}

// The shot's size within the drawing limit: a generator asked for a very large picture
// (a percentage of a huge movie, or a size typed into the options) gets it scaled down
// with its shape kept. note receives the log line when it was reduced.
void BoundShotSize(ShotOptions& options, std::string* note) {
  const int width = std::max(1, options.width), height = std::max(1, options.height);
  const core::SurfaceSize size = core::BoundSurface(width, height);
  options.width = size.width;
  options.height = size.height;
  if (size.reduced && note) *note = "Shot: " + core::ReducedSurfaceNote(width, height, size);
}

}  // namespace

bool DrawWatermark(cDIBSection& surface, const std::string& logoPath) {
  if (logoPath.empty() || surface.Empty()) return false;
  cPNG logo;
  if (logo.LoadPNGFile(logoPath) != kPngLoaded) return false;
  logo.DrawToDC(surface, surface.Width() - static_cast<int>(logo.Width()),
                surface.Height() - static_cast<int>(logo.Height()), false);
  return true;
}

std::string ShootMovie(const std::string& moviePath, const ShotOptions& asked, double random,
                       cDIBSection& surface) {
  ShotOptions options = asked;
  BoundShotSize(options, nullptr);
  const int width = options.width, height = options.height;
  flash::FlashControl control;
  control.SetSize(width, height);
  // No border: the thumbnail is filled edge to edge.
  control.SetScaleMode(1);
  control.SetQuality(options.highQuality ? 1 : 0);
  control.SetDrawingThreads(options.drawingThreads);
  std::string failure;
  if (!control.LoadMovie(0, moviePath)) failure = control.LastError().empty() ? "Not a movie" : control.LastError();
  if (!options.backColor.empty()) control.SetBGColor(options.backColor);
  if (failure.empty()) {
    const int frame = ShotFrame(control.TotalFrames(), options.sampleFrom, options.sampleTo, random);
    if (frame >= 0) control.GotoFrame(frame);
  }
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  if (image.isNull()) return "Not enough memory for the shot";
  control.PaintTo(image);
  if (!SurfaceFromImage(image, surface)) return "Not enough memory for the shot";
  return failure;
}

std::string ShootVideo(const std::string& videoPath, const ShotOptions& asked, double random, cDIBSection& surface) {
  ShotOptions options = asked;
  BoundShotSize(options, nullptr);
  flash::video::FlvPlayback video;
  if (!video.Open(videoPath)) return video.Error().empty() ? std::string("Not a video") : video.Error();
  if (video.VideoFrames() == 0) return "The video has no pictures";
  // The same sampling as a movie's frames; a frame that does not decode falls back to
  // the first picture, which Open decoded.
  const int frame = std::max(0, ShotFrame(video.VideoFrames(), options.sampleFrom, options.sampleTo, random));
  QImage picture;
  if (!video.DecodeFrame(std::min(frame, video.VideoFrames() - 1), picture) || picture.isNull()) picture = video.Picture();
  if (picture.isNull()) return "No picture of the video could be decoded";
  // Edge to edge, as movies are shot: the picture fills the shot and what overflows is
  // cut evenly on both sides.
  const QImage scaled = picture.scaled(options.width, options.height, Qt::KeepAspectRatioByExpanding,
                                       options.highQuality ? Qt::SmoothTransformation : Qt::FastTransformation);
  const QImage shot = scaled.copy((scaled.width() - options.width) / 2, (scaled.height() - options.height) / 2,
                                  options.width, options.height);
  QImage opaque(shot.size(), QImage::Format_RGB32);
  opaque.fill(QColor::fromRgb(0xFF000000u | ColorOf(options.backColor, 0x000000)));
  QPainter painter(&opaque);
  painter.drawImage(0, 0, shot);
  painter.end();
  if (!SurfaceFromImage(opaque, surface)) return "Not enough memory for the shot";
  return {};
}

std::string MakeThumbnail(media::MediaContext& context, const std::string& path, const std::string& jpegPath,
                          const ShotOptions& asked, double random, media::MediaRecord& record) {
  ShotOptions options = asked;
  std::string reducedNote;
  BoundShotSize(options, &reducedNote);
  if (!reducedNote.empty()) context.WriteLog(reducedNote);
  context.WriteLog("Reading Info " + path + "... ");
  media::ResetRecord(record);
  std::string identified = media::IdentifyMedia(context, path, record, false);
  if (identified.empty() && context.Error.Pending()) identified = context.Error.description;
  context.WriteLog(identified.empty() ? "OK" : identified);
  if (!identified.empty() && options.moviesOnly) {
    const std::string check = media::CheckMediaFile(path);
    return check.empty() ? identified : check;
  }
  std::uint64_t available = 0, claimed = 0;
  if (identified.empty() && options.moviesOnly && media::MovieEndsEarly(record, available, claimed))
    return media::IncompleteMovieText(static_cast<double>(available), static_cast<double>(claimed));

  cDIBSection surface;
  const bool hasMovie = identified.empty() && !record.IsVideo && !record.MoviePath.empty();
  if (hasMovie) {
    // A compressed movie's MoviePath may be a header-only copy; the engine inflates the
    // original itself.
    const std::string movie = record.IsProjector ? record.MoviePath : path;
    ShotOptions shot = options;
    if (shot.backColor.empty()) shot.backColor = record.BackColor;
    const std::string failure = ShootMovie(movie, shot, random, surface);
    if (!failure.empty()) context.WriteLog("Shot: " + failure);
    if (!failure.empty() && options.moviesOnly) return failure;
  } else if (identified.empty() && record.IsVideo) {
    // A Flash video shows a frame of its own; one that does not decode gets the
    // no-media picture below.
    const std::string failure = ShootVideo(path, options, random, surface);
    if (!failure.empty()) context.WriteLog("Shot: " + failure);
  }
  if (surface.Empty()) {
    if (!surface.Create(options.width, options.height)) return "Not enough memory for the shot";
    surface.Fill(ColorOf(options.backColor, 0xFFFFFF));
    if (!options.noMediaPath.empty()) {
      cPNG picture;
      if (picture.LoadPNGFile(options.noMediaPath + ".png") == kPngLoaded) picture.DrawToDC(surface, 8, 8, false);
    }
  }
  // A projector's movie taken out for the shot is a temporary file unless the cache keeps
  // converted files.
  if (record.IsProjector && !record.MoviePath.empty() && record.MoviePath != path && context.Options &&
      context.Options->ReadNumberOption("System", "CacheMode") != 0)
    std::remove(record.MoviePath.c_str());

  DrawWatermark(surface, options.logoPath);
  core::RunError error;
  if (!SaveJPEG(surface, jpegPath, options.jpegQuality, error)) {
    context.WriteLog("Failed to save JPEG");
    return "Failed to save JPEG";
  }
  return {};
}

}  // namespace vantrel::browser
