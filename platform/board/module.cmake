# The simulated panel: the processor's GPIO, ADC and PWM-timer models, the
# two-wire buses and their devices, supply and power-off lines, network
# adapter, power controller, the video codec's record, and the screen (a Cairo
# image surface, shown through SDL2 when asked).
orlik_sources(
  adc.cpp
  board.cpp
  codec.cpp
  display.cpp
  gpio.cpp
  network.cpp
  power_controller.cpp
  pwm_timers.cpp
  sim_api.cpp
  supply.cpp
  two_wire/bus.cpp
  two_wire/devices.cpp
  two_wire/sim_bus.cpp
  two_wire/wiring.cpp)
pkg_check_modules(ORLIK_BOARD REQUIRED IMPORTED_TARGET cairo sdl2)
target_link_libraries(orlik PRIVATE PkgConfig::ORLIK_BOARD)
orlik_module_tests()
