# Cross-builds Varnu for 32-bit ARM Linux (ARMv7 with hardware floating point: a Raspberry Pi 2
# or later with a 32-bit system, or an older Android phone's chess app) with Debian's cross
# compiler (g++-arm-linux-gnueabihf), whose default target is ARMv7-A with VFPv3-D16 and Thumb-2.
# The 32-bit build is the one where size_t and pointers are 4 bytes, so its tests run too: with
# qemu's user-mode emulation installed (Debian: qemu-user) they run on this machine.
#
#   cmake -S . -B build-armv7 -DCMAKE_TOOLCHAIN_FILE=cmake/arm-linux-gnueabihf.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR armv7l)

set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)

set(CMAKE_FIND_ROOT_PATH /usr/arm-linux-gnueabihf)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static, as the 64-bit ARM build: one file that runs on any ARMv7 Linux or Android.
set(VARNU_STATIC ON CACHE BOOL "Link the programs statically" FORCE)

find_program(VARNU_QEMU_ARM qemu-arm)
if(VARNU_QEMU_ARM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VARNU_QEMU_ARM})
endif()
