# Programs (posix_spawn), modules (dlopen) and their resources.
orlik_sources(
  modules.cpp
  shell.cpp)
target_link_libraries(orlik PRIVATE ${CMAKE_DL_LIBS})
orlik_module_tests()
