# Cross-compiles the Linux program for VEK_LINUX_ARCH, a processor of
# native/processors.txt, with Debian's cross compiler for its GNU triplet:
# i686 (32-bit x86: runs natively where the x86-64 kernel starts 32-bit
# programs, otherwise under VEK_I686_EMULATOR, qemu-i386), the host's own
# processor (the released build for it), or any other, under its qemu.
# ctest and the case runner put the emulator in front of every binary.
# Linked statically, so no libraries of the other processor need be
# installed to run it.
set(VEK_LINUX_ARCH "i686" CACHE STRING "A processor of native/processors.txt with a GNU triplet")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VEK_LINUX_ARCH)
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/../native/processors.txt row REGEX "^${VEK_LINUX_ARCH}[ \t]")
string(REGEX MATCHALL "[^ \t]+" row "${row}")
list(LENGTH row columns)
if(columns EQUAL 6)
  list(GET row 4 triplet)
  list(GET row 5 qemu)
endif()
if(NOT columns EQUAL 6 OR triplet STREQUAL "-")
  message(FATAL_ERROR "native/processors.txt gives no GNU triplet for ${VEK_LINUX_ARCH}")
endif()
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${VEK_LINUX_ARCH})
set(CMAKE_C_COMPILER ${triplet}-gcc)
set(CMAKE_CXX_COMPILER ${triplet}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
if(NOT VEK_LINUX_ARCH MATCHES "^(i686|${CMAKE_HOST_SYSTEM_PROCESSOR})$")
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-${qemu})
elseif(VEK_I686_EMULATOR)  # make asks tools/host-i686.sh and sets it where needed
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VEK_I686_EMULATOR})
endif()
