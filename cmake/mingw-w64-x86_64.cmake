# Cross-build for 64-bit Windows with Debian's mingw-w64. The posix thread model is the one
# whose libstdc++ has std::thread; -static puts the C++ and threading runtimes into the
# executable, so qdzelvorant.exe needs no DLL beside it but the system's own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QDZ_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QDZ_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QDZ_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QDZ_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QDZ_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
