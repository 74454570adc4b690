/* The simulated panel's analogue inputs, power parts and network adapter.
 * Included by orlik/sim.h. */
#pragma once

#include <orlik/sim_api.h>
#include <stdint.h>

ORLIK_SIM_BEGIN_DECLS

/* ADC inputs, channels 0-7. Channel 0 is the battery (volts at the battery:
 * 4096 counts are 10 V); the others take the pin voltage (3.3 V full scale).
 * A reset puts 8.0 V on the battery and 0 V on the others. */
ORLIK_SIM_API void orlik_sim_adc_set_volts(int channel, double volts);
/* Queues raw 12-bit codes that the next conversions of the channel return, in
 * order, before its voltage is used again. */
ORLIK_SIM_API void orlik_sim_adc_feed(int channel, const int* codes, int n);
/* Codes still queued for the channel. */
ORLIK_SIM_API int orlik_sim_adc_pending(int channel);
/* Conversions finished since the last reset. */
ORLIK_SIM_API int orlik_sim_adc_conversions(void);

/* External DC supply: present pulls the detect line (HW-P12) low, absent
 * drives it high. Absent after a reset. */
ORLIK_SIM_API void orlik_sim_set_external_supply(int present);
ORLIK_SIM_API int orlik_sim_external_supply(void);
/* 1 once the power-off line (HW-P13) has gone high since the last reset. */
ORLIK_SIM_API int orlik_sim_powered_off(void);
/* How often it went high. */
ORLIK_SIM_API int orlik_sim_power_off_count(void);

/* Rebind requests the NDIS driver ("NDS0:") passed to the network adapter
 * since the last reset. orlik_sim_last_rebind copies the adapter names of the
 * last request (UTF-8, joined by ',', bounded by size and terminated) and
 * returns how many there were (0: no request yet). Make "NDS0:" absent with
 * orlik_sim_fail_device("NDS0:", 0). */
ORLIK_SIM_API int orlik_sim_rebind_count(void);
ORLIK_SIM_API int orlik_sim_last_rebind(char* names, int size);
/* Times the named adapter was really rebound (known adapter: "CS89001"). */
ORLIK_SIM_API int orlik_sim_adapter_rebinds(const char* adapter);

ORLIK_SIM_END_DECLS
