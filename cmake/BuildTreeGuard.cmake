# Tests work in folders of their own: after them the build folder holds what the build put
# there and nothing more. One test notes the folder before all others, one compares after.
function(hlx_add_build_tree_guard)
  set(script ${PROJECT_SOURCE_DIR}/tests/support/build-tree.sh)
  add_test(NAME build-tree.before COMMAND ${script} record ${CMAKE_BINARY_DIR})
  add_test(NAME build-tree.after COMMAND ${script} compare ${CMAKE_BINARY_DIR})
  set_tests_properties(build-tree.before PROPERTIES FIXTURES_SETUP build-tree)
  set_tests_properties(build-tree.after PROPERTIES FIXTURES_CLEANUP build-tree)
endfunction()

# Called last in each folder of tests: CMake sets a test's properties only from its own folder.
function(hlx_guard_build_tree_of_tests_here)
  get_property(tests DIRECTORY PROPERTY TESTS)
  if(tests)
    set_property(TEST ${tests} APPEND PROPERTY FIXTURES_REQUIRED build-tree)
  endif()
endfunction()
