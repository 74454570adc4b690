# The COM runtime: reference counting, the class registry, BSTR and VARIANT.
orlik_sources(
  automation.cpp
  runtime.cpp)
orlik_module_tests()
