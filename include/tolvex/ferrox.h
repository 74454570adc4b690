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

#ifdef __cplusplus
extern "C" {
#endif

#ifndef TOLVEX_HANDLE_DEFINED
#define TOLVEX_HANDLE_DEFINED
typedef void* HANDLE;
#endif

int32_t GetNativeDllVersion(void);
void Init(void);
void DAC_Initial(void);
int32_t SetPortACfg(int32_t mask);
void SetPortABitCfg(int32_t bit, int32_t cfg);
void SetPortABit(int32_t bit, int32_t value);
void SetPortAData(int32_t data);
int32_t GetPortABit(int32_t bit);
int32_t GetPortAData(void);
int32_t SetPortBCfg(int32_t mask);
void SetPortBBitCfg(int32_t bit, int32_t cfg);
void SetPortBBit(int32_t bit, int32_t value);
void SetPortBData(int32_t data);
int32_t GetPortBBit(int32_t bit);
int32_t GetPortBData(void);
int32_t SetPortCCfg(int32_t mask);
void SetPortCBitCfg(int32_t bit, int32_t cfg);
void SetPortCBit(int32_t bit, int32_t value);
void SetPortCData(int32_t data);
int32_t GetPortCBit(int32_t bit);
int32_t GetPortCData(void);
int32_t SetPortDCfg(int32_t mask);
void SetPortDBitCfg(int32_t bit, int32_t cfg);
void SetPortDBit(int32_t bit, int32_t value);
void SetPortDData(int32_t data);
int32_t GetPortDBit(int32_t bit);
int32_t GetPortDData(void);
int32_t SetPortECfg(int32_t mask);
void SetPortEBitCfg(int32_t bit, int32_t cfg);
void SetPortEBit(int32_t bit, int32_t value);
void SetPortEData(int32_t data);
int32_t GetPortEBit(int32_t bit);
int32_t GetPortEData(void);
int32_t SetPortFCfg(int32_t mask);
void SetPortFBitCfg(int32_t bit, int32_t cfg);
void SetPortFBit(int32_t bit, int32_t value);
void SetPortFData(int32_t data);
int32_t GetPortFBit(int32_t bit);
int32_t GetPortFData(void);
int32_t SetPortGCfg(int32_t mask);
void SetPortGBitCfg(int32_t bit, int32_t cfg);
void SetPortGBit(int32_t bit, int32_t value);
void SetPortGData(int32_t data);
int32_t GetPortGBit(int32_t bit);
int32_t GetPortGData(void);
int32_t SetPortHCfg(int32_t mask);
void SetPortHBitCfg(int32_t bit, int32_t cfg);
void SetPortHBit(int32_t bit, int32_t value);
void SetPortHData(int32_t data);
int32_t GetPortHBit(int32_t bit);
int32_t GetPortHData(void);
void PortAWatchStartEx(void);
void PortAWatchStopEx(void);
void PortAWatchPriority(int32_t priority);
int32_t PortAWatchIdleInterval(int32_t count);
void PortBWatchStartEx(void);
void PortBWatchStopEx(void);
void PortBWatchPriority(int32_t priority);
int32_t PortBWatchIdleInterval(int32_t count);
void PortCWatchStartEx(void);
void PortCWatchStopEx(void);
void PortCWatchPriority(int32_t priority);
int32_t PortCWatchIdleInterval(int32_t count);
void PortDWatchStartEx(void);
void PortDWatchStopEx(void);
void PortDWatchPriority(int32_t priority);
int32_t PortDWatchIdleInterval(int32_t count);
void PortEWatchStartEx(void);
void PortEWatchStopEx(void);
void PortEWatchPriority(int32_t priority);
int32_t PortEWatchIdleInterval(int32_t count);
void PortFWatchStartEx(void);
void PortFWatchStopEx(void);
void PortFWatchPriority(int32_t priority);
int32_t PortFWatchIdleInterval(int32_t count);
void PortGWatchStartEx(void);
void PortGWatchStopEx(void);
void PortGWatchPriority(int32_t priority);
int32_t PortGWatchIdleInterval(int32_t count);
void PortHWatchStartEx(void);
void PortHWatchStopEx(void);
void PortHWatchPriority(int32_t priority);
int32_t PortHWatchIdleInterval(int32_t count);
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
int32_t InputCounterA1_Initial(int32_t speed);
int32_t InputCounterA1_SetMode(int32_t mode);
int32_t InputCounterA1_GetMode(void);
int32_t InputCounterA1_SetCounterDataWidth(int32_t width);
int32_t InputCounterA1_ReadCounter32(int32_t counter, uint32_t* out);
int32_t InputCounterA1_ReadCounter64(int32_t counter, uint32_t* out);
void InputCounterA1_ResetCounter(int32_t counter);
void InputCounterA1_PauseCounter(int32_t counter, int32_t flag);
int32_t InputCounterA1_ReadPinStatus(int32_t pin);
int32_t InputCounterA1_ReadEncoderCounter(int32_t encoder, uint32_t* out);
void InputCounterA1_ResetEncoderCounter(int32_t encoder);
int32_t InputCounterA1_Firmware(void);
int32_t InputCounterA2_Initial(int32_t speed);
int32_t InputCounterA2_SetMode(int32_t mode);
int32_t InputCounterA2_GetMode(void);
int32_t InputCounterA2_SetCounterDataWidth(int32_t width);
int32_t InputCounterA2_ReadCounter32(int32_t counter, uint32_t* out);
int32_t InputCounterA2_ReadCounter64(int32_t counter, uint32_t* out);
void InputCounterA2_ResetCounter(int32_t counter);
void InputCounterA2_PauseCounter(int32_t counter, int32_t flag);
int32_t InputCounterA2_ReadPinStatus(int32_t pin);
int32_t InputCounterA2_ReadEncoderCounter(int32_t encoder, uint32_t* out);
void InputCounterA2_ResetEncoderCounter(int32_t encoder);
int32_t InputCounterA2_Firmware(void);
int32_t InputCounterB1_Initial(int32_t speed);
int32_t InputCounterB1_SetMode(int32_t mode);
int32_t InputCounterB1_GetMode(void);
int32_t InputCounterB1_SetCounterDataWidth(int32_t width);
int32_t InputCounterB1_ReadCounter32(int32_t counter, uint32_t* out);
int32_t InputCounterB1_ReadCounter64(int32_t counter, uint32_t* out);
void InputCounterB1_ResetCounter(int32_t counter);
void InputCounterB1_PauseCounter(int32_t counter, int32_t flag);
int32_t InputCounterB1_ReadPinStatus(int32_t pin);
int32_t InputCounterB1_ReadEncoderCounter(int32_t encoder, uint32_t* out);
void InputCounterB1_ResetEncoderCounter(int32_t encoder);
int32_t InputCounterB1_Firmware(void);
int32_t InputCounterB2_Initial(int32_t speed);
int32_t InputCounterB2_SetMode(int32_t mode);
int32_t InputCounterB2_GetMode(void);
int32_t InputCounterB2_SetCounterDataWidth(int32_t width);
int32_t InputCounterB2_ReadCounter32(int32_t counter, uint32_t* out);
int32_t InputCounterB2_ReadCounter64(int32_t counter, uint32_t* out);
void InputCounterB2_ResetCounter(int32_t counter);
void InputCounterB2_PauseCounter(int32_t counter, int32_t flag);
int32_t InputCounterB2_ReadPinStatus(int32_t pin);
int32_t InputCounterB2_ReadEncoderCounter(int32_t encoder, uint32_t* out);
void InputCounterB2_ResetEncoderCounter(int32_t encoder);
int32_t InputCounterB2_Firmware(void);
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
