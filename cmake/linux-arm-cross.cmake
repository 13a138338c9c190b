# Shared part of the ARM cross builds (aarch64-linux-gnu.cmake, arm-linux-gnueabihf.cmake):
# Debian's cross compilers and the C library they bring under /usr/<triple>; the window
# program's Qt and X11 are Debian's multiarch packages for the target (qt6-base-dev:arm64 and
# so on, under /usr/lib/<triple>), while moc and the other Qt tools are the build machine's.
# -DVELTRA_QT=OFF builds the programs without Qt alone, which needs no multiarch package.
# Built programs run under qemu-user through cmake/qemu-run, which the suites' children reach
# through binfmt_misc.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${VELTRA_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${VELTRA_TRIPLE}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${VELTRA_TRIPLE})

# The cross compiler's own tree first, so that whatever it brings (the C library, libstdc++)
# is found there; then the machine's root, whose /usr/lib/<triple> and
# /usr/lib/<triple>/cmake hold the multiarch libraries and their CMake packages
# (CMAKE_LIBRARY_ARCHITECTURE makes the searches look in the target's folders, never in the
# build machine's /usr/lib/x86_64-linux-gnu).
set(CMAKE_FIND_ROOT_PATH /usr/${VELTRA_TRIPLE} /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The build machine's Qt provides the tools: its CMake packages are under its own multiarch
# folder, which Qt would not guess (it tries /usr/lib/cmake).
execute_process(COMMAND dpkg-architecture -qDEB_BUILD_MULTIARCH
                OUTPUT_VARIABLE VELTRA_BUILD_MULTIARCH OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE nResult ERROR_QUIET)
if(NOT nResult EQUAL 0 OR VELTRA_BUILD_MULTIARCH STREQUAL "")
  message(FATAL_ERROR "dpkg-architecture (dpkg-dev) is needed: run scripts/deps arm")
endif()
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/${VELTRA_BUILD_MULTIARCH}/cmake CACHE PATH
    "CMake packages of the build machine's Qt (its tools)")

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/qemu-run ${VELTRA_QEMU_ARCH}
                                  ${VELTRA_TRIPLE})
