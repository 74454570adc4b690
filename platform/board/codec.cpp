#include "board/codec.h"

#include "board/board.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

namespace orlik::board {
namespace {

struct State {
  std::mutex mutex;
  int frames = 0;
  uint64_t bytes = 0;
  int inits = 0;
  int instances = 0;  // live handles: not part of the record a reset clears
  bool haveInit = false;
  orlik_sim_codec_init lastInit{};
  std::vector<uint8_t> lastInput;
  State() {
    Board::Get().OnReset([this] {
      std::lock_guard lock(mutex);
      frames = 0;
      bytes = 0;
      inits = 0;
      haveInit = false;
      lastInit = {};
      lastInput.clear();
    });
  }
};

State& TheState() { return ModelState<State>(); }

// One field of the state, read under its lock.
template <class T>
T Read(T State::*field) {
  auto& s = TheState();
  std::lock_guard lock(s.mutex);
  return s.*field;
}

[[maybe_unused]] const bool kInstalled = (TheState(), true);

}  // namespace

Codec& Codec::Get() {
  static Codec codec;
  return codec;
}

void Codec::Opened() {
  auto& s = TheState();
  std::lock_guard lock(s.mutex);
  ++s.instances;
}

void Codec::Closed() {
  auto& s = TheState();
  std::lock_guard lock(s.mutex);
  --s.instances;
}

void Codec::Initialised(const orlik_sim_codec_init& request) {
  auto& s = TheState();
  std::lock_guard lock(s.mutex);
  s.lastInit = request;
  s.haveInit = true;
  if (request.accepted) ++s.inits;
}

void Codec::Encoded(const uint8_t* input, size_t inputBytes, size_t outputBytes) {
  auto& s = TheState();
  std::lock_guard lock(s.mutex);
  ++s.frames;
  s.bytes += outputBytes;
  s.lastInput.assign(input, input + inputBytes);
}

int Codec::Frames() { return Read(&State::frames); }

uint64_t Codec::Bytes() { return Read(&State::bytes); }

int Codec::Inits() { return Read(&State::inits); }

int Codec::Instances() { return Read(&State::instances); }

bool Codec::LastInit(orlik_sim_codec_init* out) {
  auto& s = TheState();
  std::lock_guard lock(s.mutex);
  if (!s.haveInit) return false;
  *out = s.lastInit;
  return true;
}

size_t Codec::LastInput(uint8_t* buffer, size_t size) {
  auto& s = TheState();
  std::lock_guard lock(s.mutex);
  if (!buffer) return s.lastInput.size();
  size_t n = std::min(size, s.lastInput.size());
  if (n) std::memcpy(buffer, s.lastInput.data(), n);
  return n;
}

}  // namespace orlik::board

using orlik::board::Codec;

extern "C" {

int orlik_sim_codec_frames(void) { return Codec::Get().Frames(); }

uint64_t orlik_sim_codec_bytes(void) { return Codec::Get().Bytes(); }

int orlik_sim_codec_inits(void) { return Codec::Get().Inits(); }

int orlik_sim_codec_instances(void) { return Codec::Get().Instances(); }

int orlik_sim_codec_last_init(orlik_sim_codec_init* out) {
  if (!out) return 0;
  return Codec::Get().LastInit(out) ? 1 : 0;
}

int orlik_sim_codec_last_input(uint8_t* buffer, int size) {
  if (buffer && size <= 0) return 0;
  return int(Codec::Get().LastInput(buffer, buffer ? size_t(size) : 0));
}

}  // extern "C"
