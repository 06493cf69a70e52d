# Qt's DLLs, the plugins it loads and the compiler runtime, beside the Qt program of the
# Windows build, so that its folder runs as it is, and the same in the installed folder: the
# one copy of Qt. Qt looks for its plugins in folders beside the executable.
set(HLX_QT_DLLS Qt5::Core Qt5::Gui Qt5::Widgets)
set(HLX_QT_PLUGINS
  platforms Qt5::QWindowsIntegrationPlugin
  styles Qt5::QWindowsVistaStylePlugin)

set(HLX_COMPILER_RUNTIME)
foreach(library libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${library}
    OUTPUT_VARIABLE location OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${location}" OR NOT EXISTS "${location}")
    message(FATAL_ERROR "The compiler runtime ${library} is not where ${CMAKE_CXX_COMPILER} says")
  endif()
  get_filename_component(location ${location} REALPATH)
  list(APPEND HLX_COMPILER_RUNTIME ${location})
endforeach()

# Copies what `target` needs at run time into its folder of the build, `destination`, before
# it is linked, and installs the same into `destination`, or into the install's folder given
# after it when the build keeps the program elsewhere.
function(hlx_deploy_qt_runtime target destination)
  set(folder ${CMAKE_BINARY_DIR}/${destination})
  string(MAKE_C_IDENTIFIER ${destination} runtime_name)
  if(ARGC GREATER 2)
    set(destination ${ARGV2})
  endif()
  set(files ${HLX_COMPILER_RUNTIME})
  foreach(library ${HLX_QT_DLLS})
    list(APPEND files $<TARGET_FILE:${library}>)
  endforeach()
  set(commands COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
               COMMAND ${CMAKE_COMMAND} -E copy_if_different ${files} ${folder})
  set(sources ${files})
  install(FILES ${files} DESTINATION ${destination} COMPONENT utility)
  # Debian's compiler runtime carries its debugging information, ten times the code: an
  # install with --strip drops it, as it does from the programs.
  foreach(library ${HLX_COMPILER_RUNTIME})
    get_filename_component(name ${library} NAME)
    install(CODE "if(CMAKE_INSTALL_DO_STRIP)
      execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${destination}/${name}\")
    endif()" COMPONENT utility)
  endforeach()

  set(plugins ${HLX_QT_PLUGINS})
  while(plugins)
    list(POP_FRONT plugins kind plugin)
    list(APPEND commands
      COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}/${kind}
      COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${plugin}> ${folder}/${kind})
    list(APPEND sources $<TARGET_FILE:${plugin}>)
    install(FILES $<TARGET_FILE:${plugin}> DESTINATION ${destination}/${kind}
      COMPONENT utility)
  endwhile()

  set(stamp ${CMAKE_BINARY_DIR}/CMakeFiles/qt-runtime-${runtime_name}.stamp)
  add_custom_command(OUTPUT ${stamp} ${commands}
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${sources}
    COMMENT "Copying Qt and the compiler runtime into ${folder}"
    VERBATIM)
  add_custom_target(qt-runtime-${runtime_name} DEPENDS ${stamp})
  add_dependencies(${target} qt-runtime-${runtime_name})
  install(TARGETS ${target} RUNTIME DESTINATION ${destination} COMPONENT utility)
endfunction()
