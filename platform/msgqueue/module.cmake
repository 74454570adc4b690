# Named message queues in POSIX shared memory.
orlik_sources(
  msgqueue.cpp)
target_link_libraries(orlik PRIVATE rt)
orlik_module_tests()
