# The PCL driver ("pcl.dll") and the port "LPT1". Pages are drawn with the
# GDI's Cairo surfaces.
orlik_sources(
  pcl_writer.cpp
  port.cpp
  printer_dc.cpp)
pkg_check_modules(ORLIK_PRINTER REQUIRED IMPORTED_TARGET cairo)
target_link_libraries(orlik PRIVATE PkgConfig::ORLIK_PRINTER)
orlik_module_tests()
