/* Ferrox: the Orlik panel's hardware I/O library (ports, port watch,
 * analogue inputs, battery and power, PWM outputs, counter modules, two-wire
 * bus and analogue outputs, sound, network rebind).
 *
 * Load it as the framework does, with dlopen (RTLD_LOCAL) and dlsym: the
 * camera and player libraries export some of the same names (GetVolume,
 * SetVolume), and each library binds its own. Linking several of them into one
 * program directly is not supported. Setters declared void return nothing a
 * caller may use. Texts are zero-terminated UTF-16. */
#ifndef TOLVEX_FERROX_H
#define TOLVEX_FERROX_H

#include <stdint.h>
#include <uchar.h>

#include <tolvex/handle.h>

#ifdef __cplusplus
extern "C" {
#endif

int32_t GetNativeDllVersion(void);
void Init(void);
void DAC_Initial(void);

/* Each of the ports A to H has the same six calls (SetPortACfg ...
 * GetPortAData) and the same four watch calls (PortAWatchStartEx ...
 * PortAWatchIdleInterval); each of the counter modules A1, A2, B1 and B2 the
 * same twelve (InputCounterA1_Initial ... InputCounterA1_Firmware). */
#define TOLVEX_FERROX_PORT_CALLS(L)                  \
  int32_t SetPort##L##Cfg(int32_t mask);             \
  void SetPort##L##BitCfg(int32_t bit, int32_t cfg); \
  void SetPort##L##Bit(int32_t bit, int32_t value);  \
  void SetPort##L##Data(int32_t data);               \
  int32_t GetPort##L##Bit(int32_t bit);              \
  int32_t GetPort##L##Data(void);
#define TOLVEX_FERROX_PORT_WATCH_CALLS(L)           \
  void Port##L##WatchStartEx(void);                 \
  void Port##L##WatchStopEx(void);                  \
  void Port##L##WatchPriority(int32_t priority);    \
  int32_t Port##L##WatchIdleInterval(int32_t count);
#define TOLVEX_FERROX_COUNTER_CALLS(M)                                                \
  int32_t InputCounter##M##_Initial(int32_t speed);                                   \
  int32_t InputCounter##M##_SetMode(int32_t mode);                                    \
  int32_t InputCounter##M##_GetMode(void);                                            \
  int32_t InputCounter##M##_SetCounterDataWidth(int32_t width);                       \
  int32_t InputCounter##M##_ReadCounter32(int32_t counter, uint32_t* out);            \
  int32_t InputCounter##M##_ReadCounter64(int32_t counter, uint32_t* out);            \
  void InputCounter##M##_ResetCounter(int32_t counter);                               \
  void InputCounter##M##_PauseCounter(int32_t counter, int32_t flag);                 \
  int32_t InputCounter##M##_ReadPinStatus(int32_t pin);                               \
  int32_t InputCounter##M##_ReadEncoderCounter(int32_t encoder, uint32_t* out);       \
  void InputCounter##M##_ResetEncoderCounter(int32_t encoder);                        \
  int32_t InputCounter##M##_Firmware(void);
#define TOLVEX_FERROX_PORTS(X) X(A) X(B) X(C) X(D) X(E) X(F) X(G) X(H)
#define TOLVEX_FERROX_COUNTER_MODULES(X) X(A1) X(A2) X(B1) X(B2)

TOLVEX_FERROX_PORTS(TOLVEX_FERROX_PORT_CALLS)
TOLVEX_FERROX_PORTS(TOLVEX_FERROX_PORT_WATCH_CALLS)

int32_t GetPortQueueCount(HANDLE queue);
int32_t GetADCData(int32_t channel);
int32_t GetDetailFilteringADCData(int32_t channel, int32_t count, int32_t n);
void SetFiltering(int32_t mode);
void SetADCPrescale(int32_t ratio);
double GetBatteryVoltage(void);
double GetBatteryVoltage1(double* out);
int32_t GetBatteryPercent(void);
void SetBatteryVoltageLimit(double full, double empty);
void SetExtDCPowerInOffsetVoltage(double offset);
int32_t IsExtDCPowerIN(void);
void PowerOFF(void);
void SetPWMPrescaler(int32_t p);
void SetPWMClkDivider1(int32_t d);
void SetPWMClkDivider2(int32_t d);
int32_t SetPWMCounter1(int32_t n);
int32_t SetPWMCounter2(int32_t n);
void SetPWMDeadTime(int32_t t);
void SetPWMPolarity1(int32_t p);
void SetPWMPolarity2(int32_t p);
int32_t SetPWMCarryFreq1(int32_t p, int32_t d, int32_t n);
int32_t SetPWMCarryFreq2(int32_t p, int32_t d, int32_t n);
int32_t SetPWMDutyRate1(double duty);
int32_t SetPWMDutyRate2(double duty);
int32_t Start_PWM1(void);
int32_t Start_PWM2(void);
void Stop_PWM1(void);
void Stop_PWM2(void);
void PWMRestore(void);

TOLVEX_FERROX_COUNTER_MODULES(TOLVEX_FERROX_COUNTER_CALLS)

void StartSignal(void);
void StopSignal(void);
int32_t ReadByte(int32_t ack);
int32_t WriteByte(int32_t value);
void SetSpeed(int32_t yields);
void SetACKWaitTimeOut(int32_t value);
void SetOutData1(int32_t value);
void SetOutData2(int32_t value);
int32_t SetPlayFilePath(const char16_t* path);
int32_t Play_Sound(void);
int32_t Stop_Sound(void);
void Pause_Sound(void);
int32_t Is_Play(void);
int32_t GetVolume(void);
void SetVolume(int32_t v);
void NDISDriverReBind(void);

#ifdef __cplusplus
}
#endif

#endif /* TOLVEX_FERROX_H */
