# The Windows DLL's export table seen by the loader: a program beside the DLL
# loads it by name and looks each entry point up by name and by ordinal.
if(NOT WIN32)
  return()
endif()
add_executable(windows_exports ${CMAKE_CURRENT_LIST_DIR}/windows/exports.c)
set_target_properties(windows_exports PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/src)
add_dependencies(windows_exports voved32)
voved_warnings(windows_exports)
add_test(NAME windows_exports COMMAND windows_exports)
