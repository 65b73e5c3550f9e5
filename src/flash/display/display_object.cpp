#include "flash/display/display_object.h"

#include <cmath>
#include <numbers>

#include "flash/display/movie_clip.h"
#include "flash/display/player.h"

namespace vantrel::flash {

namespace {

constexpr double kDegrees = 180.0 / std::numbers::pi;

Matrix Compose(double xScale, double yScale, double rotationDegrees, double skew, double tx, double ty) {
  const double r = rotationDegrees / kDegrees;
  Matrix m;
  m.a = xScale / 100.0 * std::cos(r);
  m.b = xScale / 100.0 * std::sin(r);
  m.c = -yScale / 100.0 * std::sin(r + skew);
  m.d = yScale / 100.0 * std::cos(r + skew);
  m.tx = tx;
  m.ty = ty;
  return m;
}

}  // namespace

void DisplayObject::SetMatrix(const Matrix& matrix) {
  matrix_ = matrix;
  xScale_ = std::sqrt(matrix.a * matrix.a + matrix.b * matrix.b) * 100.0;
  yScale_ = std::sqrt(matrix.c * matrix.c + matrix.d * matrix.d) * 100.0;
  // Both scales read back as lengths; a mirrored matrix keeps its flip in the skew.
  rotation_ = (matrix.a == 0 && matrix.b == 0) ? 0 : std::atan2(matrix.b, matrix.a) * kDegrees;
}

static double SkewOf(const Matrix& m, double rotationDegrees, double yScale) {
  if (yScale == 0) return 0;
  const double r = rotationDegrees / (180.0 / std::numbers::pi);
  const double angle = std::atan2(-m.c * (yScale < 0 ? -1 : 1), m.d * (yScale < 0 ? -1 : 1));
  return angle - r;
}

namespace {

// The matrix of the kept scales and rotation: a scale a script set to NaN reads back as
// NaN but counts as 0 in the matrix (so does a NaN rotation once a scale changes).
double Kept(double v) { return std::isnan(v) ? 0.0 : v; }
Matrix ComposeKept(double xScale, double yScale, double rotation, double skew, double tx, double ty) {
  return Compose(Kept(xScale), Kept(yScale), Kept(rotation), skew, tx, ty);
}

}  // namespace

void DisplayObject::SetXScale(double percent) {
  const double skew = SkewOf(matrix_, Kept(rotation_), Kept(yScale_));
  xScale_ = percent;
  // A scale changes its own column of the matrix only.
  const Matrix m = ComposeKept(xScale_, yScale_, rotation_, skew, matrix_.tx, matrix_.ty);
  matrix_.a = m.a;
  matrix_.b = m.b;
}

void DisplayObject::SetYScale(double percent) {
  const double skew = SkewOf(matrix_, Kept(rotation_), Kept(yScale_));
  yScale_ = percent;
  const Matrix m = ComposeKept(xScale_, yScale_, rotation_, skew, matrix_.tx, matrix_.ty);
  matrix_.c = m.c;
  matrix_.d = m.d;
}

void DisplayObject::SetRotation(double degrees) {
  // A rotation of NaN reads back as such and leaves the matrix.
  if (std::isnan(degrees)) {
    rotation_ = degrees;
    return;
  }
  const double skew = SkewOf(matrix_, Kept(rotation_), Kept(yScale_));
  degrees = std::fmod(degrees, 360.0);
  if (degrees > 180) degrees -= 360;
  if (degrees < -180) degrees += 360;
  rotation_ = degrees;
  matrix_ = ComposeKept(xScale_, yScale_, rotation_, skew, matrix_.tx, matrix_.ty);
}

std::string DisplayObject::TargetPath() const {
  if (!parent_) {
    for (const auto& [level, clip] : player_.Levels()) {
      if (clip == this) return "_level" + std::to_string(level);
    }
    return "_level0";
  }
  return parent_->TargetPath() + "." + name;
}

QRectF DisplayObject::LocalBounds() const {
  const Drawable* drawn = Drawn();
  return drawn ? drawn->Bounds(boundsRatio) : QRectF();
}

QTransform DisplayObject::ToStage() const { return ObjectToStage(*this); }

void DisplayObject::Trace(gc::Tracer& tracer) const {
  tracer.Mark(parent_);
  tracer.Mark(cell_);
  tracer.Mark(maskClip);
  tracer.Mark(maskedBy);
}

QTransform ObjectToStage(const DisplayObject& object) {
  QTransform transform;
  int guard = 0;
  for (const DisplayObject* at = &object; at && guard < 1000; at = at->Parent(), ++guard) {
    const Matrix& m = at->GetMatrix();
    transform = transform * QTransform(m.a, m.b, m.c, m.d, m.tx, m.ty);
  }
  return transform;
}

}  // namespace vantrel::flash
