# Tests of the voved tool: its own parts (image files, tone tables, EXIF) and
# the real binary run on generated pictures. Registered only when the tool is
# built (it is a Linux tool; the Windows build covers the library).
if(VOVED_BUILD_TOOLS AND EXISTS ${PROJECT_SOURCE_DIR}/tools/voved/CMakeLists.txt
   AND NOT CMAKE_CROSSCOMPILING)
  file(GLOB VOVED_CLI_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/cli/*.cpp)
  add_executable(voved_cli_tests ${VOVED_CLI_TEST_SOURCES})
  # voved_tool_core and voved are defined by tools/voved, later in the tree.
  target_link_libraries(voved_cli_tests PRIVATE voved_tool_core voved32_static GTest::gtest_main)
  target_include_directories(voved_cli_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/cli)
  target_compile_definitions(voved_cli_tests PRIVATE
    VOVED_TOOL="$<TARGET_FILE:voved>"
    VOVED_SAMPLE="${PROJECT_SOURCE_DIR}/samples/chelsea.jpg"
    VOVED_TONE_TABLE="${PROJECT_SOURCE_DIR}/samples/tone-table.json")
  add_dependencies(voved_cli_tests voved)
  voved_warnings(voved_cli_tests)
  gtest_discover_tests(voved_cli_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS cli)
endif()
