# Cross toolchain: 32-bit Windows programs built on Linux with mingw-w64.
#
# The -posix compilers are used because GoogleTest needs their thread model;
# the shipped programs avoid the C++ library facilities that would pull in
# winpthreads (the import check of the test suite watches for that).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(ZAL_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${ZAL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZAL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ZAL_MINGW_PREFIX}-windres)
set(CMAKE_OBJDUMP ${ZAL_MINGW_PREFIX}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${ZAL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Cross-built test programs run through Wine; the project replaces this by
# its own wrapper, which adds the build tree's private Wine prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
