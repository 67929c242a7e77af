# 32-bit Windows DLL: the shipping Win32 build. Test programs are linked, never run
# (the build machines cannot execute 32-bit code).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VEXA_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
