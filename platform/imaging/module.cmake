# The imaging component. Images are decoded by stb_image (libstb holds the
# implementation) and drawn with Cairo.
orlik_sources(
  imaging.cpp)
pkg_check_modules(ORLIK_IMAGING REQUIRED IMPORTED_TARGET stb cairo)
target_link_libraries(orlik PRIVATE PkgConfig::ORLIK_IMAGING)
orlik_module_tests()
