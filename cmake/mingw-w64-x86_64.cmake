# Cross-builds for 64-bit Windows with Debian's mingw-w64, and runs the tests under wine.
# The posix thread model: Qt for Windows is built with it (the win32 one lacks std::mutex,
# which QtTest needs), and one program must not mix the two runtimes.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(HLX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${HLX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${HLX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${HLX_MINGW_PREFIX}-windres)

# Qt for Windows, from scripts/build-qt-windows.sh, is searched beside the system's root.
if(NOT DEFINED HLX_QT_WINDOWS_PREFIX)
  if(DEFINED ENV{HLX_QT_WINDOWS_PREFIX})
    set(HLX_QT_WINDOWS_PREFIX $ENV{HLX_QT_WINDOWS_PREFIX})
  elseif(DEFINED ENV{XDG_CACHE_HOME})
    set(HLX_QT_WINDOWS_PREFIX $ENV{XDG_CACHE_HOME}/hlx-config/qt5-windows)
  else()
    set(HLX_QT_WINDOWS_PREFIX $ENV{HOME}/.cache/hlx-config/qt5-windows)
  endif()
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${HLX_MINGW_PREFIX} ${HLX_QT_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Runs each test program under wine, on a virtual X server, in the build's wine prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/support/with-wine.sh)
