# What `cmake --install` puts in place.
#
# Linux: the header, libvoved32.so.1.0.0 with its SONAME link libvoved32.so.1
# and the development link libvoved32.so, libvoved32.a, the CMake package
# Voved32 and voved32.pc; the voved tool with its man page (generated from
# the tool's own help) and bash completion; the documentation.
#
# Windows (the MinGW build): a bundle for application developers - the DLL,
# an import library for MinGW and one for MSVC, the header, the .def, a
# README - which `cpack` packs into a zip.
include(CMakePackageConfigHelpers)

set(VOVED_PACKAGING ${PROJECT_SOURCE_DIR}/packaging)
set(VOVED_HEADER ${PROJECT_SOURCE_DIR}/include/voved32.h)
set(VOVED_DEF ${PROJECT_SOURCE_DIR}/src/interface/Voved32.def)

# The licence travels with every package once the project has one.
set(VOVED_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)

if(WIN32)
  # MSVC callers reference the decorated __stdcall names (_QVAlloc@4); the
  # import library maps them onto the DLL's undecorated exports (-k).
  find_program(VOVED_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14)
  set(VOVED_MSVC_IMPLIB ${CMAKE_CURRENT_BINARY_DIR}/Voved32.lib)
  if(VOVED_DLLTOOL)
    add_custom_command(
      OUTPUT ${VOVED_MSVC_IMPLIB}
      COMMAND ${VOVED_DLLTOOL} -m i386 -k -d ${VOVED_DEF} -l ${VOVED_MSVC_IMPLIB}
      DEPENDS ${VOVED_DEF}
      COMMENT "Making the MSVC import library Voved32.lib")
    add_custom_target(voved32_msvc_implib ALL DEPENDS ${VOVED_MSVC_IMPLIB})
  else()
    message(WARNING "llvm-dlltool not found: the bundle gets no Voved32.lib")
  endif()

  install(TARGETS voved32 RUNTIME DESTINATION bin ARCHIVE DESTINATION lib)
  install(FILES ${VOVED_HEADER} DESTINATION include)
  install(FILES ${VOVED_DEF} DESTINATION lib)
  if(VOVED_DLLTOOL)
    install(FILES ${VOVED_MSVC_IMPLIB} DESTINATION lib)
  endif()
  configure_file(${VOVED_PACKAGING}/windows/README.txt ${CMAKE_CURRENT_BINARY_DIR}/README.txt
                 @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/README.txt DESTINATION .)
  if(EXISTS ${VOVED_LICENSE})
    install(FILES ${VOVED_LICENSE} DESTINATION .)
  endif()

  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME Voved32-${PROJECT_VERSION}-win32)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_STRIP_FILES ON)
  include(CPack)
  return()
endif()

# ---- Library, header, consumers' package files -----------------------------

set(VOVED_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Voved32)

install(TARGETS voved32 voved32_static EXPORT Voved32Targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${VOVED_HEADER} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(EXPORT Voved32Targets NAMESPACE Voved32:: DESTINATION ${VOVED_CMAKE_DIR})
configure_package_config_file(${VOVED_PACKAGING}/Voved32Config.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/Voved32Config.cmake
  INSTALL_DESTINATION ${VOVED_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/Voved32ConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/Voved32Config.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/Voved32ConfigVersion.cmake
        DESTINATION ${VOVED_CMAKE_DIR})

# voved32.pc finds the prefix from its own place, so an installed tree can be
# moved (in /usr, the system's own, it names /usr); the static library is C++
# inside and needs the C++ runtime.
set(VOVED_PC_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr" OR IS_ABSOLUTE ${CMAKE_INSTALL_LIBDIR}
   OR IS_ABSOLUTE ${CMAKE_INSTALL_INCLUDEDIR})
  set(VOVED_PC_PREFIX ${CMAKE_INSTALL_PREFIX})
else()
  file(RELATIVE_PATH VOVED_PC_UP /${VOVED_PC_DIR} /)
  string(REGEX REPLACE "/$" "" VOVED_PC_UP "${VOVED_PC_UP}")
  set(VOVED_PC_PREFIX "\${pcfiledir}/${VOVED_PC_UP}")
endif()
set(VOVED_PC_LIBS_PRIVATE "-lstdc++ -lm")
foreach(lib ${CMAKE_DL_LIBS})
  string(APPEND VOVED_PC_LIBS_PRIVATE " -l${lib}")
endforeach()
configure_file(${VOVED_PACKAGING}/voved32.pc.in ${CMAKE_CURRENT_BINARY_DIR}/voved32.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/voved32.pc DESTINATION ${VOVED_PC_DIR})

# ---- Documentation -----------------------------------------------------------

install(FILES ${PROJECT_SOURCE_DIR}/README.md
              ${PROJECT_SOURCE_DIR}/docs/voved.md
              ${PROJECT_SOURCE_DIR}/docs/tone-table.md
              ${PROJECT_SOURCE_DIR}/docs/robustness.md
              ${PROJECT_SOURCE_DIR}/samples/tone-table.json
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
if(EXISTS ${VOVED_LICENSE})
  install(FILES ${VOVED_LICENSE} DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

# ---- The voved tool ----------------------------------------------------------

if(NOT TARGET voved)
  return()
endif()
# Outside the system's library directories the tool finds the library
# relative to itself, so an installed tree works wherever it is put.
list(FIND CMAKE_PLATFORM_IMPLICIT_LINK_DIRECTORIES
     ${CMAKE_INSTALL_FULL_LIBDIR} VOVED_LIBDIR_IS_SYSTEM)
if(VOVED_LIBDIR_IS_SYSTEM EQUAL -1)
  file(RELATIVE_PATH VOVED_BIN_TO_LIB ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
  set_target_properties(voved PROPERTIES INSTALL_RPATH "$ORIGIN/${VOVED_BIN_TO_LIB}")
endif()
install(TARGETS voved RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${VOVED_PACKAGING}/voved.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME voved)

# The man page is the tool's own help, every subcommand included, so it
# cannot drift from the tool. Sanitizer builds, never installed, skip it.
find_program(VOVED_HELP2MAN help2man)
if(VOVED_SANITIZE)
  return()
endif()
if(NOT VOVED_HELP2MAN)
  message(STATUS "help2man not found: no man page for voved")
  return()
endif()
set(VOVED_MAN_PAGE ${CMAKE_CURRENT_BINARY_DIR}/voved.1)
add_custom_command(
  OUTPUT ${VOVED_MAN_PAGE}
  COMMAND ${VOVED_PACKAGING}/voved-man.sh $<TARGET_FILE:voved> ${VOVED_HELP2MAN}
          ${PROJECT_VERSION} ${VOVED_PACKAGING}/voved.h2m ${VOVED_MAN_PAGE}
  DEPENDS voved ${VOVED_PACKAGING}/voved-man.sh ${VOVED_PACKAGING}/voved.h2m
  COMMENT "Generating the voved(1) man page from the tool's help")
add_custom_target(voved_man ALL DEPENDS ${VOVED_MAN_PAGE})
install(FILES ${VOVED_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
