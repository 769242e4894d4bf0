# Cross-compiling for 64-bit Windows with Debian's MinGW-w64, posix thread
# model (the win32 model has no std::mutex, which JUCE needs).
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake ...
# scripts/build-windows.sh sets it up, with the static libraries from
# scripts/windows-deps.sh.
set (CMAKE_SYSTEM_NAME Windows)
set (CMAKE_SYSTEM_PROCESSOR x86_64)

set (toolchain_prefix x86_64-w64-mingw32)
set (CMAKE_C_COMPILER   ${toolchain_prefix}-gcc-posix)
set (CMAKE_CXX_COMPILER ${toolchain_prefix}-g++-posix)
set (CMAKE_RC_COMPILER  ${toolchain_prefix}-windres)
set (CMAKE_AR           /usr/bin/${toolchain_prefix}-ar CACHE FILEPATH "")
set (CMAKE_RANLIB       /usr/bin/${toolchain_prefix}-ranlib CACHE FILEPATH "")

# Libraries and headers come from the MinGW tree and from the prefixes listed
# in CMAKE_PREFIX_PATH (the static dependencies); programs such as JUCE's
# juceaide come from the host.
list (APPEND CMAKE_FIND_ROOT_PATH /usr/${toolchain_prefix})
set (CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set (CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set (CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set (CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

