# The Windows installer, made with NSIS's makensis from what the install rules lay out: a
# per-user install under the user's local programs folder. Its components are the install
# rules' own: the utility (bin/ with Qt, the device library for real headsets, hlx-headsets.exe
# and the real demo and capturer, whose launchers are in demo/ and Pictor/) and the simulator,
# which puts the stand-in device library in the real one's place, adds hlx-device to bin/, and
# puts its stand-in companions over the real demo's and capturer's launchers.
find_program(HLX_MAKENSIS makensis)
if(NOT HLX_MAKENSIS)
  message(STATUS "No makensis: the Windows installer is not built")
  return()
endif()

set(HLX_INSTALLER ${CMAKE_BINARY_DIR}/hlx-config-${PROJECT_VERSION}-setup.exe)
set(HLX_INSTALLER_DIR ${CMAKE_BINARY_DIR}/installer)
set(HLX_INSTALLER_STAGE ${HLX_INSTALLER_DIR}/stage)
set(HLX_STAGE_COMMANDS)
foreach(component utility simulator)
  list(APPEND HLX_STAGE_COMMANDS
    COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --strip --component ${component}
            --prefix ${HLX_INSTALLER_STAGE}/${component})
endforeach()
add_custom_command(OUTPUT ${HLX_INSTALLER}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${HLX_INSTALLER_STAGE}
  ${HLX_STAGE_COMMANDS}
  COMMAND ${CMAKE_COMMAND} -DSTAGE=${HLX_INSTALLER_STAGE} -DOUTPUT=${HLX_INSTALLER_DIR}
          -P ${PROJECT_SOURCE_DIR}/cmake/NsisFileLists.cmake
  COMMAND ${HLX_MAKENSIS} -V2 -NOCD
          -DVERSION=${PROJECT_VERSION}
          -DOUTFILE=${HLX_INSTALLER}
          -DQT_WINDOW_CLASS=${HLX_QT_WINDOW_CLASS}
          -DUTILITY_FILES=${HLX_INSTALLER_DIR}/utility-files.nsh
          -DSIMULATOR_FILES=${HLX_INSTALLER_DIR}/simulator-files.nsh
          -DREMOVALS=${HLX_INSTALLER_DIR}/removals.nsh
          ${PROJECT_SOURCE_DIR}/packaging/windows/hlx-config.nsi
  # A changed install rule changes what is staged.
  DEPENDS hlx-config Lumeshow Pictor hlx_lumeshow hlx_pictor hlx_lumeshow_launcher
          hlx_pictor_launcher HLX hlx-device hlx_windows_device hlx-headsets
          ${CMAKE_BINARY_DIR}/cmake_install.cmake
          ${PROJECT_SOURCE_DIR}/packaging/windows/hlx-config.nsi
          ${PROJECT_SOURCE_DIR}/cmake/NsisFileLists.cmake
  COMMENT "Making the Windows installer"
  VERBATIM)
add_custom_target(installer ALL DEPENDS ${HLX_INSTALLER})

install(TARGETS HLX hlx-device RUNTIME DESTINATION bin COMPONENT simulator)
