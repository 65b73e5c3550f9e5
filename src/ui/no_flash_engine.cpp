// Built when the program has no Flash engine: there is no control to create.
#include "ui/movie_engine.h"

namespace vantrel::ui {

std::unique_ptr<MovieEngine> MakeFlashEngine() { return nullptr; }

}  // namespace vantrel::ui
