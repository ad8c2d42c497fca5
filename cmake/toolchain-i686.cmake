# 32-bit x86 Linux with Debian's cross compiler. The tests run directly where
# the kernel runs 32-bit x86 programs; on a kernel built without that, set
# KV_I686_EMULATOR (tools/check.sh finds out by trying) and they run under
# that emulator instead.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)
# Without the triplet's wrapper pkg-config finds the host's PCRE2.
set(PKG_CONFIG_EXECUTABLE i686-linux-gnu-pkg-config CACHE FILEPATH "" FORCE)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KV_I686_EMULATOR)
if(KV_I686_EMULATOR)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${KV_I686_EMULATOR} -L /)
    # As under qemu-arm: a fork()ed child of a dynamically linked program
    # does not survive the emulator, and the tests fork.
    set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
endif()
