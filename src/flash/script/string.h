// The string cell both script machines share: an immutable UTF-8 text on the collector's
// heap. Scripts count its length in UTF-16 units (see string_utils.h).
#pragma once

#include <string>

#include "flash/script/heap.h"

namespace vantrel::flash::script {

class String final : public gc::Cell {
 public:
  explicit String(std::string text) : text_(std::move(text)) {}
  const std::string& Text() const { return text_; }
  std::size_t ExtraBytes() const override { return text_.capacity(); }

 private:
  std::string text_;
};

}  // namespace vantrel::flash::script
