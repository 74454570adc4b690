#pragma once

namespace ferrox {

// Sound playback and the device volume. Playback is not built yet: the object
// holds nothing and its creation and teardown do nothing.
class SoundPlayer {
 public:
  SoundPlayer() = default;
  virtual ~SoundPlayer() = default;
};

}  // namespace ferrox
