# Cross-compiles the Windows console program with mingw-w64 for VEK_MINGW_ARCH
# (i686: 32-bit, x86_64: 64-bit), linked statically so vek.exe needs nothing
# beyond the system's own DLLs.
set(VEK_MINGW_ARCH "i686" CACHE STRING "mingw-w64 target: i686 or x86_64")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VEK_MINGW_ARCH)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${VEK_MINGW_ARCH})
set(CMAKE_C_COMPILER ${VEK_MINGW_ARCH}-w64-mingw32-gcc)
set(CMAKE_CXX_COMPILER ${VEK_MINGW_ARCH}-w64-mingw32-g++)
set(CMAKE_RC_COMPILER ${VEK_MINGW_ARCH}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VEK_MINGW_ARCH}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
