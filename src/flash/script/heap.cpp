#include "flash/script/heap.h"

#include <algorithm>

namespace vantrel::flash::gc {

namespace {
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kPooled = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kPooled = false;
#else
constexpr bool kPooled = true;
#endif
#else
constexpr bool kPooled = true;
#endif
}  // namespace

Heap::~Heap() {
  // Cells may refer to each other; none of them touches another in its destructor.
  Cell* cell = head_;
  while (cell) {
    Cell* next = cell->next_;
    const std::size_t size = cell->size_;
    cell->~Cell();
    if (!kPooled || size > kPooledMax) ::operator delete(cell);
    cell = next;
  }
  for (void* slab : slabs_) ::operator delete(slab);
}

void* Heap::Allocate(std::size_t size) {
  if (!kPooled || size > kPooledMax) return ::operator new(size);
  const std::size_t slot = (size + kCellAlign - 1) / kCellAlign;
  if (FreeSlot* free = free_[slot - 1]) {
    free_[slot - 1] = free->next;
    return free;
  }
  const std::size_t bytes = slot * kCellAlign;
  if (static_cast<std::size_t>(bumpEnd_ - bump_) < bytes) {
    // What is left of the old slab is too small for this size; it stays unused.
    // Room for the slab's entry first, so that once the slab is made nothing can throw.
    if (slabs_.size() == slabs_.capacity()) slabs_.reserve(std::max<std::size_t>(16, slabs_.size() * 2));
    bump_ = static_cast<std::byte*>(::operator new(kSlabBytes));
    bumpEnd_ = bump_ + kSlabBytes;
    slabs_.push_back(bump_);
  }
  void* memory = bump_;
  bump_ += bytes;
  return memory;
}

void Heap::Release(void* memory, std::size_t size) {
  if (!kPooled || size > kPooledMax) {
    ::operator delete(memory);
    return;
  }
  const std::size_t slot = (size + kCellAlign - 1) / kCellAlign;
  auto* free = static_cast<FreeSlot*>(memory);
  free->next = free_[slot - 1];
  free_[slot - 1] = free;
}

void Heap::Destroy(Cell* cell) {
  const std::size_t size = cell->size_;
  cell->~Cell();
  Release(cell, size);
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
    Destroy(cell);
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
