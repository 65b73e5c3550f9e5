#include "flash/script/heap.h"

#include <algorithm>

namespace vantrel::flash::gc {

Heap::~Heap() {
  // Cells may refer to each other; none of them touches another in its destructor.
  Cell* cell = head_;
  while (cell) {
    Cell* next = cell->next_;
    delete cell;
    cell = next;
  }
}

void Heap::Drain(Tracer& tracer) {
  while (!tracer.pending_.empty()) {
    const Cell* cell = tracer.pending_.back();
    tracer.pending_.pop_back();
    cell->Trace(tracer);
  }
}

std::size_t Heap::Sweep() {
  std::size_t freed = 0;
  std::size_t live = 0;
  Cell** link = &head_;
  while (Cell* cell = *link) {
    if (cell->marked_) {
      cell->marked_ = false;
      live += cell->size_ + cell->ExtraBytes();
      link = &cell->next_;
      continue;
    }
    *link = cell->next_;
    delete cell;
    ++freed;
  }
  count_ -= freed;
  liveBytes_ = live;
  allocatedSince_ = 0;
  SetLimit();
  ++collections_;
  return freed;
}

void Heap::SetLimit() {
  // Live data under the budget may gather an eighth of the budget in garbage before
  // the next collection (at least up to the budget itself); over it, only up to the
  // hard limit.
  if (liveBytes_ > budget_) {
    limit_ = HardLimit();
  } else {
    limit_ = std::min(HardLimit(), std::max(budget_, liveBytes_ + budget_ / 8));
  }
  softLimit_ = std::min(limit_, liveBytes_ + std::max(kScriptGarbage, liveBytes_));
}

}  // namespace vantrel::flash::gc
