#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "OOPS_cpp/qtim.h"
#include "Thread/thread_layer.h"
#include "UTL/xer.h"
#include "support/test_util.h"

namespace {
double g_now = 0.0;
int g_loads = 0, g_unloads = 0;

struct Recorder : ::testing::Test {
  void SetUp() override {
    qtim_hooks.now = [] { return g_now; };
    qtim_hooks.load_scratch = [] { ++g_loads; };
    qtim_hooks.unload_scratch = [] { ++g_unloads; };
    mnw.window_dx = 640;
    mnw.window_dy = 480;
    ASSERT_EQ(qtim.qt_avail, 1);
  }
  void TearDown() override { qtim.stop_thread(); }
};

// Top-left quarter red, bottom-left green, right half blue; BGRA bytes.
std::vector<unsigned char> test_picture(int dx, int dy) {
  std::vector<unsigned char> px(static_cast<size_t>(dx) * dy * 4);
  for (int y = 0; y < dy; ++y)
    for (int x = 0; x < dx; ++x) {
      unsigned char* p = &px[(static_cast<size_t>(y) * dx + x) * 4];
      const bool right = x >= dx / 2, top = y < dy / 2;
      p[0] = right ? 255 : 0;                    // B
      p[1] = (!right && !top) ? 255 : 0;         // G
      p[2] = (!right && top) ? 255 : 0;          // R
      p[3] = 255;
    }
  return px;
}

// Feeds frames at the times given until each is captured.
bool record_at(const std::vector<double>& times, const std::vector<unsigned char>& px) {
  for (double t : times) {
    g_now = t;
    const int want = qtim.frames_sent + 1;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (qtim.frames_sent < want) {
      qtim.mov_add_frame(px.data());
      if (std::chrono::steady_clock::now() > end) return false;
      if (qtim.frames_sent < want) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  return true;
}

std::vector<double> steps(int n, double from, double step) {
  std::vector<double> t;
  for (int k = 1; k <= n; ++k) t.push_back(from + k * step);
  return t;
}

// Records noise (which JPEG cannot squeeze) into a file that may not grow past
// 64 KB, as on a full disk, with the real alert and close-down; each frame
// reports what the threads raised, as the frame loop does. A close-down that
// waits for the dead thread ends with status 3 after 10 s.
[[noreturn]] void record_onto_a_full_disk(const std::string& log) {
  signal(SIGALRM, [](int) { _exit(3); });
  alarm(10);
  g_alert_intercept = nullptr;
  xer.open(log);
  THREAD_init();
  signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead
  const rlimit limit{64 << 10, 64 << 10};
  setrlimit(RLIMIT_FSIZE, &limit);
  const std::string noise = fly_test::pattern(320 * 240 * 4, 7);
  qtim.mov_toggle(1);
  for (int k = 1;; ++k) {
    g_now = k * 0.05;
    qtim.mov_add_frame(noise.data());
    THREAD_check_exception(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}
}  // namespace

TEST(RecorderTiming, FramePeriodsStallsAndSampleLengths) {
  double prev = 0.0;
  float d = 0.0f;
  int captured = 0;
  for (int k = 1; k <= 50; ++k) {  // two seconds of window frames 0.04 s apart
    const double before = prev;
    if (qtim_frame_due(k * 0.04, &prev, 20.0f, &d)) {
      ++captured;
      EXPECT_NEAR(prev - before, 0.05, 1e-9) << k;
      EXPECT_EQ(qtim_sample_units(d), 30);
    } else {
      EXPECT_LT(k * 0.04 - prev, 0.05);
    }
  }
  EXPECT_EQ(captured, 40);
  EXPECT_EQ(qtim_frame_due(prev, &prev, 20.0f, &d), 0);  // time stands still
  const double stall_from = prev;
  ASSERT_EQ(qtim_frame_due(stall_from + 0.5, &prev, 20.0f, &d), 1);
  EXPECT_NEAR(prev - stall_from, 0.5, 1e-9);
  EXPECT_EQ(qtim_sample_units(d), 60);
  prev = 1.0;
  ASSERT_EQ(qtim_frame_due(1.1, &prev, 20.0f, &d), 1);  // two periods: the whole time
  EXPECT_NEAR(prev, 1.1, 1e-9);
  EXPECT_EQ(qtim_frame_due(5.0, &prev, 0.0f, &d), 0);
  EXPECT_EQ(qtim_sample_units(0.0001f), 1);
  EXPECT_EQ(qtim_take_name(12), "Flyvane movie take-12.mov");
}

TEST_F(Recorder, TakesUseTheFirstFreeNumber) {
  fly_test::write_file("Flyvane movie take-1.mov", "old");
  fly_test::write_file("Flyvane movie take-2.mov", "old");
  const auto px = test_picture(320, 240);
  qtim.mov_toggle(1);
  ASSERT_EQ(qtim.state, 1);
  EXPECT_TRUE(fly_test::file_exists("Flyvane movie take-3.mov"));
  ASSERT_TRUE(record_at(steps(1, 0.0, 0.05), px));
  qtim.mov_toggle(0);  // no frame has come back yet: a stop this early is ignored
  EXPECT_EQ(qtim.state, 1);
  ASSERT_TRUE(record_at(steps(5, 0.05, 0.05), px));  // the sixth needs three back
  qtim.mov_toggle(0);
  EXPECT_EQ(qtim.state, 0);
  EXPECT_EQ(g_loads * 10 + g_unloads, 11);
  EXPECT_EQ(fly_test::read_file("Flyvane movie take-1.mov"), "old");
  qtim.mov_toggle(1);
  EXPECT_TRUE(fly_test::file_exists("Flyvane movie take-4.mov"));
}

TEST_F(Recorder, RefusedStartsReturnToIdle) {
  mnw.window_dx = 2049;
  qtim.mov_toggle(1);
  EXPECT_EQ(qtim.state, 0);
  EXPECT_EQ(g_loads * 10 + g_unloads, 11);
  ASSERT_EQ(fly_test::alerts().size(), 1u);
  EXPECT_EQ(fly_test::alerts()[0].s1, "Oops!");
  EXPECT_EQ(fly_test::alerts()[0].type, t_alert);
  EXPECT_FALSE(fly_test::file_exists("Flyvane movie take-1.mov"));

  mnw.window_dx = 640;
  qtim.mov_toggle(1);
  ASSERT_EQ(qtim.state, 1);
  EXPECT_EQ(mov_startrecord(), 0);  // a movie is open: refused, the recording goes on
  EXPECT_EQ(fly_test::alerts().back().s1, "Trying to create a movie but one already exists");
  EXPECT_FALSE(fly_test::file_exists("Flyvane movie take-2.mov"));
  EXPECT_EQ(qtim.state, 1);
  ASSERT_TRUE(record_at(steps(6, 0.0, 0.05), test_picture(320, 240)));
  qtim.mov_toggle(0);
  EXPECT_EQ(qtim.state, 0);
}

TEST_F(Recorder, WithoutAFileItStopsAtOnce) {
  qtim.mov_toggle(2);
  EXPECT_EQ(qtim.state, 2);
  EXPECT_EQ(qtim.mov_per_frame(), 0);
  EXPECT_EQ(qtim.state, 0);
  EXPECT_EQ(g_loads * 10 + g_unloads, 11);
  EXPECT_FALSE(fly_test::file_exists("Flyvane movie take-1.mov"));
  qtim.mov_toggle(0);  // idle: nothing to stop, nothing loaded
  EXPECT_EQ(g_loads, 1);
}

TEST_F(Recorder, TimeThatStandsStillCapturesNothing) {
  int shows = 0;
  static int* counter = &shows;
  qtim_hooks.show = [] { ++*counter; };
  qtim_hooks.grab = [](void* px, int dx, int dy) {
    memset(px, 0x80, static_cast<size_t>(dx) * dy * 4);
    return 1;
  };
  g_now = 1.0;
  qtim.mov_toggle(1);
  EXPECT_EQ(qtim.mov_per_frame(), 0);  // same time: the frame loop swaps
  EXPECT_EQ(shows, 0);
  g_now = 1.01;
  EXPECT_EQ(qtim.mov_per_frame(), 1);  // not due yet, but shown here
  EXPECT_EQ(qtim.frames_sent * 10 + shows, 1);
  g_now = 1.05;
  EXPECT_EQ(qtim.mov_per_frame(), 1);
  EXPECT_EQ(qtim.frames_sent, 1);  // through the grab hook
}

TEST_F(Recorder, TwoSecondMovieReadsBackAsOneMjpegTrack) {
  const auto px = test_picture(320, 240);
  qtim.mov_toggle(1);
  ASSERT_EQ(qtim.movie_dx * 1000 + qtim.movie_dy, 320240);
  ASSERT_TRUE(record_at(steps(40, 0.0, 0.05), px));
  qtim.mov_toggle(0);
  ASSERT_EQ(qtim.state, 0);

  const std::string f = "'Flyvane movie take-1.mov'";
  EXPECT_EQ(fly_test::sh("ffprobe -v error -select_streams v -show_entries "
                         "stream=codec_name,codec_tag_string,width,height,nb_frames,time_base "
                         "-of default=nw=1 " + f),
            "codec_name=mjpeg\ncodec_tag_string=jpeg\nwidth=320\nheight=240\ntime_base=1/600\n"
            "nb_frames=40");
  EXPECT_EQ(fly_test::sh("ffprobe -v error -show_entries stream=codec_type -of csv=p=0 " + f),
            "video");  // one track
  EXPECT_EQ(fly_test::sh("ffprobe -v error -show_entries format=format_name:format_tags=major_brand "
                         "-of default=nw=1 " + f),
            "format_name=mov,mp4,m4a,3gp,3g2,mj2\nTAG:major_brand=qt  ");
  const std::string durations =
      fly_test::sh("ffprobe -v error -show_entries packet=duration -of csv=p=0 " + f);
  std::string expect;
  for (int i = 0; i < 40; ++i) expect += (i ? "\n" : "") + std::string("30");
  EXPECT_EQ(durations, expect);

  // The first frame comes back the right way up and in its colours.
  fly_test::sh("ffmpeg -v error -i " + f + " -frames:v 1 -f rawvideo -pix_fmt rgb24 frame.rgb");
  const std::string rgb = fly_test::read_file("frame.rgb");
  ASSERT_EQ(rgb.size(), 320u * 240 * 3);
  auto at = [&](int x, int y, int c) { return static_cast<unsigned char>(rgb[(y * 320 + x) * 3 + c]); };
  EXPECT_GT(at(40, 40, 0), 200);   // top left red
  EXPECT_LT(at(40, 40, 1), 60);
  EXPECT_GT(at(40, 200, 1), 200);  // bottom left green
  EXPECT_LT(at(40, 200, 0), 60);
  EXPECT_GT(at(250, 120, 2), 200);  // right blue
  EXPECT_LT(at(250, 120, 0), 60);
}

TEST_F(Recorder, OddSizesAndOutOfRangeSettings) {
  mnw.window_dx = 999;
  mnw.window_dy = 777;
  qtim.movie_dx = 5000;
  qtim.frame_rate = 0.0f;
  qtim.mov_toggle(1);
  ASSERT_EQ(qtim.state, 1);
  EXPECT_EQ(qtim.movie_dx * 10000 + qtim.movie_dy, 2048 * 10000 + 777 * 2048 / 999);
  EXPECT_EQ(qtim.frame_rate, 10.0f);
  qtim.mov_toggle(0);
  qtim.movie_dx = 33;
  mnw.window_dx = 64;
  mnw.window_dy = 31;
  qtim.frame_rate = 20.0f;
  qtim.stop_thread();
  qtim.mov_toggle(1);
  ASSERT_EQ(qtim.movie_dx * 100 + qtim.movie_dy, 3315);
  std::vector<unsigned char> px(33 * 15 * 4, 0x40);
  ASSERT_TRUE(record_at(steps(6, 0.0, 0.05), px));
  qtim.mov_toggle(0);
  EXPECT_EQ(fly_test::sh("ffprobe -v error -show_entries stream=width,height,nb_frames -of csv=p=0 "
                         "'Flyvane movie take-2.mov'"),
            "33,15,6");
}

TEST_F(Recorder, AnEncoderThatDiesOfAFullDiskEndsTheProgramWithStatusOne) {
  const std::string log = fly_test::sandbox() + "full.txt";
  EXPECT_EXIT(record_onto_a_full_disk(log), ::testing::ExitedWithCode(1),
              "Could not CompressSequenceFrame");
  EXPECT_THAT(fly_test::read_file(log),
              HasSubstr("\nCould not CompressSequenceFrame.\nFile too large\n"
                        "(CompressSequenceBegin failed.)\n-27\n"));
}
