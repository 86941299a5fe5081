# The camera-properties plug-in tests: one executable per plug-in situation,
# each run from its own directory (tests/plugin/CMakeLists.txt), where the
# library's search by name finds the plug-in with its entry, a library of
# that name without the entry, or nothing. On Linux the search follows
# LD_LIBRARY_PATH; on Windows it starts beside the executable.
if(NOT TARGET voved_plugin_with_entry)
  return()
endif()

set(VOVED_PLUGIN_VARIANTS with_entry without_entry absent)
foreach(variant ${VOVED_PLUGIN_VARIANTS})
  set(target plugin_tests_${variant})
  set(dir ${VOVED_PLUGIN_ROOT}/${variant})
  add_executable(${target} ${CMAKE_CURRENT_SOURCE_DIR}/plugin/plugin_tests.cpp)
  string(TOUPPER ${variant} upper)
  target_compile_definitions(${target} PRIVATE VOVED_PLUGIN_${upper}=1)
  target_link_libraries(${target} PRIVATE voved_test_support)
  if(NOT WIN32)
    target_link_libraries(${target} PRIVATE ${CMAKE_DL_LIBS})
  endif()
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${dir})
  add_dependencies(${target} voved_plugin_with_entry voved_plugin_without_entry)
  voved_warnings(${target})
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${target} COMMAND ${target})
    set_tests_properties(${target} PROPERTIES WORKING_DIRECTORY ${dir})
  else()
    gtest_discover_tests(${target}
      TEST_PREFIX "${variant}:"
      WORKING_DIRECTORY ${dir}
      PROPERTIES ENVIRONMENT "LD_LIBRARY_PATH=${dir}"
      DISCOVERY_TIMEOUT 60)
  endif()
endforeach()
