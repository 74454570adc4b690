# The filter graph manager, the system reference clock and the file source,
# which decodes through GStreamer (gstreamer/module.cmake links it).
orlik_sources(
  file_source.cpp
  filter_graph.cpp
  system_clock.cpp)
orlik_module_tests()
