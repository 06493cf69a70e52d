# Cross-builds the Qt-free parts for 64-bit Windows with Debian's mingw-w64, and runs the
# tests under wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(HLX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_CXX_COMPILER ${HLX_MINGW_PREFIX}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${HLX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Runs each test program under wine, on a virtual X server, in the build's wine prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/support/with-wine.sh)
