find_package(PkgConfig REQUIRED)
pkg_check_modules(ORLIK_GDI REQUIRED IMPORTED_TARGET cairo cairo-ft fontconfig freetype2 stb sdl2)
target_link_libraries(orlik PRIVATE PkgConfig::ORLIK_GDI)
