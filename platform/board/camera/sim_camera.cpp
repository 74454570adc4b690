// Board API of the camera and its video decoder.
#include <orlik/sim_camera.h>

#include "board/camera/camera.h"
#include "board/camera/decoder.h"

using namespace orlik::board;

extern "C" {

int orlik_sim_decoder_register(int reg) {
  std::lock_guard lock(Board::Get().Lock());
  return Decoder().Register(reg);
}

void orlik_sim_decoder_attach(int present) {
  std::lock_guard lock(Board::Get().Lock());
  TwoWireBus* main = FindTwoWireBus("main");
  // The board owns the decoder for good; the bus holds it without owning.
  if (!present)
    main->Detach(&Decoder());
  else if (!main->IsAttached(&Decoder()))
    main->Attach(std::shared_ptr<VideoDecoder>(&Decoder(), [](auto*) {}));
}

void orlik_sim_decoder_silent_reads(int n) {
  std::lock_guard lock(Board::Get().Lock());
  Decoder().SilentReads(n);
}

int orlik_sim_decoder_writes(void) {
  std::lock_guard lock(Board::Get().Lock());
  return Decoder().writes();
}

int orlik_sim_camera_input(void) { return Camera::Get().Input(); }

int orlik_sim_camera_set_picture(int input, const uint8_t* yv12, int width, int height) {
  return Camera::Get().SetPicture(input, yv12, width, height) ? 1 : 0;
}

int orlik_sim_camera_set_source(int input, const char* path) {
  return Camera::Get().SetSource(input, path) ? 1 : 0;
}

int orlik_sim_camera_frames(void) { return Camera::Get().Frames(); }

int orlik_sim_camera_picture(uint8_t* yv12, int width, int height) {
  return Camera::Get().Read(CameraFrameDue(), yv12, width, height, false) ? 1 : 0;
}

}  // extern "C"
