# The ActionScript 1/2 machine: the heap, values and objects, the interpreter and the
# built-in classes (one file each under builtins/).
target_sources(vantrel_flash PRIVATE
  gc/heap.cpp
  avm1/value.cpp
  avm1/object.cpp
  avm1/runtime.cpp
  avm1/builtins/builtins.cpp
  avm1/builtins/object.cpp
  avm1/builtins/function.cpp
  avm1/builtins/array.cpp
  avm1/builtins/string.cpp
  avm1/builtins/number.cpp
  avm1/builtins/boolean.cpp
  avm1/builtins/math.cpp
  avm1/builtins/date.cpp
  avm1/builtins/error.cpp
  avm1/builtins/globals.cpp
  avm1/builtins/as_broadcaster.cpp
  avm1/builtins/xml.cpp
  avm1/builtins/load_vars.cpp
  avm1/builtins/shared_object.cpp
  avm1/builtins/local_connection.cpp
  avm1/builtins/color.cpp
  avm1/builtins/geom.cpp
  avm1/builtins/text_format.cpp
  avm1/builtins/system.cpp
  avm1/builtins/movie_clip.cpp
  avm1/builtins/button.cpp
  avm1/builtins/text_field.cpp
  avm1/builtins/key.cpp
  avm1/builtins/mouse.cpp
  avm1/builtins/stage.cpp
  avm1/builtins/selection.cpp
  avm1/builtins/sound.cpp
  avm1/builtins/movie_clip_loader.cpp
  avm1/string_utils.cpp
)
