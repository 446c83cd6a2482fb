# Cross-compiling toolchain: Windows x64 with mingw-w64 (posix thread model).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(_amb_triple x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${_amb_triple}-gcc-posix ${_amb_triple}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${_amb_triple}-g++-posix ${_amb_triple}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${_amb_triple}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${_amb_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Wine through this wrapper (private prefix, Japanese locale).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/wine-run.sh)
