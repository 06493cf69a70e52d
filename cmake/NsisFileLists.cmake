# Run as a script: writes, for the installer, what each component installs from its folder of
# STAGE (utility-files.nsh, simulator-files.nsh) and what the uninstaller removes
# (removals.nsh) into OUTPUT. The uninstaller names each file that any component installs and
# removes each folder only when empty, so that files the user wrote there stay.
cmake_minimum_required(VERSION 3.16)
set(components utility simulator)

set(all_files)
foreach(component ${components})
  file(GLOB_RECURSE files RELATIVE ${STAGE}/${component} ${STAGE}/${component}/*)
  list(SORT files)
  list(APPEND all_files ${files})

  set(install "")
  set(current "-")
  foreach(file ${files})
    get_filename_component(folder ${file} DIRECTORY)
    if(NOT folder STREQUAL current)
      string(REPLACE "/" "\\" native "${folder}")
      string(APPEND install "SetOutPath \"$INSTDIR\\${native}\"\n")
      set(current ${folder})
    endif()
    string(APPEND install "File \"${STAGE}/${component}/${file}\"\n")
  endforeach()
  file(WRITE ${OUTPUT}/${component}-files.nsh "${install}")
endforeach()
# A file that two components bring, as bin/libHLX.dll (the real device library, or the
# simulator's over it), is removed once.
list(REMOVE_DUPLICATES all_files)
list(SORT all_files)

set(folders)
foreach(file ${all_files})
  get_filename_component(folder ${file} DIRECTORY)
  while(folder AND NOT folder IN_LIST folders)
    list(APPEND folders ${folder})
    get_filename_component(folder ${folder} DIRECTORY)
  endwhile()
endforeach()
list(SORT folders)

set(removals "")
foreach(file ${all_files})
  string(REPLACE "/" "\\" native "${file}")
  string(APPEND removals "Push \"$INSTDIR\\${native}\"\nCall un.RemoveFile\n")
endforeach()
# Deepest first, so that a folder is empty by the time it comes.
list(REVERSE folders)
foreach(folder ${folders})
  string(REPLACE "/" "\\" native "${folder}")
  string(APPEND removals "RMDir \"$INSTDIR\\${native}\"\n")
endforeach()
file(WRITE ${OUTPUT}/removals.nsh "${removals}")
