# What both script machines share: the collector's heap, the string cell and the UTF-16
# helpers, number conversions and the scripts' clock.
target_sources(vantrel_flash PRIVATE
  script/heap.cpp
  script/number_conversions.cpp
  script/script_clock.cpp
  script/string_utils.cpp
  script/utf16.cpp
)
