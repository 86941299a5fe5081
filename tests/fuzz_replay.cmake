# The fuzz harnesses with a plain main that replays inputs: every seed of
# fuzz/corpus/<target> and every finding kept in fuzz/regressions/<target>
# runs in the suite, in every build (sanitizers and Windows included). A
# finding aborts the replay, which fails the test.
set(VOVED_FUZZ_DIR ${PROJECT_SOURCE_DIR}/fuzz)

function(voved_fuzz_replay name)
  set(target replay_${name})
  add_executable(${target} ${VOVED_FUZZ_DIR}/${name}.cpp ${VOVED_FUZZ_DIR}/replay_main.cpp)
  target_link_libraries(${target} PRIVATE ${ARGN})
  voved_warnings(${target})
  set(inputs)
  foreach(kind corpus regressions)
    set(dir ${VOVED_FUZZ_DIR}/${kind}/${name})
    if(IS_DIRECTORY ${dir})
      if(CMAKE_CROSSCOMPILING)
        set(dir "Z:${dir}")  # wine sees the host's root as drive Z:
      endif()
      list(APPEND inputs ${dir})
    endif()
  endforeach()
  add_test(NAME fuzz_replay_${name} COMMAND ${target} ${inputs})
endfunction()

voved_fuzz_replay(api_sequence voved32_static)
voved_fuzz_replay(tone_table voved32_static)
voved_fuzz_replay(fast_paths voved32_static)
# The tool is configured after the tests: ask for it by its switch.
if(VOVED_BUILD_TOOLS AND EXISTS ${PROJECT_SOURCE_DIR}/tools/voved/CMakeLists.txt)
  voved_fuzz_replay(image_readers voved_tool_core)
  voved_fuzz_replay(tone_json voved_tool_core voved32_static)
endif()
