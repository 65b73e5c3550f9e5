# Sound and video of the engine: FFmpeg's decoders, libswresample and libswscale, the
# mixer and its SDL2 output.
pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET libavcodec libavutil libswresample libswscale)
pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
target_sources(vantrel_flash PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/audio_output.cpp
  ${CMAKE_CURRENT_LIST_DIR}/loaded_sound.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mixer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/movie_sounds.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../control/offline_sound.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sound_decoder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sound_library.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../video/embedded_video.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../video/flv_index.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../video/flv_playback.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../video/h263_decoder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../video/stream_video.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../video/video_decoder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../video/video_page.cpp
  # The script side of video and the Video display object.
  ${CMAKE_CURRENT_LIST_DIR}/../avm1/builtins/net_stream.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../avm1/builtins/video.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../display/video_object.cpp
)
target_link_libraries(vantrel_flash PRIVATE PkgConfig::FFMPEG PkgConfig::SDL2 PkgConfig::PUGIXML)
# The H.263 inverse transform must round exactly as written: no fused multiply-adds;
# its loops are worth vectorising.
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/../video/h263_decoder.cpp PROPERTIES COMPILE_OPTIONS "-ffp-contract=off;-O3")
