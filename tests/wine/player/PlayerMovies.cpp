// Native helper of the player's Wine tests: writes test movies on the built player stub with the
// core's writer, and checks screenshots of the playing player against the frames decoded natively.
//
//   player_movies make KIND STUB OUT
//       KIND: plain (256x160, 60 frames, known pictures and cursor records), tiny (4x4 frames whose
//       payloads can exceed the image size), truecolour (200x120, 30 frames of 24-bit colours: greys
//       one code apart, a gradient of thousands of colours), steps (plain with five steps and a block
//       of another kind), and the damaged ones: bigpayload, badlzo, badruns, truncated, short (the
//       trailer promises more frames than there are records), badheader, and the plain movie with a
//       damaged section: steps-lyingfooter, steps-longblock, steps-unknown (no steps, only blocks of
//       kinds no reader knows), steps-cutstep (the last step cut short); narrated: plain with a sound
//       block from frame 3 to frame 22, a 500 Hz tone growing louder frame by frame; keys: plain with
//       key presses (shortcuts, a repeated one, a typed word).
//   player_movies huge STUB OUT
//       A movie whose records run past 4 GiB, as a sparse file (WriteHugeSparseMovie), titled "huge";
//       prints its FrameCount.
//   player_movies compare MOVIE STATE SHOT GEOMETRY
//       STATE: k (the picture after k frame records, with the cursor of record k), or "end" (after
//       the end record: black, with the end record's cursor), or "black" (black with any cursor).
//       Exit 0 when the client area equals the expected picture pixel for pixel.
//   player_movies identify MOVIE SHOT GEOMETRY
//       Prints "frame K" for the first k in 1..FrameCount whose picture the client area shows, or
//       "frame 0" for a black one, "frame -1" for none.
//   player_movies overlay SHOT GEOMETRY
//       Only the overlay check.
//   player_movies stubcheck STUB
//       The padded player: exactly the stub length, its sections' file data within it (so the
//       program itself fitted before padding), and only zeros after them.
//   GEOMETRY: SCREEN_W SCREEN_H CLIENT_X CLIENT_Y CLIENT_W CLIENT_H SCROLL_X SCROLL_Y
//
// SHOT is the whole screen as raw 8-bit RGB (ImageMagick's "rgb:" format). Every check also prints
// "overlay=cyan|red|none|unclear": the colour of the time text in the client area's top-right corner.
// That corner is left out of the picture comparison, since the text's shape depends on the font.
// Decoded frames never hold pure red or cyan (channels top out at 0xE0 except for white), so those
// colours can only come from the overlay or a cursor ring, which the test movies keep away from it.
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "Codec.h"
#include "Keys.h"
#include "LZO.h"
#include "Movie.h"
#include "Section.h"
#include "Sound.h"
#include "TestSupport.h"

