# The Windows build. With Qt 5 for Windows (scripts/build-qt-windows.sh builds it) it is the
# whole utility, laid out like the Linux build and run as it is under wine, with the platform
# cases; without it, the parts that need no Qt: the platform backend and the Windows stand-ins.
# The platform cases are Qt Test programs, so they need that Qt too.
find_package(Qt5 5.15 QUIET COMPONENTS Core Gui Widgets)

# A second start finds the running window by the class that Qt's Windows platform registers
# for a top-level window with an icon: "Qt", the version's digits, "d" for a debug Qt.
if(Qt5_FOUND)
  set(HLX_QT_WINDOWS_VERSION ${Qt5Core_VERSION})
  get_target_property(HLX_QT_CONFIGURATIONS Qt5::Core IMPORTED_CONFIGURATIONS)
  if(HLX_QT_CONFIGURATIONS STREQUAL "DEBUG")
    set(HLX_QT_DEBUG_MARK d)
  endif()
else()
  # What scripts/build-qt-windows.sh builds, so that the platform layer alone agrees with it.
  set(HLX_QT_WINDOWS_VERSION 5.15.8)
endif()
string(REPLACE "." "" HLX_QT_VERSION_DIGITS ${HLX_QT_WINDOWS_VERSION})
set(HLX_QT_WINDOW_CLASS "Qt${HLX_QT_VERSION_DIGITS}${HLX_QT_DEBUG_MARK}QWindowIcon")

if(NOT Qt5_FOUND)
  message(STATUS "No Qt 5 for Windows in ${HLX_QT_WINDOWS_PREFIX}: "
                 "building the platform layer and its stand-ins only, without tests")
  # Linked statically, the programs need no compiler runtime DLLs beside them.
  add_link_options(-static)
  add_subdirectory(platform)
  add_subdirectory(standins/windows)
  add_subdirectory(devicelib/common)
  add_subdirectory(devicelib/headsets)
  add_subdirectory(devicelib/windows)
  return()
endif()

enable_language(RC)
hlx_add_utility_folders()
include(cmake/WindowsRuntime.cmake)

# RUNPATH is ELF's: Windows looks beside the executable first by itself.
set_property(TARGET hlx-config PROPERTY LINK_OPTIONS)

# A GUI program, with the manifest (asInvoker, Common Controls 6) and version in its resources.
# The resource compiler does not report the manifest it reads: its digest in the configured
# resource script makes a changed manifest rebuild the resources.
set(HLX_MANIFEST ${CMAKE_CURRENT_SOURCE_DIR}/app/windows/hlx-config.manifest)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${HLX_MANIFEST})
file(SHA256 ${HLX_MANIFEST} HLX_MANIFEST_DIGEST)
configure_file(app/windows/hlx-config.rc.in app/hlx-config.rc @ONLY)
target_sources(hlx-config PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/app/hlx-config.rc)
set_target_properties(hlx-config PROPERTIES WIN32_EXECUTABLE ON)
hlx_deploy_qt_runtime(hlx-config bin)

# The real demo and screen capturer, Qt programs like the utility, find the headset's display as
# the device library does. The build keeps them in headset/, as build/demo and build/Pictor hold
# the simulator's stand-ins; the default install puts their launchers in demo\ and Pictor\ and
# the programs themselves in bin\, with the utility's copy of Qt.
set(HLX_DEVICE_CORE hlx_windows_core)
add_subdirectory(demo)
add_subdirectory(capturer)
hlx_run_companion_from_bin(hlx_lumeshow)
hlx_run_companion_from_bin(hlx_pictor)

# The programs of our own that use no Qt, the simulator's among them, carry their runtime
# within, as without Qt.
set(CMAKE_AUTOMOC OFF)
set(CMAKE_AUTOUIC OFF)
set(CMAKE_AUTORCC OFF)
add_link_options(-static)
add_subdirectory(standins/windows)
add_subdirectory(devicelib/common)
add_subdirectory(devicelib/headsets)
add_subdirectory(devicelib/windows)
include(cmake/WindowsInstaller.cmake)
if(HLX_BUILD_TESTS)
  find_package(Qt5 REQUIRED COMPONENTS Test)
  enable_testing()
  hlx_add_build_tree_guard()
  add_subdirectory(tests/platform)
endif()
