# Cross-build for 64-bit Windows with Debian's mingw-w64 compilers. The
# posix-thread variants give the standard library its full threading
# support; the runtime libraries are linked statically so vandrel.exe and
# the test programs need no DLL beyond the system's own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VANDREL_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VANDREL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VANDREL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VANDREL_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VANDREL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static pulls winpthread in statically as well as libgcc and libstdc++.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# vandrel.dll too carries its C++ runtime: a program that loads it needs
# nothing else beside it.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest runs the cross-built test programs under Wine.
find_program(VANDREL_WINE NAMES wine wine64)
if(VANDREL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VANDREL_WINE})
endif()
