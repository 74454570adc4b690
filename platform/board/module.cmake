# The board's camera scales pictures with libyuv (no pkg-config file); its
# scenes and sources are GStreamer pipelines (gst/module.cmake).
find_library(ORLIK_YUV_LIBRARY yuv REQUIRED)
find_path(ORLIK_YUV_INCLUDE libyuv.h REQUIRED)
target_include_directories(orlik SYSTEM PRIVATE ${ORLIK_YUV_INCLUDE})
target_link_libraries(orlik PRIVATE ${ORLIK_YUV_LIBRARY})
