# The same sources for 64-bit Windows: used to run the tests under a 64-bit-only Wine, on hosts
# that cannot execute 32-bit programs (see README, "Hosts without 32-bit support").
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
