# 32-bit x86 Linux on an x86_64 Debian host: the system g++ with -m32 (g++-multilib), and the
# programs run through qemu-i386 (qemu-user), which CTest and gtest_discover_tests use.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i386)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")

# Look for libraries in the i386 multiarch folders (packages NAME:i386).
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/i386-linux-gnu/pkgconfig:/usr/share/pkgconfig")

# -L /: the i386 loader and libraries live in the host's own root (libc6-i386, lib32stdc++6).
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/qemu-i386 -L /)
