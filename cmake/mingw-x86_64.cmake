# Cross build of the same programs for x86-64 Windows: what the Wine tests run on machines that cannot
# execute 32-bit x86 code, and a check that the sources hold no pointer-width assumptions.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
