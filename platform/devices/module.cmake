# The stream drivers "HTM1:" (register windows), "NDS0:" (network adapter),
# "MFC1:", the hardware video codec, which encodes with openh264, and "CAM1:",
# the camera's capture driver; and the device manager.
orlik_sources(
  cam1.cpp
  device_manager.cpp
  h264_encoder.cpp
  htm1.cpp
  mfc1.cpp
  nds0.cpp)
pkg_check_modules(ORLIK_CODEC REQUIRED IMPORTED_TARGET openh264)
target_link_libraries(orlik PRIVATE PkgConfig::ORLIK_CODEC)
orlik_module_tests()
