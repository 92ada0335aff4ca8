# Cross compiling for 64-bit Windows with Debian's MinGW-w64 compilers. The posix thread model:
# Qt needs the standard thread library, which the win32 model lacks.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VISTREL_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VISTREL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VISTREL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VISTREL_MINGW_TRIPLET}-windres)

# Libraries and headers of the target only; programs (moc, rcc) of the host.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${VISTREL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
