# The simulated panel: the processor's GPIO, ADC and PWM-timer models, the
# two-wire buses and their devices, supply and power-off lines, network
# adapter, power controller, the video codec's record, the camera and its
# video decoder, the sound output, storage (file-system faults, free space),
# and the screen (shared memory per device root under a Cairo image surface,
# shown through SDL2 when asked).
orlik_sources(
  adc.cpp
  board.cpp
  camera/camera.cpp
  camera/decoder.cpp
  camera/sim_camera.cpp
  camera/sources.cpp
  codec.cpp
  desktop_window.cpp
  display.cpp
  gpio.cpp
  network.cpp
  power_controller.cpp
  pwm_timers.cpp
  screen_memory.cpp
  sim_api.cpp
  sound_output.cpp
  sound_sinks.cpp
  storage.cpp
  supply.cpp
  touch.cpp
  two_wire/bus.cpp
  two_wire/devices.cpp
  two_wire/sim_bus.cpp
  two_wire/wiring.cpp)
pkg_check_modules(ORLIK_BOARD REQUIRED IMPORTED_TARGET cairo sdl2)
target_link_libraries(orlik PRIVATE PkgConfig::ORLIK_BOARD)
# The camera scales pictures with libyuv (no pkg-config file on Debian); its
# scenes and sources, and the sound sinks, are GStreamer pipelines
# (gstreamer/module.cmake finds GStreamer).
find_library(ORLIK_YUV_LIBRARY yuv REQUIRED)
find_path(ORLIK_YUV_INCLUDE libyuv.h REQUIRED)
target_include_directories(orlik SYSTEM PRIVATE ${ORLIK_YUV_INCLUDE})
target_link_libraries(orlik PRIVATE ${ORLIK_YUV_LIBRARY} PkgConfig::ORLIK_GST)
orlik_module_tests()

# The console speaks line-delimited JSON (nlohmann's header-only library).
orlik_sources(
  console/commands.cpp
  console/endpoint.cpp)
find_package(nlohmann_json 3.10 REQUIRED)
target_link_libraries(orlik PRIVATE nlohmann_json::nlohmann_json)
