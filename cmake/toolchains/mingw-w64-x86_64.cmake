# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 compilers (posix threads).
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake \
#         -DCMAKE_PREFIX_PATH=<Qt 5.15 MinGW kit>
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZORVIK_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZORVIK_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZORVIK_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZORVIK_MINGW_TRIPLET}-windres)

# Libraries and headers come from the MinGW sysroot and the Qt kit (CMAKE_PREFIX_PATH);
# programs (moc, rcc, uic) run on this machine.
set(CMAKE_FIND_ROOT_PATH /usr/${ZORVIK_MINGW_TRIPLET})
# The kit's plain libraries (qrcodegen, libmosquitto) are found by find_path/find_library,
# which search only inside the roots.
list(APPEND CMAKE_FIND_ROOT_PATH ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
