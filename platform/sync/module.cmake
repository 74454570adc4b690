# Named events in POSIX shared memory.
orlik_sources(
  events.cpp)
target_link_libraries(orlik PRIVATE rt)
orlik_module_tests()
