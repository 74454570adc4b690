# The wave-output volume of the board's sound output (waveOutGetVolume, waveOutSetVolume).
orlik_sources(
  wave_out.cpp)
