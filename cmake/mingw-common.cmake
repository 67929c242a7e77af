# The -posix compilers: GoogleTest needs std::mutex, which the win32 thread model
# lacks. Linked with -static they still need no DLL beyond the system's own.
set(CMAKE_C_COMPILER ${VEXA_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VEXA_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VEXA_TRIPLET}-windres)
set(VEXA_WIDL ${VEXA_TRIPLET}-widl)
set(CMAKE_FIND_ROOT_PATH /usr/${VEXA_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
