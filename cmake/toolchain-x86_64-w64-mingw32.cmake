# 64-bit Windows build, for running the tests under wine64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# wine64 itself: the `wine` launcher picks the 32-bit loader wherever wine32 is
# installed, and on a kernel without 32-bit support nothing starts then.
# Debian keeps wine64 outside PATH.
find_program(QUOR_WINE64 wine64 PATHS /usr/lib/wine)
if(QUOR_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUOR_WINE64})
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR wine64)
endif()
