# Every target of ours gets the same warning set through this interface library.
add_library(vantrel_warnings INTERFACE)
target_compile_options(vantrel_warnings INTERFACE -Wall -Wextra -Wno-unused-parameter)
