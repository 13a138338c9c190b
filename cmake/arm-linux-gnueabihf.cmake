# Cross-compiling for 32-bit ARM Linux with hardware floating point (Debian armhf, ARMv7 and
# later) with g++-arm-linux-gnueabihf.
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(VELTRA_TRIPLE arm-linux-gnueabihf)
set(VELTRA_QEMU_ARCH arm)
include(${CMAKE_CURRENT_LIST_DIR}/linux-arm-cross.cmake)