namespace {

// ---- Files ---------------------------------------------------------------------------------------

std::vector<uint8_t> ReadFile(const std::string& path) {
  bool opened;
  std::vector<uint8_t> bytes = ReadWholeFile(path, &opened);
  if (!opened) {
    fprintf(stderr, "cannot read %s\n", path.c_str());
    exit(2);
  }
  return bytes;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write((const char*)bytes.data(), (std::streamsize)bytes.size());
  if (!out) {
    fprintf(stderr, "cannot write %s\n", path.c_str());
    exit(2);
  }
}

// ---- Writing test movies -------------------------------------------------------------------------

// "播放测试 Tavrel" in GBK: the caption shows it in UTF-8 when the code page is right.
const char PlainTitle[] = "\xB2\xA5\xB7\xC5\xB2\xE2\xCA\xD4 Tavrel";
const int32_t PlainWidth = 256, PlainHeight = 160, PlainFrames = 100;

// Frame k of the plain movie: a pattern that differs in every pixel from frame to frame, except
// every fifth frame, which only paints one square over the frame before, so a frame's picture
// depends on the frames before it (as a seek must replay them). Frame 21 repeats frame 20.
void PlainPicture(std::vector<uint32_t>& pixels, int32_t k) {
  int32_t w = PlainWidth, h = PlainHeight;
  if (k % 5 == 4) {
    int32_t left = (k * 37) % (w - 24), top = 24 + (k * 11) % (h - 48);
    uint32_t colour = DecodeRgb332((uint8_t)(k * 13 + 5));
    for (int32_t y = top; y < top + 20; y++)
      for (int32_t x = left; x < left + 20; x++) pixels[(size_t)(y * w + x)] = colour;
    return;
  }
  if (k == 21) return;
  for (int32_t y = 0; y < h; y++)
    for (int32_t x = 0; x < w; x++) {
      uint32_t code = (uint32_t)(x / 8 + 3 * (y / 8) + 7 * k) & 0xFF;
      pixels[(size_t)(y * w + x)] = DecodeRgb332((uint8_t)code);
    }
  for (int32_t y = 0; y < h; y++) pixels[(size_t)(y * w + (k * 4) % w)] = 0x00FFFFFF;  // a white line
}

// The cursor records of the plain movie: all three buttons, a button value without an image
// (frame 13), and a cursor partly outside the frame (frame 7). None comes near the top-right corner.
void PlainCursor(int32_t k, uint8_t* button, int32_t* x, int32_t* y) {
  *button = (uint8_t)(k % 3);
  *x = 16 + (k * 23) % 150;
  *y = 30 + (k * 17) % 100;
  if (k == 13) *button = 9;
  if (k == 7) {
    *x = -12;
    *y = -6;
  }
}

// The plain movie's frames; the caller finishes it.
void WritePlainFrames(TestWriter* b) {
  std::vector<uint32_t> pixels((size_t)(PlainWidth * PlainHeight), 0);
  for (int32_t k = 1; k <= PlainFrames; k++) {
    PlainPicture(pixels, k);
    uint8_t button;
    int32_t x, y;
    PlainCursor(k, &button, &x, &y);
    b->Frame(pixels, button, x, y);
  }
}

using Blocks = std::vector<std::pair<uint32_t, std::vector<uint8_t>>>;

// The plain movie, with a section of these blocks when given.
std::vector<uint8_t> MakePlain(const std::vector<uint8_t>& stub, const Blocks* blocks = nullptr) {
  TestWriter b(PlainWidth, PlainHeight, PlainTitle, &stub);
  WritePlainFrames(&b);
  return blocks ? b.FinishWithSection(*blocks) : b.Finish();
}

// The steps of the "steps" movie: two presses in frame 10 (the first 120 ms before it, the second a
// right double-click), a middle press at the top edge, one right behind it, and one without a
// description.
std::vector<uint8_t> PlainSteps(bool cutLast = false) {
  struct {
    StepRecord Record;
    const char* Text;
  } steps[] = {
      {{10, 120, StepLeft, 0, 100, 60, 0},
       "\xD7\xF3\xBC\xFC\xB5\xA5\xBB\xF7\xA1\xB0\xB1\xA3\xB4\xE6\xA1\xB1(\xB0\xB4\xC5\xA5)\xA3\xAC\xB4\xB0\xBF\xDA"
       "\xA1\xB0\xC1\xED\xB4\xE6\xCE\xAA\xA1\xB1"},  // 左键单击“保存”(按钮)，窗口“另存为”
      {{10, 0, StepRight, StepDouble, 30, 140, 0}, "right & <double>"},
      {{40, 60, StepMiddle, 0, 250, 5, 0},
       "\xD6\xD0\xBC\xFC\xB5\xA5\xBB\xF7\xA1\xB0\xB9\xA4\xBE\xDF\xC0\xB8\xA1\xB1"},  // 中键单击“工具栏”
      {{41, 10, StepLeft, StepDouble, 128, 80, 0}, "double"},
      {{90, 199, StepLeft, 0, 20, 20, 0}, ""},
  };
  std::vector<uint8_t> data;
  for (const auto& step : steps) {
    size_t at = data.size();
    data.resize(at + StepSize((uint32_t)strlen(step.Text)));
    data.resize(at + PutStep(data.data() + at, &step.Record, step.Text, (uint32_t)strlen(step.Text)));
  }
  if (cutLast) data.resize(data.size() - 10);  // the last record's header says more than is left
  return data;
}

// The key presses of the "keys" movie: Ctrl+S 40 ms before frame 10, Ctrl+Z in frames 30, 31 and 32,
// "hello" typed in frames 50 to 52, Alt+F4 in frame 70.
std::vector<uint8_t> PlainKeys() {
  const KeyRecord keys[] = {
      {10, 40, 'S', KeyCtrl, 0, 0},   {30, 0, 'Z', KeyCtrl, 0, 0},    {31, 0, 'Z', KeyCtrl, 0, 0},
      {32, 0, 'Z', KeyCtrl, 0, 0},    {50, 100, 'H', 0, 0, 'h'},     {50, 0, 'E', 0, 0, 'e'},
      {51, 50, 'L', 0, 0, 'l'},       {51, 0, 'L', 0, 0, 'l'},       {52, 0, 'O', 0, 0, 'o'},
      {70, 0, 0x73, KeyAlt, 0, 0},
  };
  const uint8_t* bytes = (const uint8_t*)keys;
  return std::vector<uint8_t>(bytes, bytes + sizeof keys);
}

// A few ordinary frames of a 64x48 movie, for the damaged ones to start from.
// (Held by pointer: the writer points into its own buffers, so it must not move.)
std::unique_ptr<TestWriter> SmallMovie(const std::vector<uint8_t>& stub, const char* title, int frames) {
  std::unique_ptr<TestWriter> b(new TestWriter(64, 48, title, &stub));
  std::vector<uint32_t> pixels(64 * 48);
  for (int k = 1; k <= frames; k++) {
    for (size_t i = 0; i < pixels.size(); i++) pixels[i] = DecodeRgb332((uint8_t)(i / 16 + (size_t)k * 29));
    b->Frame(pixels, (uint8_t)(k % 3), k * 3, k * 2);
  }
  return b;
}

std::vector<uint8_t> Packed(const std::vector<uint8_t>& runList) {
  std::vector<uint8_t> out(LzoWorstCase((uint32_t)runList.size()));
  std::vector<uint8_t> work(LzoWorkSize);
  out.resize((size_t)PackRunList(runList.data(), (uint32_t)runList.size(), out.data(), work.data()));
  return out;
}

std::vector<uint8_t> Run(uint32_t start, uint32_t length, uint32_t codes) {
  std::vector<uint8_t> run(8);
  memcpy(run.data(), &start, 4);
  memcpy(run.data() + 4, &length, 4);
  for (uint32_t i = 0; i < codes; i++) run.push_back((uint8_t)(0x1C + i));
  return run;
}

std::vector<uint8_t> MakeNarrated(const std::vector<uint8_t>& stub) {
  const uint32_t frameSamples = RecordedSampleRate / FramesPerSecond;
  MemoryFile side;
  SoundFileWriter sound{};
  sound.Sink = side.Sink();
  StartSoundFile(&sound, 3);
  std::vector<int16_t> pcm(frameSamples);
  for (int32_t f = 0; f < 20; f++) {
    for (uint32_t i = 0; i < frameSamples; i++)
      pcm[i] = (int16_t)((1000 + 1000 * f) * sin(2 * 3.14159265358979 * 500 * (f * frameSamples + i) / RecordedSampleRate));
    AddSound(&sound, pcm.data(), frameSamples);
  }
  TestWriter b(PlainWidth, PlainHeight, PlainTitle, &stub);
  WritePlainFrames(&b);
  return b.FinishWithSound(&side);
}

std::vector<uint8_t> MakeMovie(const std::string& kind, const std::vector<uint8_t>& stub) {
  if (kind == "plain") return MakePlain(stub);
  if (kind == "narrated") return MakeNarrated(stub);
  if (kind == "tiny") {
    // 16 pixels: a frame where every pixel changes packs to more bytes than the 64-byte image.
    TestWriter b(4, 4, "tiny", &stub);
    std::vector<uint32_t> pixels(16);
    for (int k = 1; k <= 12; k++) {
      for (size_t i = 0; i < 16; i++) pixels[i] = DecodeRgb332((uint8_t)(i * 41 + (size_t)k * 97));
      b.Frame(pixels, 0, 0, 0);
    }
    return b.Finish();
  }
  if (kind == "truecolour") {
    // Every pixel changes every frame. No channel is pure red or cyan: those are the overlay's.
    TestWriter b(200, 120, "truecolour", &stub, nullptr, DepthTrueColour);
    std::vector<uint32_t> pixels(200 * 120);
    for (int32_t k = 1; k <= 30; k++) {
      for (uint32_t y = 0; y < 120; y++)
        for (uint32_t x = 0; x < 200; x++)
          pixels[y * 200 + x] = (16 + (x * 3 + k * 5) % 224) << 16 | (16 + (y * 5 + k * 3) % 224) << 8 |
                                (32 + (x + y + k) % 200);
      for (uint32_t i = 0; i < 200 * 12; i++) pixels[i] = 0x00202020 + (uint32_t)k;  // a title bar
      for (uint32_t i = 200 * 100; i < 200 * 120; i++) pixels[i] = i % 200 < 100 ? 0x00F3F3F3 : 0x00E9E9E9;
      b.Frame(pixels, (uint8_t)(k % 3), 20 + k, 40);  // the cursor well away from the overlay's corner
    }
    return b.Finish();
  }
  if (kind == "bigpayload") {
    auto b = SmallMovie(stub, "bigpayload", 3);
    b->RawRecord(1, 5, 5, 0x7FFFFF00, std::vector<uint8_t>(100, 0x55));
    return b->Finish(8);
  }
  if (kind == "badlzo") {
    auto b = SmallMovie(stub, "badlzo", 2);
    std::vector<uint8_t> garbage(300);
    for (size_t i = 0; i < garbage.size(); i++) garbage[i] = (uint8_t)(i * 151 + 7);
    b->RawRecord(0, 1, 1, (int32_t)garbage.size(), garbage);
    std::vector<uint8_t> good = Packed(Run(10, 4, 4));
    good.back() ^= 0xFF;  // a damaged end-of-stream marker
    b->RawRecord(2, 2, 2, (int32_t)good.size(), good);
    return b->Finish();
  }
  if (kind == "badruns") {
    auto b = SmallMovie(stub, "badruns", 2);
    uint32_t n = 64 * 48;
    std::vector<std::vector<uint8_t>> lists = {
        Run(n - 2, 10, 10),         // runs past the last pixel
        Run(0x7FFFFFF0u, 32, 32),   // starts far outside the frame
        Run(5, 0xFFFFFFF0u, 8),     // longer than the run list holds
        Run(5, 0, 0),               // an empty run
        {1, 2, 3},                  // less than a run header
    };
    for (auto& list : lists) {
      std::vector<uint8_t> payload = Packed(list);
      b->RawRecord(1, 3, 3, (int32_t)payload.size(), payload);
    }
    return b->Finish();
  }
  if (kind == "truncated") {
    // Cut inside the last payload: the "trailer" the player reads is made of record bytes.
    std::vector<uint8_t> whole = MakePlain(stub);
    whole.resize(whole.size() - TrailerSize - FrameHeaderSize - 40);
    return whole;
  }
  if (kind == "short") {
    auto b = SmallMovie(stub, "", 6);  // untitled
    return b->Finish(40);
  }
  // With steps, and with sections damaged in each way a reader must survive: a footer that lies
  // about the section's length, a block longer than the section, tags no reader knows, a steps block
  // whose last step is cut short.
  const uint32_t other = SectionTag('X', 'T', 'R', 'A');
  if (kind == "steps") {
    Blocks blocks{{other, std::vector<uint8_t>(40, 0x5A)}, {TagSteps, PlainSteps()}};
    return MakePlain(stub, &blocks);
  }
  if (kind == "steps-lyingfooter" || kind == "steps-longblock") {
    Blocks blocks{{TagSteps, PlainSteps()}};
    std::vector<uint8_t> bytes = MakePlain(stub, &blocks);
    size_t footer = bytes.size() - TrailerSize - SectionFooterSize;
    uint64_t length;
    memcpy(&length, bytes.data() + footer, 8);
    uint32_t huge = 0x7FFFFFFF;
    if (kind == "steps-lyingfooter") bytes[footer] += 3;
    else memcpy(bytes.data() + footer - length + 4, &huge, 4);
    return bytes;
  }
  if (kind == "steps-unknown") {
    Blocks blocks{{other, std::vector<uint8_t>(1000, 0x11)}, {SectionTag('S', 'N', 'D', '1'), {}}};
    return MakePlain(stub, &blocks);
  }
  if (kind == "keys") {
    Blocks blocks{{TagKeys, PlainKeys()}};
    return MakePlain(stub, &blocks);
  }
  if (kind == "steps-cutstep") {
    Blocks blocks{{TagSteps, PlainSteps(true)}};
    return MakePlain(stub, &blocks);
  }
  if (kind == "badheader") {
    auto b = SmallMovie(stub, "badheader", 2);
    std::vector<uint8_t> bytes = b->Finish();
    bytes[StubLength + 28] = 24;  // biBitCount: a format the codec does not make
    return bytes;
  }
  fprintf(stderr, "unknown movie kind %s\n", kind.c_str());
  exit(2);
}

// ---- Checking screenshots ------------------------------------------------------------------------

struct Geometry {
  int32_t ScreenW, ScreenH, X, Y, W, H, ScrollX, ScrollY;
};

struct Shot {
  std::vector<uint8_t> Rgb;
  Geometry G;
  uint32_t At(int32_t x, int32_t y) const {  // client coordinates
    size_t i = ((size_t)(G.Y + y) * (size_t)G.ScreenW + (size_t)(G.X + x)) * 3;
    return (uint32_t)Rgb[i] << 16 | (uint32_t)Rgb[i + 1] << 8 | Rgb[i + 2];
  }
};

// The corner where the time text is drawn: right-aligned on the client area's first line.
const int32_t OverlayW = 150, OverlayH = 20;
bool InOverlay(const Geometry& g, int32_t x, int32_t y) { return y < OverlayH && x >= g.W - OverlayW; }

const char* OverlayColour(const Shot& shot) {
  int cyan = 0, red = 0;
  for (int32_t y = 0; y < OverlayH && y < shot.G.H; y++)
    for (int32_t x = shot.G.W > OverlayW ? shot.G.W - OverlayW : 0; x < shot.G.W; x++) {
      uint32_t p = shot.At(x, y);
      cyan += p == 0x00FFFF;
      red += p == 0xFF0000;
    }
  if (cyan > 10 && red == 0) return "cyan";
  if (red > 10 && cyan == 0) return "red";
  if (red == 0 && cyan == 0) return "none";
  return "unclear";
}

// The cursor images as drawn: one colour per opaque pixel, from the same art files the build uses.
struct CursorArt {
  int32_t W = 0, H = 0;
  std::vector<int32_t> Pixels;  // -1 transparent
};

CursorArt LoadCursorArt(int index) {
  static const char* const codes = "KrgybmcsdRGYBMCW";
  static const uint32_t colours[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                       0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                       0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
  std::string path = std::string(TAVREL_ART_DIR) + "/cur" + std::to_string(index) + ".txt";
  std::ifstream in(path);
  CursorArt art;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (line.rfind("size ", 0) == 0) {
      sscanf(line.c_str(), "size %d %d", &art.W, &art.H);
      continue;
    }
    if (line.rfind("hotspot ", 0) == 0 || line.rfind("depth ", 0) == 0) continue;
    for (char c : line) {
      const char* found = c == '.' ? nullptr : strchr(codes, c);
      art.Pixels.push_back(found ? (int32_t)colours[found - codes] : -1);
    }
  }
  if (art.W == 0 || art.Pixels.size() != (size_t)(art.W * art.H)) {
    fprintf(stderr, "cannot read cursor art %s\n", path.c_str());
    exit(2);
  }
  return art;
}

// A decoded state of the movie: its picture and the cursor the player draws over it.
struct State {
  std::vector<uint32_t> Frame;
  FrameHeader Record;
  int32_t Width, Height;
  bool AnyCursor = false;  // "black": the cursor is not known, any cursor colours are accepted
};

struct Decoder : TestReader {
  MemoryFile File;
  explicit Decoder(const std::string& path) {
    File.Bytes = ReadFile(path);
    if (!Open(&File)) {
      fprintf(stderr, "%s holds no movie\n", path.c_str());
      exit(2);
    }
  }
  State Snapshot() const { return State{Frame, Reader.Record, Reader.FrameWidth, Reader.FrameHeight}; }
};

// Counts the pixels of the client area that differ from the state; reports the first few.
long Mismatches(const Shot& shot, const State& s, const CursorArt* arts, bool report) {
  const Geometry& g = shot.G;
  long bad = 0;
  for (int32_t y = 0; y < g.H; y++)
    for (int32_t x = 0; x < g.W; x++) {
      if (InOverlay(g, x, y)) continue;
      int32_t fx = x + g.ScrollX, fy = y + g.ScrollY;
      if (fx >= s.Width || fy >= s.Height) continue;  // outside the picture nothing is drawn
      uint32_t want = s.Frame[(size_t)(fy * s.Width + fx)] & 0xFFFFFF;
      uint32_t got = shot.At(x, y);
      if (s.AnyCursor) {
        if (got == want || got == 0x000000 || got == 0x00FF00 || got == 0xFF0000) continue;
      } else if (s.Record.Button < 3) {
        const CursorArt& art = arts[s.Record.Button];
        int32_t cx = x - (s.Record.CursorX - g.ScrollX), cy = y - (s.Record.CursorY - g.ScrollY);
        if (cx >= 0 && cy >= 0 && cx < art.W && cy < art.H && art.Pixels[(size_t)(cy * art.W + cx)] >= 0)
          want = (uint32_t)art.Pixels[(size_t)(cy * art.W + cx)];
      }
      if (got != want) {
        if (report && bad < 5)
          printf("  client %d,%d (frame %d,%d): got %06X want %06X\n", x, y, fx, fy, got, want);
        bad++;
      }
    }
  return bad;
}

Shot LoadShot(const std::string& path, char** geometry) {
  Shot shot;
  Geometry& g = shot.G;
  int32_t* fields[] = {&g.ScreenW, &g.ScreenH, &g.X, &g.Y, &g.W, &g.H, &g.ScrollX, &g.ScrollY};
  for (int i = 0; i < 8; i++) *fields[i] = atoi(geometry[i]);
  shot.Rgb = ReadFile(path);
  if (shot.Rgb.size() != (size_t)g.ScreenW * (size_t)g.ScreenH * 3 || g.X < 0 || g.Y < 0 ||
      g.W <= 0 || g.H <= 0 || g.X + g.W > g.ScreenW || g.Y + g.H > g.ScreenH) {
    fprintf(stderr, "screenshot %s does not fit the geometry given\n", path.c_str());
    exit(2);
  }
  return shot;
}

int Compare(const std::string& movie, const std::string& state, const Shot& shot) {
  CursorArt arts[3] = {LoadCursorArt(0), LoadCursorArt(1), LoadCursorArt(2)};
  Decoder d(movie);
  State s;
  if (state == "end") {
    while (ReadNextRecord(&d.Reader) >= 0) {
    }
    RewindMovieReader(&d.Reader);  // the player shows black with the end record's cursor
    s = d.Snapshot();
  } else if (state == "black") {
    s = d.Snapshot();
    s.AnyCursor = true;
  } else {
    int32_t k = atoi(state.c_str());
    SeekMovieReader(&d.Reader, k);
    s = d.Snapshot();
  }
  long bad = Mismatches(shot, s, arts, true);
  printf("%s %ld overlay=%s\n", bad ? "mismatch" : "match", bad, OverlayColour(shot));
  return bad ? 1 : 0;
}

int Identify(const std::string& movie, const Shot& shot) {
  CursorArt arts[3] = {LoadCursorArt(0), LoadCursorArt(1), LoadCursorArt(2)};
  Decoder d(movie);
  int32_t found = -1;
  State black = d.Snapshot();
  black.AnyCursor = true;
  if (Mismatches(shot, black, arts, false) == 0) found = 0;
  for (int32_t k = 1; found < 0 && k <= d.Reader.Trailer.FrameCount; k++) {
    if (ReadNextRecord(&d.Reader) < 0) break;
    if (Mismatches(shot, d.Snapshot(), arts, false) == 0) found = k;
  }
  printf("frame %d overlay=%s\n", found, OverlayColour(shot));
  return found >= 0 ? 0 : 1;
}

// ---- The stub ------------------------------------------------------------------------------------

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return at + 4 <= b.size() ? (uint32_t)b[at] | (uint32_t)b[at + 1] << 8 | (uint32_t)b[at + 2] << 16 |
                                  (uint32_t)b[at + 3] << 24
                            : 0;
}

