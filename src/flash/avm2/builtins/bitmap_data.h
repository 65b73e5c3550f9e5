// flash.display.BitmapData on the engine's pixels (BitmapPixels), for the classes that
// read and write bitmaps from native code.
#pragma once

#include <memory>

#include "flash/avm2/object.h"
#include "flash/character/bitmap.h"

namespace vantrel::flash::avm2 {

class BitmapDataObject : public NativeObject {
 public:
  using NativeObject::NativeObject;
  std::shared_ptr<BitmapPixels> pixels;
  std::size_t ExtraBytes() const override {
    return NativeObject::ExtraBytes() + (pixels ? static_cast<std::size_t>(pixels->Width()) * static_cast<std::size_t>(pixels->Height()) * 4 : 0);
  }
};

// The pixels of a BitmapData value; null for anything else (and for disposed bitmaps).
BitmapPixels* BitmapPixelsOf(const Value& value);

}  // namespace vantrel::flash::avm2
