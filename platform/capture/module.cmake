# The still-image sink writes JPEG files with TurboJPEG.
find_package(PkgConfig REQUIRED)
pkg_check_modules(ORLIK_TURBOJPEG REQUIRED IMPORTED_TARGET libturbojpeg)
target_link_libraries(orlik PRIVATE PkgConfig::ORLIK_TURBOJPEG)
