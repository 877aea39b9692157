# Cross-builds Varnu for 64-bit ARM Linux (a Raspberry Pi 3, 4 or 5 with a 64-bit system, or an
# Android phone's chess app) with Debian's cross compiler (g++-aarch64-linux-gnu). With qemu's
# user-mode emulation installed (Debian: qemu-user), the tests and the benchmarks run on this
# machine as on the Pi.
#
#   cmake -S . -B build-arm -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static: the engine runs on any ARM64 Linux whatever its C library (Android's is not glibc), and
# the release archive ships this build's file as it is. Forced, so that a build folder configured
# before the toolchain was static turns static too.
set(VARNU_STATIC ON CACHE BOOL "Link the programs statically" FORCE)

# The programs run under qemu; being static, they need none of the ARM system's libraries.
find_program(VARNU_QEMU_AARCH64 qemu-aarch64)
if(VARNU_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VARNU_QEMU_AARCH64})
endif()
