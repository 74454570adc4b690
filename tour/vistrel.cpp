// Vistrel on the panel: the camera's preview in a window, a still image,
// a memory capture, the four inputs, a brightness change, and an H.264
// recording read back with ffprobe and decoded with ffmpeg.
#include "tour.h"

#include <tolvex/vistrel.h>

#include <orlik/sim.h>
#include <orlik/sim_camera.h>
#include <orlik/windows.h>

#include <stb_image_write.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace tour {

namespace {

LRESULT CALLBACK PreviewWindow(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcW(w, m, wp, lp); }

void Wait(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::string Out(const std::string& name) { return OutputDir() + "/" + name; }

// Blue-green-red rows (as memory capture gives them) to a PNG.
bool SaveBgr(const std::string& path, const std::vector<uint8_t>& bgr, int w, int h) {
  std::vector<uint8_t> rgb(bgr.size());
  for (size_t i = 0; i + 2 < bgr.size(); i += 3) {
    rgb[i] = bgr[i + 2];
    rgb[i + 1] = bgr[i + 1];
    rgb[i + 2] = bgr[i];
  }
  return stbi_write_png(path.c_str(), w, h, 3, rgb.data(), w * 3) != 0;
}

// A picture for the camera: colour bands with a white box, as YV12.
std::vector<uint8_t> Bands(int w, int h) {
  std::vector<uint8_t> p(size_t(w) * h * 3 / 2);
  size_t n = size_t(w) * h;
  const uint8_t bands[6][3] = {{82, 90, 240}, {145, 54, 34}, {41, 240, 110}, {210, 16, 146}, {170, 166, 16}, {107, 202, 222}};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint8_t* band = bands[x * 6 / w];
      bool box = x > w / 3 && x < 2 * w / 3 && y > h / 3 && y < 2 * h / 3;
      p[size_t(y) * w + x] = box ? 235 : band[0];
      if (y % 2 == 0 && x % 2 == 0) {
        size_t c = size_t(y / 2) * (w / 2) + x / 2;
        p[n + c] = box ? 128 : band[2];          // V
        p[n + n / 4 + c] = box ? 128 : band[1];  // U
      }
    }
  return p;
}

std::string Run(const std::string& command) {
  std::string out;
  if (FILE* f = popen(command.c_str(), "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, f)) out += line;
    pclose(f);
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

#define CAMERA_EXPORTS(X) X(SetPreviewWindowHandle) X(Initialization) X(SetCaptureResolution) \
  X(CaptureStillImage) X(ImageMemoryCapture1) X(SetSourceChannel) X(SetBrightnessControl)
TOLVEX_EXPORT_TABLE(CameraExports, CAMERA_EXPORTS);

bool Camera() {
  Loaded<CameraExports> vistrel("libVistrel.so");
  if (!vistrel.ok()) return false;

  WNDCLASSW wc{};
  wc.lpfnWndProc = &PreviewWindow;
  wc.lpszClassName = u"TourPreview";
  RegisterClassW(&wc);
  HWND window = CreateWindowExW(0, u"TourPreview", u"", WS_POPUP | WS_VISIBLE, 80, 60, 320, 240, nullptr, nullptr,
                                nullptr, nullptr);
  vistrel.SetPreviewWindowHandle(window);
  int found = vistrel.Initialization(5);  // preview 320 x 240
  std::printf("   Initialization(5) = %d (the decoder answered 0x%02X)\n", found, orlik_sim_decoder_register(0x80));
  if (!found) return false;
  vistrel.SetCaptureResolution(5);  // capture 320 x 240
  Wait(700);
  orlik_sim_screen_save_png(Out("vistrel-preview.png").c_str());
  std::printf("   preview of input %d on the screen: vistrel-preview.png\n", orlik_sim_camera_input());

  std::filesystem::create_directories(std::string(std::getenv("ORLIK_ROOT")) + "/SD Card");
  vistrel.CaptureStillImage(u"\\SD Card\\still.jpg");
  Wait(500);
  std::string stillPath = std::string(std::getenv("ORLIK_ROOT")) + "/SD Card/still.jpg";
  bool stillOk = std::filesystem::exists(stillPath);
  if (stillOk) std::filesystem::copy_file(stillPath, Out("vistrel-still.jpg"), std::filesystem::copy_options::overwrite_existing);
  std::printf("   still image: vistrel-still.jpg (%s)\n", stillOk ? "written" : "MISSING");

  std::vector<uint8_t> bgr(320 * 240 * 3);
  bool captured = vistrel.ImageMemoryCapture1(bgr.data()) == 1 && SaveBgr(Out("vistrel-memory.png"), bgr, 320, 240);
  std::printf("   memory capture, 230,400 bytes of blue-green-red: vistrel-memory.png\n");

  bool inputs = true;
  for (int input = 1; input <= 4; ++input) {
    vistrel.SetSourceChannel(input);
    Wait(300);
    inputs = inputs && orlik_sim_camera_input() == input;
    vistrel.ImageMemoryCapture1(bgr.data());
    SaveBgr(Out("vistrel-input" + std::to_string(input) + ".png"), bgr, 320, 240);
  }
  std::printf("   the four inputs: vistrel-input1.png ... vistrel-input4.png\n");
  vistrel.SetSourceChannel(1);
  vistrel.SetBrightnessControl(200);
  Wait(300);
  vistrel.ImageMemoryCapture1(bgr.data());
  SaveBgr(Out("vistrel-brighter.png"), bgr, 320, 240);
  std::printf("   brightness 200 (register 0x09 = 0x%02X): vistrel-brighter.png\n", orlik_sim_decoder_register(0x09));
  DestroyWindow(window);
  return stillOk && captured && inputs;
}

#define RECORDING_EXPORTS(X) X(Initialization) X(SetCaptureResolution) X(SetEncodingParameter1) \
  X(SetEncodingParameter2) X(InitEncoding) X(RunEncoding) X(EndEncoding) X(ImageMemoryCapture1)
TOLVEX_EXPORT_TABLE(RecordingExports, RECORDING_EXPORTS);

bool Recording() {
  Loaded<RecordingExports> vistrel("libVistrel.so");
  if (!vistrel.ok() || !vistrel.Initialization(0)) return false;
  vistrel.SetCaptureResolution(11);  // 640 x 480
  // A fixed picture on input 1, so the first recorded frame can be set
  // beside the picture it came from.
  auto bands = Bands(640, 480);
  orlik_sim_camera_set_picture(1, bands.data(), 640, 480);
  std::filesystem::create_directories(std::string(std::getenv("ORLIK_ROOT")) + "/SD Card");
  vistrel.SetEncodingParameter1(u"\\SD Card\\tour.264", 30, 2000);
  vistrel.SetEncodingParameter2(30, 20, 36, 0.75f);
  if (!vistrel.InitEncoding()) return false;
  vistrel.RunEncoding();
  std::vector<uint8_t> bgr(640 * 480 * 3);
  vistrel.ImageMemoryCapture1(bgr.data());
  SaveBgr(Out("vistrel-live.png"), bgr, 640, 480);
  Wait(3000);
  vistrel.EndEncoding();
  std::string file = std::string(std::getenv("ORLIK_ROOT")) + "/SD Card/tour.264";
  std::filesystem::copy_file(file, Out("vistrel-recording.264"), std::filesystem::copy_options::overwrite_existing);
  std::string probe = Run("ffprobe -v error -f h264 -count_frames -select_streams v:0 -show_entries "
                          "stream=codec_name,width,height,nb_read_frames -of csv=p=0 '" +
                          Out("vistrel-recording.264") + "'");
  std::printf("   3 s recorded at 640 x 480: %ju bytes; ffprobe: %s\n",
              std::uintmax_t(std::filesystem::file_size(file)), probe.c_str());
  std::string decode = "ffmpeg -v error -y -f h264 -i '" + Out("vistrel-recording.264") + "' -frames:v 1 '" +
                       Out("vistrel-first-frame.png") + "'";
  bool decoded = std::system(decode.c_str()) == 0;
  std::printf("   first frame decoded back: vistrel-first-frame.png, beside the live picture vistrel-live.png\n");
  return decoded && probe.rfind("h264,640,480,", 0) == 0;
}

}  // namespace

TOUR_SECTION(40, "Vistrel: camera preview, still, memory capture, inputs and picture controls", Camera);
TOUR_SECTION(41, "Vistrel: H.264 recording", Recording);

}  // namespace tour
