# tolvex_library(NAME SOURCES ... [EXPORTS map] [LIBS ...])
# A deliverable shared library: hidden by default, its exports fixed by a
# linker version script, bound to its own symbols (several libraries export
# the same names), linked against the platform layer only.
function(tolvex_library name)
  cmake_parse_arguments(ARG "" "EXPORTS" "SOURCES;LIBS" ${ARGN})
  add_library(${name} SHARED ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE orlik ${ARG_LIBS})
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/include)
  if(ARG_EXPORTS)
    target_link_options(${name} PRIVATE
      "-Wl,--version-script=${ARG_EXPORTS}" -Wl,-Bsymbolic -Wl,--no-undefined)
    set_target_properties(${name} PROPERTIES LINK_DEPENDS ${ARG_EXPORTS})
  endif()
  install(TARGETS ${name} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  tolvex_pkgconfig(${name} "Tolvex ${name} library for the Orlik panel" "-l${name} -lorlik")
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
# reach the test as TOLVEX_LIB_<TARGET> definitions.
function(tolvex_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LOADS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE orlik GTest::gtest GTest::gtest_main ${ARG_LIBS} ${CMAKE_DL_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/include ${PROJECT_SOURCE_DIR}/tests/support)
  foreach(lib ${ARG_LOADS})
    string(TOUPPER ${lib} upper)
    target_compile_definitions(${name} PRIVATE TOLVEX_LIB_${upper}="$<TARGET_FILE:${lib}>")
    add_dependencies(${name} ${lib})
  endforeach()
  include(GoogleTest)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${ARG_LABELS}")
endfunction()
