# GStreamer carries decoding, the camera's scenes and sources, and the sound
# output (base, good and libav plugins at run time).
find_package(PkgConfig REQUIRED)
pkg_check_modules(ORLIK_GST REQUIRED IMPORTED_TARGET
  gstreamer-1.0 gstreamer-app-1.0 gstreamer-video-1.0 gstreamer-audio-1.0 gstreamer-pbutils-1.0)
target_link_libraries(orlik PRIVATE PkgConfig::ORLIK_GST)
orlik_sources(
  gstreamer.cpp)
