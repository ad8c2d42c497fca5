# 32-bit ARM Linux (hard float) with Debian's cross compiler; the tests run
# under qemu-arm with the target's libraries.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
set(PKG_CONFIG_EXECUTABLE arm-linux-gnueabihf-pkg-config CACHE FILEPATH "" FORCE)
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -L /usr/arm-linux-gnueabihf)
# Linked statically: under qemu-arm 7.2 a fork()ed child of a dynamically
# linked program dies at once with SIGSEGV (a static one, or a raw clone, is
# fine), and the tests fork children to play other programs writing the base.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
