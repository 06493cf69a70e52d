# The demo and the screen capturer, which the utility and the device library start: programs of
# their own, except on Windows, where each is a library that a launcher in the program's place
# runs from bin\, beside the one copy of Qt (hlx_run_companion_from_bin, once the target is
# complete). Called as add_executable is.
function(hlx_add_companion_program target)
  if(NOT CMAKE_SYSTEM_NAME STREQUAL "Windows")
    add_executable(${target} ${ARGN})
    return()
  endif()
  set(sources ${ARGN})
  list(REMOVE_ITEM sources WIN32)
  add_library(${target} SHARED ${sources}
    ${PROJECT_SOURCE_DIR}/companion-launcher/CompanionEntry.cpp)
  # The program's own main, which the library's entry calls.
  target_compile_definitions(${target} PRIVATE main=hlxCompanionMain)
endfunction()
