# Toolchain file for a build on another Debian architecture with Debian's
# cross compilers (g++-TRIPLE), for example
#   cmake -S . -B build-cross/aarch64-linux-gnu -DPMEDIAN_TRIPLE=aarch64-linux-gnu \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/cross.cmake
# CMAKE_CROSSCOMPILING_EMULATOR runs the programs on the build machine:
# qemu-user, with the target's libraries from /usr/TRIPLE (which the cross
# compiler's packages install), or for i686 on an x86-64 machine the
# target's own dynamic loader on this CPU.
if(NOT PMEDIAN_TRIPLE)
  message(FATAL_ERROR "Give the target as -DPMEDIAN_TRIPLE=aarch64-linux-gnu (or s390x-linux-gnu, i686-linux-gnu, ...)")
endif()
# try_compile projects read this file again and need the triple too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES PMEDIAN_TRIPLE)

set(CMAKE_SYSTEM_NAME Linux)
string(REGEX MATCH "^[^-]+" CMAKE_SYSTEM_PROCESSOR "${PMEDIAN_TRIPLE}")
set(CMAKE_CXX_COMPILER ${PMEDIAN_TRIPLE}-g++)

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
  set(CMAKE_CROSSCOMPILING_EMULATOR
      /usr/${PMEDIAN_TRIPLE}/lib/ld-linux.so.2 --library-path /usr/${PMEDIAN_TRIPLE}/lib)
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-${qemu_arch}-static -L /usr/${PMEDIAN_TRIPLE})
endif()