int StubCheck(const std::string& path) {
  std::vector<uint8_t> b = ReadFile(path);
  uint32_t pe = Le32(b, 0x3C);
  if (b.size() < 64 || b[0] != 'M' || b[1] != 'Z' || Le32(b, pe) != 0x00004550) {
    printf("%s is no PE file\n", path.c_str());
    return 1;
  }
  uint32_t sections = Le32(b, pe + 6) & 0xFFFF, optional = Le32(b, pe + 20) & 0xFFFF;
  uint32_t end = Le32(b, pe + 24 + 60);  // SizeOfHeaders
  for (uint32_t i = 0; i < sections; i++) {
    size_t at = pe + 24 + optional + i * 40;
    uint32_t size = Le32(b, at + 16), pointer = Le32(b, at + 20);
    if (size && pointer + size > end) end = pointer + size;
  }
  bool zeros = true;
  for (size_t i = end; i < b.size(); i++) zeros = zeros && b[i] == 0;
  printf("%s: %zu bytes, program %u bytes\n", path.c_str(), b.size(), end);
  return b.size() == StubLength && end <= StubLength && zeros ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string command = argc > 1 ? argv[1] : "";
  if (command == "make" && argc == 5) {
    WriteFile(argv[4], MakeMovie(argv[2], ReadFile(argv[3])));
    return 0;
  }
  if (command == "huge" && argc == 4) {
    int32_t frames = WriteHugeSparseMovie(argv[3], ReadFile(argv[2]), "huge", (4ull << 30) + 1);
    printf("%d\n", frames);
    return frames > 0 ? 0 : 1;
  }
  if (command == "compare" && argc == 13) return Compare(argv[2], argv[3], LoadShot(argv[4], argv + 5));
  if (command == "identify" && argc == 12) return Identify(argv[2], LoadShot(argv[3], argv + 4));
  if (command == "stubcheck" && argc == 3) return StubCheck(argv[2]);
  if (command == "overlay" && argc == 11) {
    printf("overlay=%s\n", OverlayColour(LoadShot(argv[2], argv + 3)));
    return 0;
  }
  fprintf(stderr,
          "usage: player_movies make KIND STUB OUT\n"
          "       player_movies compare MOVIE STATE SHOT GEOMETRY\n"
          "       player_movies identify MOVIE SHOT GEOMETRY\n"
          "       player_movies overlay SHOT GEOMETRY\n"
          "       player_movies stubcheck STUB\n"
          "GEOMETRY: SCREEN_W SCREEN_H CLIENT_X CLIENT_Y CLIENT_W CLIENT_H SCROLL_X SCROLL_Y\n");
  return 2;
}
