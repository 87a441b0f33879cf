# Toolchain file for a build on another Debian architecture with Debian's
# cross compilers (g++-TRIPLE), for example
#   cmake -S . -B build-cross/aarch64-linux-gnu -DPMEDIAN_TRIPLE=aarch64-linux-gnu \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/cross.cmake
# The programs are linked statically, so that they run under qemu-user, or
# on the build machine's CPU for i686, without the target's shared libraries.
# CMAKE_CROSSCOMPILING_EMULATOR names the qemu-user program that runs them
# (empty for i686 on an x86-64 machine, which runs them itself).
if(NOT PMEDIAN_TRIPLE)
  message(FATAL_ERROR "Give the target as -DPMEDIAN_TRIPLE=aarch64-linux-gnu (or s390x-linux-gnu, i686-linux-gnu, ...)")
endif()
# try_compile projects read this file again and need the triple too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES PMEDIAN_TRIPLE)

set(CMAKE_SYSTEM_NAME Linux)
string(REGEX MATCH "^[^-]+" CMAKE_SYSTEM_PROCESSOR "${PMEDIAN_TRIPLE}")
set(CMAKE_CXX_COMPILER ${PMEDIAN_TRIPLE}-g++)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Libraries and packages come from the target's tree only; programs from the
# build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${PMEDIAN_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# qemu-user names some architectures its own way.
set(qemu_arch ${CMAKE_SYSTEM_PROCESSOR})
if(qemu_arch STREQUAL "powerpc64le")
  set(qemu_arch ppc64le)
elseif(qemu_arch STREQUAL "powerpc64")
  set(qemu_arch ppc64)
elseif(qemu_arch MATCHES "^i.86$")
  set(qemu_arch i386)
endif()
if(qemu_arch STREQUAL "i386" AND CMAKE_HOST_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(CMAKE_CROSSCOMPILING_EMULATOR "")
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-${qemu_arch}-static)
endif()
