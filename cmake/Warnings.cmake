# Warnings are turned on for every target; they become errors only with
# VOVED_WERROR=ON (CI and developers' builds), never by default, so a user's
# build does not fail on a warning that a newer compiler invents.
option(VOVED_WERROR "Treat compiler warnings as errors" OFF)

function(voved_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${VOVED_WERROR}>:/WX>)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wconversion
                                             -Wno-sign-conversion
                                             $<$<BOOL:${VOVED_WERROR}>:-Werror>)
  endif()
endfunction()
