# What both script machines share: the collector's heap, the string cell and the UTF-16
# helpers, number conversions, the scripts' clock, the calendar of Date and the values of
# bitmap filters, the forgiving XML parser of the XML document classes, and the store of
# local shared objects, and text in the legacy character sets.
target_sources(vantrel_flash PRIVATE
  script/charsets.cpp
  script/date_math.cpp
  script/filter_values.cpp
  script/heap.cpp
  script/number_conversions.cpp
  script/script_clock.cpp
  script/shared_object_store.cpp
  script/string_utils.cpp
  script/utf16.cpp
  script/xml_scan.cpp
)
