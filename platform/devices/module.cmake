# The hardware video codec ("MFC1:") encodes with openh264.
find_package(PkgConfig REQUIRED)
pkg_check_modules(ORLIK_CODEC REQUIRED IMPORTED_TARGET openh264)
target_link_libraries(orlik PRIVATE PkgConfig::ORLIK_CODEC)
