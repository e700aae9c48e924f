// Func: the exact texts the dialogs and the player show, the go-to dialog's number parsing, and the
// rectangle helpers of the area selection, on one monitor and on several.
#include <gtest/gtest.h>

#include <limits.h>
#include <stdio.h>
#include <string.h>

#include <random>
#include <string>

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

}  // namespace
