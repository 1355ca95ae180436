# Windows, 32-bit: the host simulator is a 32-bit Windows process, so the
# driver is an i686 PE DLL built with MinGW-w64. Tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(DCS_MINGW_PREFIX i686-w64-mingw32)
# The posix-threads compiler: its libstdc++ has std::mutex and
# std::condition_variable, which GoogleTest needs (the win32-threads one of
# GCC 12 has neither).
set(CMAKE_C_COMPILER ${DCS_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${DCS_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${DCS_MINGW_PREFIX}-windres)
set(CMAKE_DLLTOOL ${DCS_MINGW_PREFIX}-dlltool CACHE FILEPATH "dlltool of the MinGW toolchain")
set(CMAKE_OBJDUMP ${DCS_MINGW_PREFIX}-objdump CACHE FILEPATH "objdump of the MinGW toolchain")

# SSE2 arithmetic for doubles, in the driver and the tests alike: the host
# may leave the x87 unit at extended precision, and a product computed there
# is rounded twice (to 64 bits of mantissa, then to 53).
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")

set(CMAKE_FIND_ROOT_PATH /usr/${DCS_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The host loads the driver into a process that has no MinGW runtime DLLs,
# so libgcc, libstdc++ and winpthread (which the posix-threads libstdc++
# uses) are linked into each module. -static is what keeps winpthread's
# import library out: the compiler driver puts -Bdynamic back after
# -lstdc++, so a -Bstatic of our own would not reach its -lpthread.
set(DCS_MINGW_STATIC_RUNTIME "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${DCS_MINGW_STATIC_RUNTIME}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${DCS_MINGW_STATIC_RUNTIME}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${DCS_MINGW_STATIC_RUNTIME}")
