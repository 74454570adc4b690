// The player's life: calls before Initialization, opening, position and
// seeking, pause and resume, volume, the end of the clip and the reload,
// Stop at the end, ReleaseEx, unloading while playing.
#include "melodra_fixture.h"

#include <fstream>
#include <random>

using namespace melodra_test;

namespace {

class MelodraPlayer : public MelodraTest {};

TEST_F(MelodraPlayer, BeforeInitializationEveryCallReturnsZeroAndTouchesNothing) {
  auto clip = Place(kWav, "tone.wav");
  EXPECT_NE(SetPreviewWindowHandle(owner_), 0) << "allowed in either order";
  EXPECT_EQ(Open(clip.c_str()), 0);
  EXPECT_EQ(Open1(clip.c_str(), 200, 150), 0);
  EXPECT_EQ(Play(), 0);
  EXPECT_EQ(Pause(), 0);
  EXPECT_EQ(Stop(), 0);
  EXPECT_EQ(IsComplete(), 0);
  EXPECT_EQ(GetCurrentPos(), 0);
  EXPECT_EQ(GetMaxPos(), 0);
  EXPECT_EQ(SetCurrentPos(1), 0);
  EXPECT_EQ(GetVolume(), 0);
  EXPECT_EQ(SetVolume(5000), 0);
  EXPECT_EQ(ViewFullSizeMode(1), 0);
  ReleaseEx();
  EXPECT_EQ(WindowRect(owner_), kOwnerStart) << "no open resized the window";

  // ReleaseEx before Initialization left nothing behind: the player starts.
  EXPECT_EQ(Initialization(), 0);
  EXPECT_EQ(Open(clip.c_str()), 1);
  EXPECT_EQ(GetMaxPos(), 2);
}

TEST_F(MelodraPlayer, SeeksToWholeSecondsAndPositionFollowsTheClockThroughPauseAndResume) {
  Start();
  auto clip = Place(kLong, "long.wav");
  ASSERT_EQ(Open(clip.c_str()), 1);
  // 90.9 s: whole seconds, the fraction dropped.
  EXPECT_EQ(GetMaxPos(), 90);
  EXPECT_EQ(GetCurrentPos(), 0);
  // Seconds times 10,000,000 in 64 bits: 30 s and 90 s are media time
  // 300,000,000 and 900,000,000, which read back as the same seconds.
  EXPECT_EQ(SetCurrentPos(90), 1);
  EXPECT_EQ(GetCurrentPos(), 90);
  EXPECT_EQ(SetCurrentPos(30), 1);
  EXPECT_EQ(GetCurrentPos(), 30);

  ASSERT_EQ(Play(), 1);
  EXPECT_EQ(Play(), 1) << "already playing: nothing requested, still playing";
  std::this_thread::sleep_for(1500ms);
  EXPECT_EQ(GetCurrentPos(), 31) << "the position follows the clock";
  EXPECT_EQ(Pause(), 1);
  std::this_thread::sleep_for(1000ms);
  EXPECT_EQ(GetCurrentPos(), 31) << "pause holds the position";
  ASSERT_EQ(Play(), 1);
  std::this_thread::sleep_for(1000ms);
  EXPECT_EQ(GetCurrentPos(), 32) << "play resumes where it paused";

  // Stop goes back to the start and leaves the clip ready to play.
  EXPECT_EQ(Stop(), 1);
  EXPECT_EQ(GetCurrentPos(), 0);
  EXPECT_EQ(IsComplete(), 0);
  EXPECT_EQ(GetMaxPos(), 90);
  EXPECT_EQ(Play(), 1);
}

TEST_F(MelodraPlayer, VolumeRoundTripsAndScalesTheSamplesPlayed) {
  std::string wav = root_.path() + "/out.wav";
  setenv("ORLIK_AUDIO", wav.c_str(), 1);
  Start();
  auto clip = Place(kWav, "tone.wav");
  ASSERT_EQ(Open(clip.c_str()), 1);

  for (int32_t v : {0, 1, 2500, 5000, 9999, 10000}) {
    EXPECT_EQ(SetVolume(v), 1) << v;
    EXPECT_EQ(GetVolume(), v) << v;
  }

  // Plays a stretch at the volume and returns the peak of what reached the
  // sound output (the later half of it: samples queued before the change
  // may still come out at the old volume).
  auto peakAt = [&](int32_t volume) {
    EXPECT_EQ(SetVolume(volume), 1);
    size_t before = tolvex_test::ReadWav(wav).samples.size();
    EXPECT_EQ(Play(), 1);
    std::this_thread::sleep_for(400ms);
    EXPECT_EQ(Pause(), 1);
    std::this_thread::sleep_for(100ms);
    auto pcm = tolvex_test::ReadWav(wav);
    EXPECT_GT(pcm.samples.size(), before + 4000) << "nothing played at volume " << volume;
    return pcm.Peak(before + (pcm.samples.size() - before) / 2);
  };
  int full = peakAt(10000);
  int half = peakAt(10000 - 602);  // -6.02 dB
  int silent = peakAt(0);          // -100 dB
  // The tone is at half of full scale: 16383 at 0 dB.
  EXPECT_NEAR(full, 16383, 400);
  EXPECT_NEAR(half, full / 2, 300);
  EXPECT_LE(silent, 2);
}

TEST_F(MelodraPlayer, AtTheEndTheClipIsCompleteRewoundAndPlaysAgainFromTheStart) {
  Start();
  auto clip = Place(kOgg, "bars.ogg");
  ASSERT_EQ(Open(clip.c_str()), 1);
  Rect sized = WindowRect(owner_);
  ASSERT_EQ(SetCurrentPos(1), 1);
  ASSERT_EQ(Play(), 1);
  // The caller keeps asking while the monitor reloads the clip on its own
  // thread (the thread sanitizer watches this).
  ASSERT_TRUE(WaitFor([&] { return GetCurrentPos() >= 0 && IsComplete() == 1; }, 6000ms));
  EXPECT_EQ(GetCurrentPos(), 0) << "reloaded: stopped at the start";
  EXPECT_EQ(WindowRect(owner_), sized) << "the window keeps its size";
  EXPECT_EQ(GetMaxPos(), 2);
  EXPECT_EQ(IsComplete(), 1) << "until the next Play";

  ASSERT_EQ(Play(), 1);
  EXPECT_EQ(IsComplete(), 0);
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(GetCurrentPos(), 0) << "plays again from the beginning";
  EXPECT_EQ(IsComplete(), 0);
}

TEST_F(MelodraPlayer, StopJustAfterTheEndLeavesNoGraphUntilTheNextOpen) {
  Start();
  auto clip = Place(kWav, "tone.wav");
  // Stop sleeps 200 ms before it looks at the events; the clip has to end
  // inside that time for Stop, not the monitor, to find the end. Stop is
  // called about 100 ms before the end; the attempts shift that a little
  // in case the machine is slow.
  bool found = false;
  for (int lead : {100, 50, 150, 0}) {
    ASSERT_EQ(Open(clip.c_str()), 1);
    ASSERT_EQ(SetCurrentPos(1), 1);
    ASSERT_EQ(Play(), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(1000 - lead));
    EXPECT_EQ(Stop(), 1);
    if (Play() == 0) {
      found = true;
      break;
    }
    Stop();
  }
  ASSERT_TRUE(found) << "Stop never met the end of the clip";
  // No graph: everything that needs one answers 0.
  EXPECT_EQ(Pause(), 0);
  EXPECT_EQ(Stop(), 0);
  EXPECT_EQ(GetMaxPos(), 0);
  EXPECT_EQ(SetCurrentPos(0), 0);
  EXPECT_EQ(GetVolume(), 0);
  EXPECT_EQ(ViewFullSizeMode(0), 0);
  EXPECT_EQ(Play(), 0);
  // The next open brings the player back.
  ASSERT_EQ(Open(clip.c_str()), 1);
  EXPECT_EQ(GetMaxPos(), 2);
  EXPECT_EQ(Play(), 1);
}

TEST_F(MelodraPlayer, MissingUndecodableAndOverlongFilesDoNotOpen) {
  Start();
  auto good = Place(kWav, "tone.wav");
  {
    std::ofstream garbage(root_.path() + "/garbage.ogg", std::ios::binary);
    std::mt19937 random(7);
    for (int i = 0; i < 65536; ++i) garbage.put(char(random()));
  }
  std::u16string overlong = u"\\" + std::u16string(300, u'a') + u".wav";
  for (const char16_t* name : {u"\\nothing.ogg", u"\\garbage.ogg", overlong.c_str()}) {
    EXPECT_EQ(Open(name), 0);
    EXPECT_EQ(Open1(name, 160, 120), 0);
  }
  // 259 units are kept whole and open; 260 do not fit fileName and are
  // refused although the file is there.
  // (A folder keeps each name within what the host's file system allows.)
  std::string folder(100, 'd');
  std::filesystem::create_directory(root_.path() + "/" + folder);
  auto linked = [&](size_t units) {
    std::string name = std::string(units - 106, 'b') + ".wav";
    std::error_code ec;
    std::filesystem::create_symlink(MediaPath(kWav), root_.path() + "/" + folder + "/" + name, ec);
    std::string path = "\\" + folder + "\\" + name;
    return std::u16string(path.begin(), path.end());
  };
  auto fits = linked(259), tooLong = linked(260);
  ASSERT_EQ(fits.size(), 259u);
  EXPECT_EQ(Open(fits.c_str()), 1);
  EXPECT_EQ(GetMaxPos(), 2);
  EXPECT_EQ(Open(tooLong.c_str()), 0);
  EXPECT_EQ(Open(good.c_str()), 1) << "a failed open leaves the player usable";
  EXPECT_EQ(GetMaxPos(), 2);
}

TEST_F(MelodraPlayer, InitializationAfterReleaseExWorksAgain) {
  Start();
  auto clip = Place(kWav, "tone.wav");
  ASSERT_EQ(Open(clip.c_str()), 1);
  ASSERT_EQ(Play(), 1);
  ReleaseEx();
  EXPECT_EQ(Play(), 0);
  EXPECT_EQ(GetMaxPos(), 0);
  EXPECT_EQ(Open(clip.c_str()), 0) << "released: Initialization comes first";
  ASSERT_EQ(Initialization(), 0);
  ASSERT_EQ(Open(clip.c_str()), 1);
  EXPECT_EQ(GetMaxPos(), 2);
  EXPECT_EQ(Play(), 1);
}

TEST_F(MelodraPlayer, UnloadingWhilePlayingEndsTheMonitor) {
  Start();
  auto clip = Place(kWav, "tone.wav");
  ASSERT_EQ(Open(clip.c_str()), 1);
  ASSERT_EQ(Play(), 1);
  ASSERT_EQ(Pause(), 1);
  ASSERT_EQ(Play(), 1);  // two monitors now
  std::this_thread::sleep_for(150ms);
  lib_->Close();  // would crash if a monitor outlived its code
  std::this_thread::sleep_for(300ms);
}

}  // namespace
