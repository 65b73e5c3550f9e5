#include "flash/gc/heap.h"

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
  Cell** link = &head_;
  while (Cell* cell = *link) {
    if (cell->marked_) {
      cell->marked_ = false;
      link = &cell->next_;
      continue;
    }
    *link = cell->next_;
    delete cell;
    ++freed;
  }
  count_ -= freed;
  allocatedSince_ = 0;
  ++collections_;
  return freed;
}

}  // namespace vantrel::flash::gc
