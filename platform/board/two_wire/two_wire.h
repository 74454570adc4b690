// Two-wire bus slaves on the board. A bus watches a pair of pins (data and
// clock) through GPIO listeners and sees every level change synchronously,
// under the board lock. It decodes start and stop conditions, bits on the
// rising clock (most significant first) and the acknowledge on the ninth
// clock, hands addressed transfers to the devices attached to it, and makes
// them answer by pulling the data line low (an acknowledge or a 0 bit) or
// releasing it (DriveExternal), as open-drain devices do.
//
// Decoding is strict: a start or stop inside a byte, or the master driving
// the data line while a device owns it on a rising clock, is a protocol
// error, recorded for tests and logged. The main bus lines are open drain
// (board pull-ups): there a master whose output stays high while a device
// pulls the line low does not collide, and only its low output is an error.
// Everything seen on the wires goes into the bus transcript
// ("S 98+ 12+ 34+ P": start, each byte with the acknowledge level of its
// ninth clock, + low, - high, stop; "^" after the level when the master held
// its data output high through the ninth clock of a byte it wrote).
#pragma once

#include "board/board.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orlik::board {

class Gpio;

// A device on a bus, addressed by its 7-bit address.
class TwoWireDevice {
 public:
  virtual ~TwoWireDevice() = default;
  virtual const char* Name() const = 0;
  // True when the device answers this 7-bit address.
  virtual bool Answers(uint8_t address) const = 0;
  // The master addressed the device; returns the acknowledge.
  virtual bool Select(uint8_t address, bool read) = 0;
  // A byte written by the master; returns the acknowledge.
  virtual bool Receive(uint8_t byte) = 0;
  // The next byte the device sends to the master.
  virtual uint8_t Transmit() = 0;
  // The transfer ended: a stop, or a repeated start.
  virtual void End() {}
  // Power-on state.
  virtual void Reset() {}
};

struct BusLines {
  char sdaPort;
  int sdaPin;
  char sclPort;
  int sclPin;
};

class TwoWireBus {
 public:
  TwoWireBus(std::string name, Gpio& gpio, BusLines lines);
  TwoWireBus(const TwoWireBus&) = delete;
  TwoWireBus& operator=(const TwoWireBus&) = delete;

  const std::string& name() const { return name_; }
  const BusLines& lines() const { return lines_; }

  // Devices stay attached across resets; a device that is "absent" is
  // detached. Attaching twice does nothing.
  void Attach(std::shared_ptr<TwoWireDevice> device);
  void Detach(const TwoWireDevice* device);
  bool IsAttached(const TwoWireDevice* device) const;

  std::string Transcript() const { return transcript_; }
  // One character per change of either line, the levels after it: '0' both
  // low, '1' clock high, '2' data high, '3' both high.
  std::string Levels() const { return levels_; }
  std::vector<std::string> Errors() const { return errors_; }
  // Empties the transcript, the levels and the error list.
  void Clear();
  // Idle decoder, lines released, devices reset; the records cleared.
  void Reset();

 private:
  void OnLevel(char port, int pin, int level);
  void ClockRose();
  void ClockFell();
  void StartCondition();
  void StopCondition();
  // What a start and a stop have in common: a byte they cut short is an
  // error, the transfer in progress ends, the bus is free for an address
  // (start) or idle (stop).
  void Condition(const char* which, bool start);
  void EndTransfer();
  void Drive(int level);  // 0 pulls the data line low, 1 releases it
  void Error(const std::string& what);
  void Note(const std::string& text);
  bool MasterDrivesData() const;
  bool MasterOverridesDevice() const;

  enum class Role { kNone, kAddress, kReceive, kTransmit, kIgnore };

  std::string name_;
  Gpio& gpio_;
  BusLines lines_;
  std::vector<std::shared_ptr<TwoWireDevice>> devices_;

  int sda_ = 1, scl_ = 1;   // last levels seen
  bool active_ = false;     // between a start and a stop
  Role role_ = Role::kNone;
  TwoWireDevice* selected_ = nullptr;
  int rises_ = 0;           // rising clocks in the current byte cycle (9 with the acknowledge)
  uint8_t shift_ = 0;       // bits received so far
  uint8_t sending_ = 0;     // byte the device is sending
  bool deviceAcks_ = false; // the device holds the acknowledge low
  bool masterAcked_ = false;
  bool firstByte_ = false;  // the next byte is the first a selected device sends
  bool masterWrote_ = false; // the master drove the last bit of the byte in progress
  int driving_ = 1;         // what this bus's devices put on the data line
  bool drivingNow_ = false; // inside DriveExternal: our own change, not the master's

  std::string transcript_;
  std::string levels_;
  std::vector<std::string> errors_;
};

// The panel's four buses and what is wired to them, set up by the board.
void WireTwoWireBuses(Board& board, Gpio& gpio);
// "main" (also "B2"), "A1", "A2", "B1"; null for another name.
TwoWireBus* FindTwoWireBus(std::string_view name);

}  // namespace orlik::board
