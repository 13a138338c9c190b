# Shared part of the ARM cross builds (aarch64-linux-gnu.cmake, arm-linux-gnueabihf.cmake):
# Debian's cross compilers and the C library they bring under /usr/<triple>; programs such
# as moc come from the build machine. The programs without Qt only (VELTRA_QT off). Built
# programs run under qemu-user through cmake/qemu-run, which the suites' children reach
# through binfmt_misc.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${VELTRA_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${VELTRA_TRIPLE}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${VELTRA_TRIPLE})

set(CMAKE_FIND_ROOT_PATH /usr/${VELTRA_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(QT_HOST_PATH /usr)

set(VELTRA_QT OFF CACHE BOOL "Build the window program and everything on Qt")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/qemu-run ${VELTRA_QEMU_ARCH}
                                  ${VELTRA_TRIPLE})
