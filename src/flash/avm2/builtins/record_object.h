// An object of a built-in class whose properties are plain values the class's natives
// keep in a list (`fields`, in the order of the class's own table).
#pragma once

#include <vector>

#include "flash/avm2/machine.h"

namespace vantrel::flash::avm2 {

class RecordObject final : public NativeObject {
 public:
  using NativeObject::NativeObject;
  std::vector<Value> fields;
  void Trace(gc::Tracer& tracer) const override {
    NativeObject::Trace(tracer);
    for (const Value& v : fields) TraceValue(tracer, v);
  }
};

}  // namespace vantrel::flash::avm2
