#include "flash/swf/types.h"

namespace vantrel::flash {

Matrix Matrix::operator*(const Matrix& m) const {
  Matrix r;
  r.a = a * m.a + c * m.b;
  r.b = b * m.a + d * m.b;
  r.c = a * m.c + c * m.d;
  r.d = b * m.c + d * m.d;
  r.tx = a * m.tx + c * m.ty + tx;
  r.ty = b * m.tx + d * m.ty + ty;
  return r;
}

ColorTransform ColorTransform::operator*(const ColorTransform& m) const {
  ColorTransform r;
  r.mulR = mulR * m.mulR;
  r.mulG = mulG * m.mulG;
  r.mulB = mulB * m.mulB;
  r.mulA = mulA * m.mulA;
  r.addR = addR + mulR * m.addR;
  r.addG = addG + mulG * m.addG;
  r.addB = addB + mulB * m.addB;
  r.addA = addA + mulA * m.addA;
  return r;
}

}  // namespace vantrel::flash
