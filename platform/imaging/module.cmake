# Images are decoded by stb_image (libstb holds the implementation).
find_package(PkgConfig REQUIRED)
pkg_check_modules(ORLIK_IMAGING REQUIRED IMPORTED_TARGET stb cairo)
target_link_libraries(orlik PRIVATE PkgConfig::ORLIK_IMAGING)
