# The filter graph manager, the system reference clock, the file source, which
# decodes through GStreamer (gstreamer/module.cmake finds it), and the video
# and audio renderers with the video window.
orlik_sources(
  audio_renderer.cpp
  file_source.cpp
  filter_graph.cpp
  system_clock.cpp
  video_renderer.cpp
  video_window.cpp)
# The video window converts and scales frames with libyuv (no pkg-config
# file on Debian).
find_library(ORLIK_YUV_LIBRARY yuv REQUIRED)
find_path(ORLIK_YUV_INCLUDE libyuv.h REQUIRED)
target_include_directories(orlik SYSTEM PRIVATE ${ORLIK_YUV_INCLUDE})
target_link_libraries(orlik PRIVATE ${ORLIK_YUV_LIBRARY} PkgConfig::ORLIK_GST)
orlik_module_tests()
