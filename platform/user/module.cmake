# The window system: windows, messages and timers, painting, dialogs, and
# resources; windows are drawn on the board's screen through the GDI, clipped
# against each other (the panel's other processes' too), and take touches.
orlik_sources(
  dialog.cpp
  input.cpp
  message.cpp
  painting.cpp
  panel_windows.cpp
  resources.cpp
  stacking.cpp
  window.cpp)
pkg_check_modules(ORLIK_USER REQUIRED IMPORTED_TARGET cairo)
target_link_libraries(orlik PRIVATE PkgConfig::ORLIK_USER)
orlik_module_tests()
