# The camera's video capture filter, the capture graph builder and the
# still-image sink, which writes JPEG files with TurboJPEG.
orlik_sources(
  capture_graph_builder.cpp
  image_sink.cpp
  video_capture.cpp)
pkg_check_modules(ORLIK_TURBOJPEG REQUIRED IMPORTED_TARGET libturbojpeg)
target_link_libraries(orlik PRIVATE PkgConfig::ORLIK_TURBOJPEG)
orlik_module_tests()
