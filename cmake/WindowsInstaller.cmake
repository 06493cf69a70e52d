# The Windows installer, made with NSIS's makensis from what the install rules lay out: a
# per-user install under the user's local programs folder, with bin/, demo/ and Pictor/.
find_program(HLX_MAKENSIS makensis)
if(NOT HLX_MAKENSIS)
  message(STATUS "No makensis: the Windows installer is not built")
  return()
endif()

set(HLX_INSTALLER ${CMAKE_BINARY_DIR}/hlx-config-${PROJECT_VERSION}-setup.exe)
set(HLX_INSTALLER_STAGE ${CMAKE_BINARY_DIR}/installer/stage)
add_custom_command(OUTPUT ${HLX_INSTALLER}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${HLX_INSTALLER_STAGE}
  COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --prefix ${HLX_INSTALLER_STAGE}
  COMMAND ${CMAKE_COMMAND} -DSTAGE=${HLX_INSTALLER_STAGE} -DOUTPUT=${CMAKE_BINARY_DIR}/installer
          -P ${PROJECT_SOURCE_DIR}/cmake/NsisFileLists.cmake
  COMMAND ${HLX_MAKENSIS} -V2 -NOCD
          -DVERSION=${PROJECT_VERSION}
          -DOUTFILE=${HLX_INSTALLER}
          -DFILES=${CMAKE_BINARY_DIR}/installer/files.nsh
          -DREMOVALS=${CMAKE_BINARY_DIR}/installer/removals.nsh
          ${PROJECT_SOURCE_DIR}/packaging/windows/hlx-config.nsi
  DEPENDS hlx-config Lumeshow Pictor HLX hlx-device
          ${PROJECT_SOURCE_DIR}/packaging/windows/hlx-config.nsi
          ${PROJECT_SOURCE_DIR}/cmake/NsisFileLists.cmake
  COMMENT "Making the Windows installer"
  VERBATIM)
add_custom_target(installer ALL DEPENDS ${HLX_INSTALLER})

install(TARGETS HLX hlx-device RUNTIME DESTINATION bin)
