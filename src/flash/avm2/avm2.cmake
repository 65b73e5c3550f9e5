# The ActionScript 3 machine: ABC files, the interpreter, the object model and the
# built-in classes (one file per family under builtins/).
target_sources(vantrel_flash PRIVATE
  avm2/abc.cpp
  avm2/machine.cpp
  avm2/interpreter.cpp
  avm2/as3_movie.cpp
  avm2/builtins/object.cpp
  avm2/builtins/error.cpp
  avm2/builtins/array.cpp
  avm2/builtins/string.cpp
  avm2/builtins/number.cpp
  avm2/builtins/globals.cpp
  avm2/builtins/display.cpp
  avm2/builtins/graphics.cpp
  avm2/builtins/events.cpp
  avm2/builtins/url_loader.cpp
  avm2/builtins/vector.cpp
  avm2/builtins/regexp.cpp
  avm2/builtins/json.cpp
  avm2/builtins/bytearray.cpp
  avm2/builtins/media.cpp
  avm2/builtins/net_stream.cpp
  avm2/builtins/video.cpp
  avm2/builtins/geom.cpp
  avm2/builtins/display_geometry.cpp
  avm2/builtins/text.cpp
  avm2/builtins/stage.cpp
  avm2/builtins/bitmap_data.cpp
  avm2/builtins/shader.cpp
  avm2/builtins/xml.cpp
  avm2/builtins/proxy.cpp
  avm2/builtins/timer.cpp
)
