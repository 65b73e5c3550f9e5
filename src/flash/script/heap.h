// The engine's garbage-collected heap: script objects, strings and display objects are
// cells that a mark-and-sweep collection frees once nothing reachable refers to them.
// Collections run between action-queue drains, and inside a long script only at the
// points its machine knows to be safe (where every value still needed is in an
// interpreter frame the machine traces), so other C++ code that runs scripts never
// needs to root its locals.
#pragma once

#include <cstddef>
#include <algorithm>
#include <array>
#include <cstdint>
#include <new>
#include <vector>

namespace vantrel::flash::gc {

class Tracer;

class Cell {
 public:
  Cell() = default;
  Cell(const Cell&) = delete;
  Cell& operator=(const Cell&) = delete;
  virtual ~Cell() = default;
  // Marks every cell this one refers to.
  virtual void Trace(Tracer&) const {}
  // Bytes held outside the cell itself (vectors, strings), for the heap's budget.
  virtual std::size_t ExtraBytes() const { return 0; }

 private:
  friend class Heap;
  friend class Tracer;
  Cell* next_ = nullptr;
  bool marked_ = false;
  std::uint32_t size_ = 0;  // sizeof the cell's own type
};

class Tracer {
 public:
  void Mark(const Cell* cell) {
    if (cell && !cell->marked_) {
      const_cast<Cell*>(cell)->marked_ = true;
      pending_.push_back(cell);
    }
  }

 private:
  friend class Heap;
  std::vector<const Cell*> pending_;
};

class Heap {
 public:
  Heap() = default;
  ~Heap();
  Heap(const Heap&) = delete;
  Heap& operator=(const Heap&) = delete;

  // Allocates a cell; it lives until a collection finds it unreachable.
  template <typename T, typename... Args>
  T* Make(Args&&... args) {
    static_assert(alignof(T) <= kCellAlign, "cells are placed at 16-byte steps");
    void* memory = Allocate(sizeof(T));
    T* cell = nullptr;
    try {
      cell = new (memory) T(static_cast<Args&&>(args)...);
    } catch (...) {
      Release(memory, sizeof(T));
      throw;
    }
    cell->next_ = head_;
    cell->size_ = static_cast<std::uint32_t>(sizeof(T));
    head_ = cell;
    ++count_;
    ++made_;
    // A string's text is all there at birth; other cells grow later and say so (Note).
    allocatedSince_ += sizeof(T) + static_cast<const Cell*>(cell)->ExtraBytes();
    return cell;
  }

  // Marks from the roots the callback marks, then frees every unmarked cell.
  // Returns the number of cells freed.
  template <typename Roots>
  std::size_t Collect(Roots&& roots) {
    Tracer tracer;
    roots(tracer);
    Drain(tracer);
    return Sweep();
  }

  std::size_t CellCount() const { return count_; }
  // Cells made since the heap began.
  std::size_t CellsMade() const { return made_; }
  // Bytes of cells made since the last collection (an estimate that drives collections).
  std::size_t AllocatedSinceCollection() const { return allocatedSince_; }
  void Note(std::size_t bytes) { allocatedSince_ += bytes; }
  // Notes that a cell's outside storage went from before to after bytes (only growth counts).
  void NoteGrowth(std::size_t before, std::size_t after) {
    if (after > before) allocatedSince_ += after - before;
  }
  std::size_t CollectionCount() const { return collections_; }

  // The memory budget for script data. Scripts may keep up to the budget alive.
  // Garbage counts until a collection frees it, so the heap asks for one (OverBudget)
  // when the total reaches the budget, or an eighth of the budget past what was alive
  // when that is more, and the total never passes a hard limit of 1.125 times the
  // budget (plus the one allocation that crossed it).
  static constexpr std::size_t kDefaultBudget = std::size_t{512} << 20;
  void SetBudget(std::size_t bytes) {
    budget_ = bytes;
    SetLimit();
  }
  std::size_t Budget() const { return budget_; }
  std::size_t HardLimit() const { return budget_ + budget_ / 8; }
  // Bytes alive at the last collection plus everything made or grown since.
  std::size_t Bytes() const { return liveBytes_ + allocatedSince_; }
  // Bytes alive at the last collection (cells and what they hold outside themselves).
  std::size_t LiveBytes() const { return liveBytes_; }
  // Whether a script must stop or collect before it goes on (checked per instruction).
  bool OverBudget() const { return liveBytes_ + allocatedSince_ > limit_; }
  // Whether a running script should collect where it safely can (checked per
  // instruction): a script gathers at most kScriptGarbage, or as much as was alive at
  // the last collection when that is more, before it collects, so a loop that makes
  // strings does not grow the process by hundreds of megabytes until its frame ends.
  // Always true when over the budget.
  static constexpr std::size_t kScriptGarbage = std::size_t{32} << 20;
  bool PastSoftLimit() const { return liveBytes_ + allocatedSince_ > softLimit_; }
  // A script that cannot collect where it is asks again after kScriptGarbage more.
  void DeferSoftLimit() { softLimit_ = std::min(limit_, Bytes() + kScriptGarbage); }
  // What a script over budget does when no collection is possible: true to stop (past
  // the hard limit); false to go on up to it.
  bool StopWithoutCollection() {
    if (Bytes() > HardLimit()) return true;
    limit_ = HardLimit();
    softLimit_ = limit_;
    return false;
  }
  // After a collection: whether the live data is over the budget.
  bool LiveOverBudget() const { return liveBytes_ > budget_; }

 private:
  // Small cells come from slabs the heap keeps, one free list per size in 16-byte steps:
  // scripts make and drop cells by the million, and a slot is reused at once without a
  // round trip through malloc. Larger cells, and every cell in sanitizer builds (so
  // that a use after free is still caught), come from operator new.
  static constexpr std::size_t kCellAlign = 16;
  static constexpr std::size_t kPooledMax = 256;
  static constexpr std::size_t kSlabBytes = std::size_t{64} << 10;
  struct FreeSlot {
    FreeSlot* next;
  };
  void* Allocate(std::size_t size);
  void Release(void* memory, std::size_t size);
  void Destroy(Cell* cell);  // runs the destructor and gives the memory back
  std::array<FreeSlot*, kPooledMax / kCellAlign> free_{};
  std::vector<void*> slabs_;
  std::byte* bump_ = nullptr;  // the unused rest of the newest slab
  std::byte* bumpEnd_ = nullptr;

  void Drain(Tracer& tracer);
  std::size_t Sweep();
  Cell* head_ = nullptr;
  std::size_t count_ = 0;
  std::size_t made_ = 0;
  std::size_t allocatedSince_ = 0;
  std::size_t collections_ = 0;
  void SetLimit();
  std::size_t liveBytes_ = 0;
  std::size_t budget_ = kDefaultBudget;
  std::size_t limit_ = kDefaultBudget;
  std::size_t softLimit_ = kScriptGarbage;
};

}  // namespace vantrel::flash::gc
