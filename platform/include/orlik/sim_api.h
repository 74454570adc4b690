/* What every header of the simulated panel's C API starts from: the
 * attribute that exports its functions, and C linkage for C++ callers
 * (ORLIK_SIM_BEGIN_DECLS ... ORLIK_SIM_END_DECLS around the declarations). */
#pragma once

#ifndef ORLIK_SIM_API
#define ORLIK_SIM_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#define ORLIK_SIM_BEGIN_DECLS extern "C" {
#define ORLIK_SIM_END_DECLS }
#else
#define ORLIK_SIM_BEGIN_DECLS
#define ORLIK_SIM_END_DECLS
#endif
