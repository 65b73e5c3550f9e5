// The engine's garbage-collected heap: script objects, strings and display objects are
// cells that a mark-and-sweep collection frees once nothing reachable refers to them.
// Collections run only where no script is on the C++ stack (between action-queue
// drains), so C++ code that runs scripts never needs to root its locals.
#pragma once

#include <cstddef>
#include <cstdint>
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
    T* cell = new T(static_cast<Args&&>(args)...);
    cell->next_ = head_;
    head_ = cell;
    ++count_;
    ++made_;
    allocatedSince_ += sizeof(T);
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
  std::size_t CollectionCount() const { return collections_; }

 private:
  void Drain(Tracer& tracer);
  std::size_t Sweep();
  Cell* head_ = nullptr;
  std::size_t count_ = 0;
  std::size_t made_ = 0;
  std::size_t allocatedSince_ = 0;
  std::size_t collections_ = 0;
};

}  // namespace vantrel::flash::gc
