# The filter base classes are compiled into the platform (its own filters)
# and, as the static library orlik_strmbase, into each library that writes
# a filter of its own.
set(ORLIK_STRMBASE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/allocator.cpp
  ${CMAKE_CURRENT_LIST_DIR}/enumerators.cpp
  ${CMAKE_CURRENT_LIST_DIR}/filter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/media_type.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pins.cpp
  ${CMAKE_CURRENT_LIST_DIR}/renderer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/transform_in_place.cpp)
target_sources(orlik PRIVATE ${ORLIK_STRMBASE_SOURCES})
add_library(orlik_strmbase STATIC ${ORLIK_STRMBASE_SOURCES})
target_include_directories(orlik_strmbase PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(orlik_strmbase PUBLIC orlik)
# The enumerators' IUnknown comes from the COM runtime's header-only template.
target_include_directories(orlik_strmbase PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
# The platform's own filters include the base classes' header.
target_include_directories(orlik PRIVATE ${CMAKE_CURRENT_LIST_DIR})
orlik_module_tests()
