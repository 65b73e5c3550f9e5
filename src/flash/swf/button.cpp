#include <QTransform>

#include "flash/swf/movie.h"

namespace vantrel::flash {

QRectF ButtonCharacter::Bounds(std::uint16_t) const {
  QRectF bounds;
  if (!dictionary) return bounds;
  for (const ButtonRecord& record : records) {
    if (!(record.states & kUp)) continue;
    const auto character = dictionary->Find(record.characterId);
    // Buttons inside buttons are not followed: a button placing itself ends here.
    if (!character || character->Kind() == CharacterKind::Button) continue;
    const Matrix& m = record.matrix;
    bounds = bounds.united(QTransform(m.a, m.b, m.c, m.d, m.tx, m.ty).mapRect(character->Bounds()));
  }
  return bounds;
}

}  // namespace vantrel::flash
