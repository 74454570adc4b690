# tolvex_library(NAME SOURCES ... [EXPORTS map] [HEADER tolvex/x.h] [LIBS ...])
# A deliverable shared library: hidden by default, its exports fixed by a
# linker version script, bound to its own symbols (several libraries export
# the same names), linked against the platform layer only. HEADER is its
# public header, which its sources include (a definition that disagrees with
# its declaration does not compile); every name of the map must be declared
# in it.
function(tolvex_library name)
  cmake_parse_arguments(ARG "" "EXPORTS;HEADER" "SOURCES;LIBS" ${ARGN})
  add_library(${name} SHARED ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE orlik ${ARG_LIBS})
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/include)
  # Calls into the platform go through the address table without a stub (see
  # liborlik's own options).
  target_compile_options(${name} PRIVATE -fno-plt)
  if(ARG_EXPORTS)
    target_link_options(${name} PRIVATE
      "-Wl,--version-script=${ARG_EXPORTS}" -Wl,-Bsymbolic -Wl,--no-undefined)
    set_target_properties(${name} PROPERTIES LINK_DEPENDS ${ARG_EXPORTS} TOLVEX_EXPORTS ${ARG_EXPORTS})
    if(ARG_HEADER)
      tolvex_exports_declared(${name} ${ARG_EXPORTS} ${ARG_HEADER})
    endif()
  endif()
  install(TARGETS ${name} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  tolvex_pkgconfig(${name} "Tolvex ${name} library for the Orlik panel" "-l${name} -lorlik")
endfunction()

# The names a version script exports ("global:" up to "local:"), comments
# left out, into the variable out.
function(tolvex_map_names map out)
  file(READ ${map} content)
  string(REGEX REPLACE "/\\*[^*]*\\*+([^/*][^*]*\\*+)*/" "" content "${content}")
  string(REGEX MATCH "global:(.*)local:" unused "${content}")
  string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*[ \t]*;" names "${CMAKE_MATCH_1}")
  list(TRANSFORM names REPLACE "[ \t;]" "")
  set(${out} ${names} PARENT_SCOPE)
endfunction()

# Compiles into target a check that every name of map is a function declared
# in header; the map is read again whenever it changes.
function(tolvex_exports_declared target map header)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${map})
  tolvex_map_names(${map} names)
  set(checks "")
  foreach(n ${names})
    string(APPEND checks "static_assert(std::is_function_v<decltype(::${n})>);\n")
  endforeach()
  set(source ${CMAKE_CURRENT_BINARY_DIR}/${target}_exports_declared.cpp)
  file(RELATIVE_PATH shown ${PROJECT_SOURCE_DIR} ${map})
  file(GENERATE OUTPUT ${source} CONTENT
"// Generated from ${shown}: every exported name is declared in <${header}>.
#include <${header}>

#include <type_traits>

${checks}")
  target_sources(${target} PRIVATE ${source})
endfunction()

# A pkg-config file for an installed library: pkg-config --cflags --libs <lower-case name>.
function(tolvex_pkgconfig name description libs)
  string(TOLOWER ${name} lower)
  set(PC_NAME ${name})
  set(PC_DESCRIPTION ${description})
  set(PC_LIBS ${libs})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/tolvex.pc.in ${CMAKE_BINARY_DIR}/pkgconfig/${lower}.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/pkgconfig/${lower}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endfunction()

# tolvex_test(NAME SOURCES ... [LIBS ...] [LOADS target ...] [LABELS ...])
# A GoogleTest program. LOADS names the deliverables it dlopens; their paths
# reach the test as TOLVEX_LIB_<TARGET> definitions, and their export lists
# as TOLVEX_EXPORTS_<TARGET>.
function(tolvex_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LOADS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE orlik GTest::gtest GTest::gtest_main ${ARG_LIBS} ${CMAKE_DL_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/include ${PROJECT_SOURCE_DIR}/tests/support)
  foreach(lib ${ARG_LOADS})
    string(TOUPPER ${lib} upper)
    set(map $<TARGET_PROPERTY:${lib},TOLVEX_EXPORTS>)
    target_compile_definitions(${name} PRIVATE TOLVEX_LIB_${upper}="$<TARGET_FILE:${lib}>"
      $<$<BOOL:${map}>:TOLVEX_EXPORTS_${upper}="${map}">)
    add_dependencies(${name} ${lib})
  endforeach()
  include(GoogleTest)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${ARG_LABELS}")
endfunction()
