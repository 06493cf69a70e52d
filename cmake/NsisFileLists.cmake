# Run as a script: writes, for the installer, what to install from STAGE (files.nsh) and what
# its uninstaller removes (removals.nsh) into OUTPUT. The uninstaller names each installed
# file and removes each folder only when empty, so that files the user wrote there stay.
cmake_minimum_required(VERSION 3.16)
file(GLOB_RECURSE files RELATIVE ${STAGE} ${STAGE}/*)
list(SORT files)

set(folders)
foreach(file ${files})
  get_filename_component(folder ${file} DIRECTORY)
  while(folder AND NOT folder IN_LIST folders)
    list(APPEND folders ${folder})
    get_filename_component(folder ${folder} DIRECTORY)
  endwhile()
endforeach()
list(SORT folders)

set(install "")
set(current "-")
foreach(file ${files})
  get_filename_component(folder ${file} DIRECTORY)
  if(NOT folder STREQUAL current)
    string(REPLACE "/" "\\" native "${folder}")
    string(APPEND install "SetOutPath \"$INSTDIR\\${native}\"\n")
    set(current ${folder})
  endif()
  string(APPEND install "File \"${STAGE}/${file}\"\n")
endforeach()

set(removals "")
foreach(file ${files})
  string(REPLACE "/" "\\" native "${file}")
  string(APPEND removals "Delete \"$INSTDIR\\${native}\"\n")
endforeach()
# Deepest first, so that a folder is empty by the time it comes.
list(REVERSE folders)
foreach(folder ${folders})
  string(REPLACE "/" "\\" native "${folder}")
  string(APPEND removals "RMDir \"$INSTDIR\\${native}\"\n")
endforeach()

file(WRITE ${OUTPUT}/files.nsh "${install}")
file(WRITE ${OUTPUT}/removals.nsh "${removals}")
