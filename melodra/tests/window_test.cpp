// The video in the caller's window: the window's size after each open, the
// picture on the panel's screen, full screen and back, and the containers
// and codecs an application plays.
#include "melodra_fixture.h"

using namespace melodra_test;

namespace {

class MelodraWindow : public MelodraTest {
 protected:
  // The first and the last colour bar of the picture drawn at `area` on the
  // screen (the bars fill the upper two thirds of the picture).
  void ExpectBarsAt(const Rect& area, const char* where) {
    int y = area.top + area.height / 3;
    uint32_t first = orlik_sim_screen_pixel(area.left + area.width / 14, y);
    uint32_t last = orlik_sim_screen_pixel(area.left + area.width * 13 / 14, y);
    EXPECT_TRUE(Near(first, kBarGrey)) << where << std::hex << ": first bar 0x" << first;
    EXPECT_TRUE(Near(last, kBarBlue)) << where << std::hex << ": last bar 0x" << last;
  }
  bool BlueAt(int x, int y) { return Near(orlik_sim_screen_pixel(x, y), kBarBlue); }
};

TEST_F(MelodraWindow, OpenSizesTheWindowToTheVideoAndDrawsItThere) {
  Start();
  auto clip = Place(kOgg, "bars.ogg");
  ASSERT_EQ(Open(clip.c_str()), 1);
  Rect video = {kOwnerStart.left, kOwnerStart.top, 320, 240};
  EXPECT_EQ(WindowRect(owner_), video) << "the video's own size, same place";
  ASSERT_EQ(Play(), 1);
  ASSERT_TRUE(WaitFor([&] { return BlueAt(video.left + 300, video.top + 80); }, 3000ms));
  ExpectBarsAt(video, "in the window");
  EXPECT_FALSE(BlueAt(video.left + 330, video.top + 80)) << "nothing drawn outside the window";
}

TEST_F(MelodraWindow, Open1SizesTheWindowToTheGivenSizeAndFullScreenComesBack) {
  Start();
  auto clip = Place(kOgg, "bars.ogg");
  ASSERT_EQ(Open1(clip.c_str(), 200, 150), 1);
  Rect given = {kOwnerStart.left, kOwnerStart.top, 200, 150};
  EXPECT_EQ(WindowRect(owner_), given);
  ASSERT_EQ(Play(), 1);
  ASSERT_TRUE(WaitFor([&] { return BlueAt(given.left + 190, given.top + 50); }, 3000ms));
  ExpectBarsAt(given, "scaled into the window");

  int screenWidth = 0, screenHeight = 0;
  orlik_sim_screen_size(&screenWidth, &screenHeight);
  Rect screen = {0, 0, screenWidth, screenHeight};
  ASSERT_EQ(ViewFullSizeMode(1), 1);
  ASSERT_TRUE(WaitFor([&] { return BlueAt(screenWidth - 10, screenHeight / 3); }, 3000ms));
  ExpectBarsAt(screen, "full screen");

  // Any value other than 1 goes back, at the size of the last open.
  ASSERT_EQ(ViewFullSizeMode(0), 1);
  EXPECT_EQ(WindowRect(owner_), given);
  ASSERT_TRUE(WaitFor([&] { return !BlueAt(screenWidth - 10, screenHeight / 3); }, 3000ms))
      << "the full-screen picture is gone";
  ASSERT_TRUE(WaitFor([&] { return BlueAt(given.left + 190, given.top + 50); }, 3000ms));
  ExpectBarsAt(given, "back in the window");
  ASSERT_EQ(ViewFullSizeMode(1), 1);
  EXPECT_EQ(ViewFullSizeMode(7), 1);
  EXPECT_EQ(WindowRect(owner_), given);
}

TEST_F(MelodraWindow, AFileWithoutVideoKeepsTheWindowsSizeThroughTheReload) {
  Start();
  auto clip = Place(kWav, "tone.wav");
  ASSERT_EQ(Open(clip.c_str()), 1);
  EXPECT_EQ(WindowRect(owner_), kOwnerStart);
  // Through the end of the clip and its reload, and back from full screen.
  ASSERT_EQ(SetCurrentPos(1), 1);
  ASSERT_EQ(Play(), 1);
  ASSERT_TRUE(WaitFor([&] { return IsComplete() == 1; }, 5000ms));
  EXPECT_EQ(WindowRect(owner_), kOwnerStart);
  EXPECT_EQ(ViewFullSizeMode(0), 0) << "no video to bring back";
  EXPECT_EQ(WindowRect(owner_), kOwnerStart);
}

// Every container and codec an application is likely to hand over opens,
// reports its length and, with video, draws its picture.
TEST_F(MelodraWindow, CommonContainersAndCodecsPlay) {
  const Clip clips[] = {
      // An MP3 with the Xing header encoders write: its length is known
      // before it plays.
      {"tone.mp3",
       "audiotestsrc wave=sine freq=440 samplesperbuffer=4410 num-buffers=20 ! "
       "audio/x-raw,rate=44100,channels=1 ! lamemp3enc ! xingmux ! filesink location={out}"},
      {"bars.webm",
       "webmmux name=m ! filesink location={out} "
       "videotestsrc pattern=smpte75 num-buffers=50 ! video/x-raw,width=320,height=240,framerate=25/1 ! "
       "vp8enc deadline=1 ! m. "
       "audiotestsrc samplesperbuffer=4410 num-buffers=20 ! audio/x-raw,rate=44100,channels=1 ! "
       "audioconvert ! vorbisenc ! m."},
      {"bars.avi",
       "avimux name=m ! filesink location={out} "
       "videotestsrc pattern=smpte75 num-buffers=50 ! video/x-raw,width=320,height=240,framerate=25/1 ! "
       "jpegenc ! m. "
       "audiotestsrc samplesperbuffer=4410 num-buffers=20 ! audio/x-raw,format=S16LE,rate=44100,channels=1 ! m."},
      {"bars.mp4",
       "mp4mux name=m ! filesink location={out} "
       "videotestsrc pattern=smpte75 num-buffers=50 ! video/x-raw,width=320,height=240,framerate=25/1 ! "
       "x264enc speed-preset=ultrafast ! m. "
       "audiotestsrc samplesperbuffer=4410 num-buffers=20 ! audio/x-raw,rate=44100,channels=1 ! "
       "avenc_aac ! m."},
  };
  Start();
  // Each picture goes into a wider window than the last, so its last bar
  // lies where the previous picture never was.
  int width = 160;
  for (const Clip& clip : clips) {
    SCOPED_TRACE(clip.name);
    auto path = Place(clip, clip.name);
    width += 20;
    Rect area = {kOwnerStart.left, kOwnerStart.top, width, 120};
    ASSERT_EQ(Open1(path.c_str(), area.width, area.height), 1);
    EXPECT_EQ(GetMaxPos(), 2);
    if (std::string(clip.name).find("tone") != std::string::npos) continue;
    ASSERT_EQ(Play(), 1);
    ASSERT_TRUE(WaitFor([&] { return BlueAt(area.left + area.width * 13 / 14, area.top + 40); }, 3000ms));
    ExpectBarsAt(area, clip.name);
    EXPECT_EQ(Stop(), 1);
  }
}

}  // namespace
