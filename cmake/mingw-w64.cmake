# Cross-building the Windows programs on Debian with mingw-w64 (g++-mingw-w64-x86-64-posix):
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# The "posix" flavour of the compiler is the one with std::thread and std::mutex (over
# winpthreads); the program links it, the C++ runtime and libgcc statically, so it runs with
# the DLLs every Windows has.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VOR_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VOR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VOR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VOR_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${VOR_MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${VOR_MINGW_TRIPLE}-ranlib CACHE FILEPATH "")

# Libraries and headers come from the mingw-w64 tree only, never from the build machine's.
set(CMAKE_FIND_ROOT_PATH /usr/${VOR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C library's thread-safe time conversions (localtime_r, gmtime_r), which mingw-w64's
# <time.h> gives over localtime_s and gmtime_s when asked.
add_compile_definitions(_POSIX_THREAD_SAFE_FUNCTIONS=200112L)

# The headers aim at Windows 10 by themselves (_WIN32_WINNT 0x0A00): the console's
# virtual-terminal sequences, BCrypt and WinHTTP are all there.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs run under Wine on the build machine.
find_program(VOR_WINE wine)
if(VOR_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VOR_WINE})
endif()
