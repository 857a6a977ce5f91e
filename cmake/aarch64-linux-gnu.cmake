# Cross build for 64-bit ARM (a Raspberry Pi 3 or later, ARM servers) with Debian's cross
# compiler; the programs run here under qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The programs run with Debian's arm64 libraries (multiarch: libc6:arm64 and the HTTP
# library's arm64 package), as on the device; the cross compiler's own copy of the C library
# would mix with them.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /)
# pkg-config looks at the target's libraries only (multiarch), not this machine's.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
