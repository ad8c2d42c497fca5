# 32-bit x86 Linux with Debian's cross compiler; the tests run directly on
# an x86-64 kernel.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)
# Without the triplet's wrapper pkg-config finds the host's PCRE2.
set(PKG_CONFIG_EXECUTABLE i686-linux-gnu-pkg-config CACHE FILEPATH "" FORCE)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
