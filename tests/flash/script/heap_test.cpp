// The script heap: cells of every size live while reachable, are destroyed exactly once
// (at a collection or with the heap), and the memory a collection frees serves the next
// cells without disturbing the ones that stay.
#include "flash/script/heap.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

using vantrel::flash::gc::Cell;
using vantrel::flash::gc::Heap;
using vantrel::flash::gc::Tracer;

int destroyed = 0;

struct Small : Cell {
  explicit Small(int n) : id(n), payload(static_cast<std::size_t>(n % 7), n) {}
  ~Small() override { ++destroyed; }
  void Trace(Tracer& tracer) const override { tracer.Mark(next); }
  int id;
  std::vector<int> payload;
  Small* next = nullptr;
};

// Larger than any pooled size.
struct Large : Cell {
  explicit Large(int n) : id(n) { std::memset(bytes, n & 0xFF, sizeof bytes); }
  ~Large() override { ++destroyed; }
  int id;
  unsigned char bytes[600];
};

bool Intact(const Small* s) {
  for (int v : s->payload)
    if (v != s->id) return false;
  return s->payload.size() == static_cast<std::size_t>(s->id % 7);
}

bool Intact(const Large* l) {
  for (unsigned char b : l->bytes)
    if (b != (l->id & 0xFF)) return false;
  return true;
}

TEST(ScriptHeap, CellsLiveWhileReachableAndDieOnce) {
  destroyed = 0;
  int made = 0;
  {
    Heap heap;
    std::vector<Small*> keptSmall;
    std::vector<Large*> keptLarge;
    for (int round = 0; round < 12; ++round) {
      Small* previous = nullptr;
      for (int i = 0; i < 900; ++i) {
        auto* s = heap.Make<Small>(made++);
        // Every fifth cell is kept, and holds the cell made before it.
        if (i % 5 == 0) {
          s->next = previous;
          keptSmall.push_back(s);
        }
        previous = s;
        if (i % 60 == 0) {
          auto* l = heap.Make<Large>(made++);
          if (i % 120 == 0) keptLarge.push_back(l);
        }
      }
      const std::size_t before = heap.CellCount();
      const std::size_t freed = heap.Collect([&](Tracer& tracer) {
        for (const Small* s : keptSmall) tracer.Mark(s);
        for (const Large* l : keptLarge) tracer.Mark(l);
      });
      EXPECT_EQ(freed, before - heap.CellCount());
      EXPECT_EQ(static_cast<std::size_t>(destroyed), static_cast<std::size_t>(made) - heap.CellCount());
      for (const Small* s : keptSmall) {
        ASSERT_TRUE(Intact(s)) << "kept cell " << s->id << " was overwritten in round " << round;
        if (s->next) ASSERT_TRUE(Intact(s->next)) << "cell " << s->next->id << " reached from a kept one";
      }
      for (const Large* l : keptLarge) ASSERT_TRUE(Intact(l)) << "kept large cell " << l->id;
    }
    // Kept cells, the cells they hold, and the large ones kept.
    EXPECT_EQ(heap.CellCount(), keptSmall.size() * 2 - 12 + keptLarge.size());
  }
  EXPECT_EQ(destroyed, made);
}

TEST(ScriptHeap, ACellWhoseConstructorThrowsLeavesTheHeapAsItWas) {
  struct Throwing : Cell {
    Throwing() { throw 7; }
  };
  Heap heap;
  heap.Make<Small>(1);
  EXPECT_THROW(heap.Make<Throwing>(), int);
  EXPECT_EQ(heap.CellCount(), 1u);
  auto* after = heap.Make<Small>(14);
  EXPECT_TRUE(Intact(after));
  EXPECT_EQ(heap.CellCount(), 2u);
}

}  // namespace
