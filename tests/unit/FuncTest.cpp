// Func: the exact texts the dialogs and the player show, the go-to dialog's number parsing, and the
// rectangle helpers of the area selection, on one monitor and on several.
#include <gtest/gtest.h>

#include <limits.h>
#include <stdio.h>
#include <string.h>

#include <random>
#include <string>
#include <vector>

#include "Func.h"

namespace {

// Runs a formatter into a buffer with a guard area behind it: the text must fit the documented size.
template <typename F>
std::string Format(uint32_t size, F format) {
  char buffer[96];
  memset(buffer, 0x7F, sizeof buffer);
  format(buffer);
  size_t length = strnlen(buffer, sizeof buffer);
  EXPECT_LT(length, size) << "text does not fit its " << size << "-byte buffer";
  for (size_t i = length + 1; i < sizeof buffer; i++) EXPECT_EQ(buffer[i], 0x7F) << "wrote past the text at " << i;
  return std::string(buffer, length);
}

std::string Elapsed(int32_t ms) {
  return Format(ShortTextSize, [&](char* b) { FormatElapsed(b, ms); });
}
std::string Size(uint64_t bytes) {
  return Format(ShortTextSize, [&](char* b) { FormatSize(b, bytes); });
}
std::string PlayTime(int32_t current, int32_t total) {
  return Format(PlayTimeTextSize, [&](char* b) { FormatPlayTime(b, current, total); });
}
std::string Int(int32_t v) {
  return Format(ShortTextSize, [&](char* b) { IntToText(b, v); });
}

// The same texts from the C library: "%.2d" is "%0.2d" (the 0 flag is ignored with a precision).
std::string Reference(int32_t ms) {
  char text[64];
  int32_t minutes = ms / 60000;
  snprintf(text, sizeof text, "%.2d:%.2d", minutes, (ms - minutes * 60000) / 1000);
  return text;
}

TEST(FormatElapsed, FrameCountersOfTheRecorder) {
  const struct {
    int32_t Frames;
    const char* Text;
  } cases[] = {{0, "00:00"}, {5, "00:01"}, {299, "00:59"}, {300, "01:00"}, {22500, "75:00"},
               {4, "00:00"},  {3000, "10:00"}, {30000, "100:00"}};
  for (const auto& c : cases) EXPECT_EQ(Elapsed(c.Frames * 200), c.Text) << c.Frames << " frames";
}

TEST(FormatElapsed, AgreesWithTheCLibraryOverTheWholeRange) {
  std::mt19937 random(3);
  for (int i = 0; i < 20000; i++) {
    int32_t ms = int32_t(random());
    ASSERT_EQ(Elapsed(ms), Reference(ms)) << ms;
  }
  for (int32_t ms : {INT32_MAX, INT32_MIN, -1, -999, -1000, -60000, -61000, 59999, 60000})
    EXPECT_EQ(Elapsed(ms), Reference(ms)) << ms;
  EXPECT_EQ(Elapsed(-61000), "-01:-01");
}

TEST(FormatSize, KilobytesAreTruncatedPlusOne) {
  const struct {
    uint64_t Bytes;
    const char* Text;
  } cases[] = {{0, "1 KB"}, {1023, "1 KB"}, {1024, "2 KB"}, {10240, "11 KB"}, {1048575, "1024 KB"},
               // Past 2 GiB and 4 GiB, where a 32-bit size turns negative or wraps.
               {INT32_MAX, "2097152 KB"}, {1ull << 31, "2097153 KB"}, {3ull << 30, "3145729 KB"},
               {UINT32_MAX, "4194304 KB"}, {1ull << 32, "4194305 KB"},
               // The nine-digit split: just below, at and above a billion kilobytes.
               {999999998ull * 1024 + 1023, "999999999 KB"}, {999999999ull * 1024, "1000000000 KB"},
               {1000000000ull * 1024 + 5 * 1024, "1000000006 KB"}, {UINT64_MAX, "18014398509481984 KB"}};
  for (const auto& c : cases) EXPECT_EQ(Size(c.Bytes), c.Text) << c.Bytes << " bytes";
}

TEST(FormatPlayTime, CurrentAndTotalWithTrailingBlank) {
  EXPECT_EQ(PlayTime(37 * 200, 900 * 200), "00:07/03:00 ");
  EXPECT_EQ(PlayTime(300 * 200, 300 * 200), "01:00/01:00 ");
  EXPECT_EQ(PlayTime(0, 0), "00:00/00:00 ");
  EXPECT_EQ(PlayTime(299999 * 200, 299999 * 200), "999:59/999:59 ");
  EXPECT_EQ(PlayTime(300000 * 200, 300001 * 200), "1000:00/1000:00 ");
  EXPECT_EQ(PlayTime(INT32_MIN, INT32_MAX), Reference(INT32_MIN) + "/" + Reference(INT32_MAX) + " ");
  std::mt19937 random(4);
  for (int i = 0; i < 5000; i++) {
    int32_t a = int32_t(random()), b = int32_t(random());
    ASSERT_EQ(PlayTime(a, b), Reference(a) + "/" + Reference(b) + " ") << a << " " << b;
  }
}

TEST(IntToText, DecimalWithSignWithoutPaddingOrGrouping) {
  EXPECT_EQ(Int(0), "0");
  EXPECT_EQ(Int(7), "7");
  EXPECT_EQ(Int(-7), "-7");
  EXPECT_EQ(Int(900), "900");
  EXPECT_EQ(Int(1000000), "1000000");
  EXPECT_EQ(Int(INT32_MAX), "2147483647");
  EXPECT_EQ(Int(INT32_MIN), "-2147483648");
  std::mt19937 random(5);
  for (int i = 0; i < 20000; i++) {
    int32_t v = int32_t(random());
    ASSERT_EQ(Int(v), std::to_string(v));
  }
}

TEST(TextToInt, ExamplesAndEdges) {
  const struct {
    const char* Text;
    int32_t Value;
  } cases[] = {
      {"25", 25},     {" 25", 25},    {"25a", 25},   {"abc", 0},     {"-3", -3},     {"-3a", 3},
      {"$1F", 31},    {"0x1F", 31},   {"", 0},       {"-", 0},       {"$", 0},       {"x", 0},
      {"+7", 7},      {"   ", 0},     {"X1f", 31},   {"x1f", 31},    {"0X1F", 31},   {"0x", 0},
      {"$G", 0},      {"0", 0},       {"007", 7},    {"  -12", -12}, {"-12 ", 12},   {"--3", 0},
      {"+-3", 0},     {"-$1", 0},     {"ffff", 0},   {"$ffff", 65535}, {"1x10", 1},  {"\t5", 0},
      {"99999", 99999}, {"12345", 12345}, {"-0", 0}, {"0x0", 0},     {"$-1", 0},     {"- 3", 0},
      {"2147483647", INT32_MAX}, {"-2147483648", INT32_MIN}, {"0xFFFFFFFF", -1},
  };
  for (const auto& c : cases) EXPECT_EQ(TextToInt(c.Text), c.Value) << '"' << c.Text << '"';
}

TEST(TextToInt, ReadsBackEveryIntToText) {
  std::mt19937 random(6);
  for (int i = 0; i < 20000; i++) {
    int32_t v = int32_t(random());
    char text[ShortTextSize];
    IntToText(text, v);
    ASSERT_EQ(TextToInt(text), v) << text;
  }
}

TEST(Rect, NormaliseOrdersCornersWithSignedComparisons) {
  const struct {
    Rect In, Out;
  } cases[] = {
      {{10, 20, 5, 8}, {5, 8, 10, 20}},    {{5, 8, 10, 20}, {5, 8, 10, 20}},
      {{-5, 3, 2, -1}, {-5, -1, 2, 3}},    {{2, -1, -5, 3}, {-5, -1, 2, 3}},
      {{7, 7, 7, 7}, {7, 7, 7, 7}},        {{INT32_MAX, 0, INT32_MIN, 0}, {INT32_MIN, 0, INT32_MAX, 0}},
      {{0, 100, 100, 0}, {0, 0, 100, 100}},
  };
  for (const auto& c : cases) {
    Rect r = c.In;
    NormaliseRect(&r);
    EXPECT_EQ(r.left, c.Out.left);
    EXPECT_EQ(r.top, c.Out.top);
    EXPECT_EQ(r.right, c.Out.right);
    EXPECT_EQ(r.bottom, c.Out.bottom);
  }
}

TEST(Rect, ShrinkMovesEachSideOnePixelInwards) {
  Rect r{0, 0, 10, 10};
  ShrinkRect(&r);
  EXPECT_EQ(r.left, 1);
  EXPECT_EQ(r.top, 1);
  EXPECT_EQ(r.right, 9);
  EXPECT_EQ(r.bottom, 9);
  Rect n{-100, -50, -98, -40};
  ShrinkRect(&n);
  EXPECT_EQ(n.left, -99);
  EXPECT_EQ(n.top, -49);
  EXPECT_EQ(n.right, -99);
  EXPECT_EQ(n.bottom, -41);
}

// A drag on the selection window, which covers the virtual screen, becomes the capture area as the
// selection makes it: corners ordered, the ring taken off, then moved from the window's client
// coordinates to screen coordinates, where the primary monitor starts at 0, 0.
TEST(Rect, DragOnTheVirtualScreenGivesTheCaptureAreaInScreenCoordinates) {
  const struct {
    const char* Desk;
    int32_t X, Y, Width, Height;  // the virtual screen
    Rect Drag;                    // press point, last mouse move: client coordinates
    Rect Area;                    // screen coordinates
  } cases[] = {
      {"primary only", 0, 0, 1024, 768, {100, 100, 300, 200}, {101, 101, 299, 199}},
      {"monitor left of the primary", -1920, 0, 3840, 1080, {100, 100, 300, 200}, {-1819, 101, -1621, 199}},
      {"monitor above, dragged up-left", 0, -1080, 1920, 2160, {300, 1000, 100, 900}, {101, -179, 299, -81}},
      {"across the left monitor and the primary", -1280, -200, 3200, 1280, {1180, 300, 1480, 500},
       {-99, 101, 199, 299}},
      {"across the upper monitor and the primary", 0, -1080, 1920, 2160, {500, 1000, 700, 1200},
       {501, -79, 699, 119}},
      {"the whole virtual screen", -1280, -200, 3200, 1280, {0, 0, 3200, 1280}, {-1279, -199, 1919, 1079}},
  };
  for (const auto& c : cases) {
    Rect screen = VirtualScreenRect(c.X, c.Y, c.Width, c.Height);
    EXPECT_EQ(screen.right - screen.left, c.Width) << c.Desk;
    EXPECT_EQ(screen.bottom - screen.top, c.Height) << c.Desk;
    Rect client = c.Drag;
    NormaliseRect(&client);
    ShrinkRect(&client);
    Rect area = SelectionToScreen(&client, &screen);
    EXPECT_EQ(area.left, c.Area.left) << c.Desk;
    EXPECT_EQ(area.top, c.Area.top) << c.Desk;
    EXPECT_EQ(area.right, c.Area.right) << c.Desk;
    EXPECT_EQ(area.bottom, c.Area.bottom) << c.Desk;
    EXPECT_TRUE(area.left > screen.left && area.top > screen.top && area.right < screen.right &&
                area.bottom < screen.bottom)
        << c.Desk << ": the area leaves the virtual screen";
  }
}

// A window picked on the selection window gives its rectangle cut to the virtual screen; a window
// wholly off it, or touching it only along an edge (right and bottom are exclusive), gives nothing.
TEST(Rect, PickedWindowIsClippedToTheVirtualScreen) {
  const struct {
    const char* Case;
    Rect Screen, Window;
    bool Inside;
    Rect Area;  // when Inside
  } cases[] = {
      {"inside", {0, 0, 1024, 768}, {60, 60, 360, 260}, true, {60, 60, 360, 260}},
      {"the whole screen", {0, 0, 1024, 768}, {0, 0, 1024, 768}, true, {0, 0, 1024, 768}},
      {"maximised, its borders past every edge", {0, 0, 1024, 768}, {-8, -8, 1032, 776}, true, {0, 0, 1024, 768}},
      {"past the right and bottom", {0, 0, 1024, 768}, {900, 700, 1200, 900}, true, {900, 700, 1024, 768}},
      {"one pixel in at the right", {0, 0, 1024, 768}, {1023, 10, 1300, 20}, true, {1023, 10, 1024, 20}},
      {"touching the right edge from outside", {0, 0, 1024, 768}, {1024, 10, 1300, 20}, false, {}},
      {"touching the top edge from outside", {0, 0, 1024, 768}, {10, -50, 20, 0}, false, {}},
      {"on the monitor left of the primary", {-1920, 0, 1920, 1080}, {-2000, 100, -1800, 300}, true,
       {-1920, 100, -1800, 300}},
      {"in the gap of an uneven desk, above the primary's top", {-1920, -200, 1920, 1080}, {-100, -300, 100, -250},
       false, {}},
  };
  for (const auto& c : cases) {
    Rect area = c.Window;
    EXPECT_EQ(ClipToScreen(&area, &c.Screen), c.Inside) << c.Case;
    Rect want = c.Inside ? c.Area : c.Window;  // nothing inside: the rectangle is left alone
    EXPECT_EQ(area.left, want.left) << c.Case;
    EXPECT_EQ(area.top, want.top) << c.Case;
    EXPECT_EQ(area.right, want.right) << c.Case;
    EXPECT_EQ(area.bottom, want.bottom) << c.Case;
  }
}

// A recording that follows a window keeps its size wherever the window goes, and stays on the
// virtual screen when the window leaves it in part or altogether.
TEST(Rect, FollowedAreaKeepsItsSizeAndStaysOnTheScreen) {
  const Rect one{0, 0, 1024, 768};
  const Rect two{-1920, 0, 1920, 1080};  // a monitor left of the primary
  const struct {
    const char* Case;
    Rect Screen, Area;
    int32_t Left, Top;
    Rect Moved;
  } cases[] = {
      {"moved within the screen", one, {60, 60, 360, 260}, 200, 100, {200, 100, 500, 300}},
      {"not moved", one, {60, 60, 360, 260}, 60, 60, {60, 60, 360, 260}},
      {"to the last place that fits at the right", one, {60, 60, 360, 260}, 724, 568, {724, 568, 1024, 768}},
      {"one pixel past the right and bottom", one, {60, 60, 360, 260}, 725, 569, {724, 568, 1024, 768}},
      {"past the left and top", one, {60, 60, 360, 260}, -40, -1, {0, 0, 300, 200}},
      {"far off, near the end of the coordinates", one, {60, 60, 360, 260}, INT32_MAX - 10, INT32_MIN,
       {724, 0, 1024, 200}},
      {"onto the left monitor", two, {100, 100, 400, 300}, -1800, 50, {-1800, 50, -1500, 250}},
      {"past the left monitor's left edge", two, {100, 100, 400, 300}, -2000, 50, {-1920, 50, -1620, 250}},
      {"the whole screen, window moved", one, {0, 0, 1024, 768}, 30, 40, {0, 0, 1024, 768}},
      {"wider than the screen", one, {-8, 0, 1032, 100}, 50, 50, {0, 50, 1040, 150}},
      {"one pixel", one, {5, 5, 6, 6}, 1023, 767, {1023, 767, 1024, 768}},
  };
  for (const auto& c : cases) {
    Rect moved = MoveAreaTo(&c.Area, c.Left, c.Top, &c.Screen);
    EXPECT_EQ(moved.left, c.Moved.left) << c.Case;
    EXPECT_EQ(moved.top, c.Moved.top) << c.Case;
    EXPECT_EQ(moved.right, c.Moved.right) << c.Case;
    EXPECT_EQ(moved.bottom, c.Moved.bottom) << c.Case;
    EXPECT_EQ(moved.right - moved.left, c.Area.right - c.Area.left) << c.Case << ": the width changed";
    EXPECT_EQ(moved.bottom - moved.top, c.Area.bottom - c.Area.top) << c.Case << ": the height changed";
  }
}

}  // namespace

