# Cross-compiling for 64-bit ARM Linux (Debian arm64) with g++-aarch64-linux-gnu.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(VELTRA_TRIPLE aarch64-linux-gnu)
set(VELTRA_QEMU_ARCH aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-arm-cross.cmake)
