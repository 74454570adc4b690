# The video window converts and scales frames with libyuv (no pkg-config
# file on Debian).
find_path(LIBYUV_INCLUDE_DIR libyuv.h REQUIRED)
find_library(LIBYUV_LIBRARY yuv REQUIRED)
target_include_directories(orlik PRIVATE ${LIBYUV_INCLUDE_DIR})
target_link_libraries(orlik PRIVATE ${LIBYUV_LIBRARY})
