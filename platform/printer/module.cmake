# The PCL driver draws pages with the GDI's Cairo surfaces.
find_package(PkgConfig REQUIRED)
pkg_check_modules(ORLIK_PRINTER REQUIRED IMPORTED_TARGET cairo)
target_link_libraries(orlik PRIVATE PkgConfig::ORLIK_PRINTER)