// The frame of a press: capture times kept for the last frames, by frame number modulo the slots.
struct StepFrameCase {
  const char* What;
  std::vector<uint32_t> Times;  // capture times of frames 1, 2, ... (the last Times.size() frames)
  int32_t FirstFrame;           // the frame Times[0] belongs to
  uint32_t Pressed;
  int32_t Frame;
  uint16_t Lead;
};

TEST(StepFrame, FirstFrameCapturedAtOrAfterThePress) {
  const uint32_t Slots = 4;
  const StepFrameCase cases[] = {
      {"between two ticks", {1000, 1200, 1400}, 1, 1150, 2, 50},
      {"at a capture's very moment", {1000, 1200, 1400}, 1, 1200, 2, 0},
      {"one millisecond after a capture", {1000, 1200, 1400}, 1, 1201, 3, 199},
      {"after the last capture: the next frame's", {1000, 1200, 1400}, 1, 1401, 0, 0},
      {"before the first frame", {1000, 1200}, 1, 900, 1, 100},
      {"a pause is no movie time", {1000, 1200, 9000}, 1, 1300, 3, FramePeriodMs},
      {"a late tick is no movie time", {1000, 1200, 1700}, 1, 1250, 3, FramePeriodMs},
      {"older than every frame kept: the oldest kept", {1000, 1200, 1400, 1600}, 7, 100, 7, FramePeriodMs},
      {"across the clock's wrap", {0xFFFFFF00u, 0xFFFFFFC8u, 0x90u}, 1, 0xFFFFFFF0u, 3, 0xA0},
      {"press just before the wrap, capture just after", {0xFFFFFFF0u, 0x10u}, 1, 0xFFFFFFF8u, 2, 0x18},
  };
  for (const StepFrameCase& c : cases) {
    uint32_t times[Slots] = {};
    int32_t last = c.FirstFrame + (int32_t)c.Times.size() - 1;
    for (size_t i = 0; i < c.Times.size(); i++) times[(uint32_t)(c.FirstFrame + (int32_t)i) % Slots] = c.Times[i];
    uint16_t lead = 0;
    EXPECT_EQ(StepFrame(times, Slots, last, c.Pressed, &lead), c.Frame) << c.What;
    if (c.Frame) EXPECT_EQ(lead, c.Lead) << c.What;
  }
}

TEST(StepFrame, NoFrameYet) {
  uint32_t times[4] = {};
  uint16_t lead = 7;
  EXPECT_EQ(StepFrame(times, 4, 0, 0, &lead), 0);
  EXPECT_EQ(lead, 7);
}
