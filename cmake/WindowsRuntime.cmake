# Qt's DLLs, the plugins it loads and the compiler runtime, beside the Qt programs of the
# Windows build, so that its folders run as they are, and in the installed bin\ once: the one
# copy of Qt. Qt looks for its plugins in folders beside the executable.
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

# The DLLs that go beside a Qt program, the plugins apart.
set(HLX_QT_RUNTIME_FILES ${HLX_COMPILER_RUNTIME})
foreach(library ${HLX_QT_DLLS})
  list(APPEND HLX_QT_RUNTIME_FILES $<TARGET_FILE:${library}>)
endforeach()

# Copies what `target` needs at run time into its folder of the build, `folder`, before it is
# linked; programs that share a folder share the copy.
function(hlx_copy_qt_runtime target folder)
  string(MAKE_C_IDENTIFIER ${folder} runtime_name)
  set(runtime_target qt-runtime-${runtime_name})
  if(NOT TARGET ${runtime_target})
    set(path ${CMAKE_BINARY_DIR}/${folder})
    set(commands COMMAND ${CMAKE_COMMAND} -E make_directory ${path}
                 COMMAND ${CMAKE_COMMAND} -E copy_if_different ${HLX_QT_RUNTIME_FILES} ${path})
    set(sources ${HLX_QT_RUNTIME_FILES})
    set(plugins ${HLX_QT_PLUGINS})
    while(plugins)
      list(POP_FRONT plugins kind plugin)
      list(APPEND commands
        COMMAND ${CMAKE_COMMAND} -E make_directory ${path}/${kind}
        COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${plugin}> ${path}/${kind})
      list(APPEND sources $<TARGET_FILE:${plugin}>)
    endwhile()
    set(stamp ${CMAKE_BINARY_DIR}/CMakeFiles/${runtime_target}.stamp)
    add_custom_command(OUTPUT ${stamp} ${commands}
      COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
      DEPENDS ${sources}
      COMMENT "Copying Qt and the compiler runtime into ${path}"
      VERBATIM)
    add_custom_target(${runtime_target} DEPENDS ${stamp})
  endif()
  add_dependencies(${target} ${runtime_target})
endfunction()

# The utility: Qt beside it in the build's `destination`, and the install's one copy of Qt
# beside it in the install's.
function(hlx_deploy_qt_runtime target destination)
  hlx_copy_qt_runtime(${target} ${destination})
  install(FILES ${HLX_QT_RUNTIME_FILES} DESTINATION ${destination} COMPONENT utility)
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
    install(FILES $<TARGET_FILE:${plugin}> DESTINATION ${destination}/${kind}
      COMPONENT utility)
  endwhile()
  install(TARGETS ${target} RUNTIME DESTINATION ${destination} COMPONENT utility)
endfunction()

# A companion program, the demo or the screen capturer, which hlx_add_companion_program made a
# library with the name and folder of a program. Windows looks for a program's DLLs beside it,
# not in bin\: the program stays a library, in bin\ beside the one copy of Qt, and a small
# launcher without Qt takes the program's name and place (demo\Lumeshow.exe, Pictor\Pictor.exe)
# and runs it in its own process. In the build the library and a copy of Qt are in headset/bin,
# so that headset/ is laid out as the install.
function(hlx_run_companion_from_bin target)
  get_target_property(name ${target} OUTPUT_NAME)
  get_target_property(folder ${target} RUNTIME_OUTPUT_DIRECTORY)
  get_filename_component(place ${folder} NAME)
  get_filename_component(headset ${folder} DIRECTORY)

  set_target_properties(${target} PROPERTIES
    PREFIX ""
    SUFFIX ".dll"
    RUNTIME_OUTPUT_DIRECTORY ${headset}/bin)
  file(RELATIVE_PATH build_folder ${CMAKE_BINARY_DIR} ${headset}/bin)
  hlx_copy_qt_runtime(${target} ${build_folder})
  install(TARGETS ${target} RUNTIME DESTINATION bin COMPONENT utility)

  set(launcher ${target}_launcher)
  add_executable(${launcher} WIN32 ${PROJECT_SOURCE_DIR}/companion-launcher/CompanionLauncher.cpp)
  target_compile_definitions(${launcher} PRIVATE HLX_COMPANION_LIBRARY=L"${name}.dll")
  # Nothing for Windows to look for beside it: its runtime is within.
  target_link_options(${launcher} PRIVATE -static)
  set_target_properties(${launcher} PROPERTIES
    AUTOMOC OFF
    AUTOUIC OFF
    AUTORCC OFF
    OUTPUT_NAME ${name}
    RUNTIME_OUTPUT_DIRECTORY ${folder})
  add_dependencies(${launcher} ${target})
  install(TARGETS ${launcher} RUNTIME DESTINATION ${place} COMPONENT utility)
endfunction()
