// The script side of flash.display.BitmapData as other built-ins see it: the pixels
// behind a BitmapData object (filters take map bitmaps, clips attach bitmaps).
#pragma once

#include <memory>

#include "flash/avm1/machine.h"
#include "flash/character/bitmap.h"

namespace vantrel::flash::avm1 {

// The pixels of a BitmapData object; null for other values. A disposed bitmap still
// gives its (empty) pixels.
std::shared_ptr<BitmapPixels> BitmapPixelsOf(const Value& value);
// A new BitmapData object around pixels.
Object* MakeBitmapDataObject(MachineInterface& machine, std::shared_ptr<BitmapPixels> pixels);

}  // namespace vantrel::flash::avm1
