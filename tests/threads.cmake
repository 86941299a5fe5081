# The concurrency test once more, run from the directory of the test
# plug-in, so that every thread's analysis with a camera model loads and
# calls it (tests/plugin). On Linux the library's search by name follows
# LD_LIBRARY_PATH; on Windows it starts beside the executable.
#
# voved_thread_tests builds both, for the ThreadSanitizer run of CI.
add_custom_target(voved_thread_tests)
add_dependencies(voved_thread_tests test_threads)
if(NOT TARGET voved_plugin_with_entry)
  return()
endif()

set(VOVED_THREADS_PLUGIN_DIR ${VOVED_PLUGIN_ROOT}/with_entry)
add_executable(threads_with_plugin ${CMAKE_CURRENT_SOURCE_DIR}/test_threads.cpp)
target_compile_definitions(threads_with_plugin PRIVATE VOVED_PLUGIN_PRESENT=1)
target_link_libraries(threads_with_plugin PRIVATE voved_test_support)
set_target_properties(threads_with_plugin PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${VOVED_THREADS_PLUGIN_DIR})
add_dependencies(threads_with_plugin voved_plugin_with_entry)
add_dependencies(voved_thread_tests threads_with_plugin)
voved_warnings(threads_with_plugin)
if(CMAKE_CROSSCOMPILING)
  add_test(NAME threads_with_plugin COMMAND threads_with_plugin)
  set_tests_properties(threads_with_plugin PROPERTIES WORKING_DIRECTORY ${VOVED_THREADS_PLUGIN_DIR})
else()
  gtest_discover_tests(threads_with_plugin
    TEST_PREFIX "with_plugin:"
    WORKING_DIRECTORY ${VOVED_THREADS_PLUGIN_DIR}
    PROPERTIES ENVIRONMENT "LD_LIBRARY_PATH=${VOVED_THREADS_PLUGIN_DIR}"
    DISCOVERY_TIMEOUT 60)
endif()
