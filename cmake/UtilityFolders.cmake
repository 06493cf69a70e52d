# The utility's own folders, built alike for Linux and for Windows, with Qt's generators for
# their meta-objects, forms and resources.
macro(hlx_add_utility_folders)
  set(CMAKE_AUTOMOC ON)
  set(CMAKE_AUTOUIC ON)
  set(CMAKE_AUTORCC ON)
  add_subdirectory(platform)
  add_subdirectory(device)
  add_subdirectory(storage)
  add_subdirectory(ui)
  add_subdirectory(app)
endmacro()
