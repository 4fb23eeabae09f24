# Cross toolchain for the product: 32-bit Windows DLL built with MinGW-w64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_PREFIX i686-w64-mingw32)
# Doubles stay doubles and floats stay floats: the key geometry and the size
# fit truncate their results, so computing them in the x87 unit's wider
# registers, at whatever precision the host left it, would move keys by a
# pixel. Windows calls back with a stack aligned to four bytes only.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse -mincoming-stack-boundary=2")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -mincoming-stack-boundary=2")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
