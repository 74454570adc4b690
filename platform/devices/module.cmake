# The stream drivers "HTM1:" (register windows) and "NDS0:" (network adapter).
orlik_sources(
  htm1.cpp
  nds0.cpp)
