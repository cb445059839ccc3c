# Cross-compiles the Linux program with Debian's cross compiler for
# VEK_LINUX_ARCH: i686 (32-bit x86: runs natively where the x86-64 kernel
# starts 32-bit programs, otherwise under VEK_I686_EMULATOR, qemu-i386),
# aarch64 or riscv64 (under qemu-aarch64 or qemu-riscv64), or x86_64 (the
# released build for this host's processor). ctest and the case runner put
# the emulator in front of every binary. Linked statically, so no libraries
# of the other processor need be installed to run it.
set(VEK_LINUX_ARCH "i686" CACHE STRING "Debian cross compiler's target: i686, aarch64, riscv64 or x86_64")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VEK_LINUX_ARCH)
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${VEK_LINUX_ARCH})
set(CMAKE_C_COMPILER ${VEK_LINUX_ARCH}-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER ${VEK_LINUX_ARCH}-linux-gnu-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${VEK_LINUX_ARCH}-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
if(NOT VEK_LINUX_ARCH MATCHES "^(i686|${CMAKE_HOST_SYSTEM_PROCESSOR})$")
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-${VEK_LINUX_ARCH})
elseif(VEK_I686_EMULATOR)  # make asks tools/host-i686.sh and sets it where needed
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VEK_I686_EMULATOR})
endif()
