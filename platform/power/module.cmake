# Power requests to the board's power controller.
orlik_sources(
  power.cpp)
