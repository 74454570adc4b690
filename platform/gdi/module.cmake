# Drawing and text on Cairo image surfaces, FreeType and fontconfig fonts,
# bitmap files through stb_image.
orlik_sources(
  bitmap_file.cpp
  dc.cpp
  objects.cpp
  shapes.cpp
  text.cpp)
pkg_check_modules(ORLIK_GDI REQUIRED IMPORTED_TARGET cairo cairo-ft fontconfig freetype2 stb)
target_link_libraries(orlik PRIVATE PkgConfig::ORLIK_GDI)
orlik_module_tests()
