# The SWF/FLV fixture writer of tests/support (swf_writer.h), with the compressors it uses.
target_sources(vantrel_test_support PRIVATE ${CMAKE_CURRENT_LIST_DIR}/swf_writer.cpp)
target_link_libraries(vantrel_test_support PUBLIC ZLIB::ZLIB PkgConfig::LZMA)
