# ASan + UBSan for the whole tree (used by `scripts/test --sanitize`, built with clang).
if(VANTREL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
# The fuzz targets need libFuzzer instrumentation on every library they link. Undefined
# behaviour stops a run and leaves its input, as a crash does (a recovered report is printed
# once per process and the run goes on past it).
if(VANTREL_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
