# The stream drivers "HTM1:" (register windows), "NDS0:" (network adapter)
# and "MFC1:", the hardware video codec, which encodes with openh264.
orlik_sources(
  h264_encoder.cpp
  htm1.cpp
  mfc1.cpp
  nds0.cpp)
pkg_check_modules(ORLIK_CODEC REQUIRED IMPORTED_TARGET openh264)
target_link_libraries(orlik PRIVATE PkgConfig::ORLIK_CODEC)
orlik_module_tests()
