include_guard(GLOBAL)

# A part of a device library, whose only exports are its C entry points and which never pulls Qt
# into its host: plain C++, nothing for moc, everything else hidden.
function(hlx_device_library_part)
  set_target_properties(${ARGN} PROPERTIES
    AUTOMOC OFF
    AUTOUIC OFF
    AUTORCC OFF
    POSITION_INDEPENDENT_CODE ON
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
endfunction()
