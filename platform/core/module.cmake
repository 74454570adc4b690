# Handles, files, memory, register access, threads, time, texts, message
# boxes, C stdio on panel paths.
orlik_sources(
  devices.cpp
  files.cpp
  handles.cpp
  memory.cpp
  mmio.cpp
  msgbox.cpp
  names.cpp
  paths.cpp
  resident_thread.cpp
  shared_object.cpp
  text.cpp
  threads.cpp
  time.cpp
  wstdio.cpp)
orlik_module_tests()
