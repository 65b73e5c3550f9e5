// The threads that draw the parts of a frame. A drawing split in n parts runs part 0 on
// the thread that asked for it and the others on the pool's threads, part i in drawing
// lane i (see lanes.h), and returns when every part is done.
#pragma once

#include <functional>
#include <vector>

namespace vantrel::flash::render {

// Threads a drawing uses when it is not told: the environment's
// VANTREL_DRAWING_THREADS when set, else one per core; at most kMaxLanes.
int DefaultDrawingThreads();

// Draws rows 0..height-1 in parts bands: band(i, top, bottom) draws rows top..bottom-1,
// in lane i. The bands follow where the drawing's work lies: their borders move
// after drawings whose bands took unequal times, so that each takes about as long. False,
// with nothing drawn, when the pool is drawing for another thread right now (the
// caller then draws on its own).
bool DrawInBands(int height, int parts, const std::function<void(int part, int top, int bottom)>& band);

// Where the borders of parts bands over height rows go next, given the rows and the
// time each band took the last time (both from top to bottom): each band gets about
// the same estimated time, work being taken as even within a band's rows. Every band
// keeps at least one row.
std::vector<int> BalanceBands(const std::vector<int>& borders, const std::vector<double>& seconds);

}  // namespace vantrel::flash::render
