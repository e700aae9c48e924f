// Checks a movie executable written by the capture engine (tests/win/capture/CaptureTest) against the
// built player and against the expectations the test program wrote next to it:
//
//   capture_check PLAYER.exe MOVIE.exe EXPECT.txt
//
//   area L T W H            the capture area on the screen
//   hotspot X Y             the hotspot the engine must subtract (0 0 with the cursor hidden)
//   title HEX               the request's title bytes (empty: the untitled title is expected)
//   format planes bits compression xpels ypels clrused clrimportant red green blue
//                           the screen format as the test program queried it
//   phase PICTURE X Y BUTTON   one per phase, in order; X, Y relative to the area
//
// Every frame record must show one phase (its picture as RGB332 codes, its cursor and its button),
// phases in order and each at least once; a record between two phases may take each of the three
// from either. No phase lines: the recording was stopped before its first tick.
// Exit code 0 when the movie is right; otherwise 1 with every problem found on stderr.
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "Codec.h"
#include "Movie.h"
#include "Pictures.h"
#include "TestSupport.h"

namespace {

struct Phase {
  int Picture;
  int32_t X, Y;
  int Button;
};

struct Expectation {
  int32_t Left = 0, Top = 0, Width = 0, Height = 0;
  int32_t HotspotX = 0, HotspotY = 0;
  std::string Title;
  unsigned Planes = 0, BitCount = 0;
  unsigned long Compression = 0, ClrUsed = 0, ClrImportant = 0, Masks[3] = {};
  long XPels = 0, YPels = 0;
  std::vector<Phase> Phases;
};

int Problems;

void Problem(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Problem(const char* format, ...) {
  va_list args;
  va_start(args, format);
  fprintf(stderr, "  ");
  vfprintf(stderr, format, args);
  fprintf(stderr, "\n");
  va_end(args);
  Problems++;
}

bool ReadExpectation(const char* path, Expectation* e) {
  FILE* f = fopen(path, "r");
  if (!f) return false;
  char line[512];
  while (fgets(line, sizeof line, f)) {
    char hex[300] = "";
    Phase p;
    if (sscanf(line, "area %d %d %d %d", &e->Left, &e->Top, &e->Width, &e->Height) == 4) continue;
    if (sscanf(line, "hotspot %d %d", &e->HotspotX, &e->HotspotY) == 2) continue;
    if (strncmp(line, "title", 5) == 0) {
      sscanf(line, "title %299s", hex);
      for (size_t i = 0; hex[i] && hex[i + 1]; i += 2) {
        unsigned byte;
        sscanf(hex + i, "%2x", &byte);
        e->Title.push_back((char)byte);
      }
      continue;
    }
    if (sscanf(line, "format %u %u %lu %ld %ld %lu %lu %lx %lx %lx", &e->Planes, &e->BitCount,
               &e->Compression, &e->XPels, &e->YPels, &e->ClrUsed, &e->ClrImportant, &e->Masks[0],
               &e->Masks[1], &e->Masks[2]) == 10)
      continue;
    if (sscanf(line, "phase %d %d %d %d", &p.Picture, &p.X, &p.Y, &p.Button) == 4) {
      e->Phases.push_back(p);
      continue;
    }
  }
  fclose(f);
  return e->Width > 0;
}

void CheckHeader(const std::vector<uint8_t>& movie, const Expectation& e) {
  MovieHeader h;
  memcpy(&h, movie.data() + StubLength, sizeof h);
  const BitmapInfoHeader& i = h.Info.Header;
  uint32_t image = (uint32_t)e.Width * 4 * (uint32_t)e.Height;
  if (h.File.bfType != 0x4D42 || h.File.bfSize != 66 + image || h.File.bfReserved1 || h.File.bfReserved2 ||
      h.File.bfOffBits != 66)
    Problem("file header: type %04x size %u reserved %u %u offbits %u", h.File.bfType, h.File.bfSize,
            h.File.bfReserved1, h.File.bfReserved2, h.File.bfOffBits);
  if (i.biSize != 40 || i.biWidth != e.Width || i.biHeight != -e.Height || i.biSizeImage != image)
    Problem("bitmap header: size %u width %d height %d image %u (area %dx%d)", i.biSize, i.biWidth, i.biHeight,
            i.biSizeImage, e.Width, e.Height);
  // On a 32-bit screen everything is as the screen reports it; on any other the capture is 32-bit
  // with explicit masks.
  bool native = e.BitCount == 32;
  unsigned long compression = native ? e.Compression : 3;
  unsigned long masks[3] = {native ? e.Masks[0] : 0xFF0000, native ? e.Masks[1] : 0xFF00, native ? e.Masks[2] : 0xFF};
  if (i.biPlanes != e.Planes || i.biBitCount != 32 || i.biCompression != compression ||
      i.biXPelsPerMeter != e.XPels || i.biYPelsPerMeter != e.YPels || i.biClrUsed != e.ClrUsed ||
      i.biClrImportant != e.ClrImportant)
    Problem("bitmap header: planes %u bits %u compression %u pels %d %d colours %u %u; screen: %u %u %lu %ld %ld %lu %lu",
            i.biPlanes, i.biBitCount, i.biCompression, i.biXPelsPerMeter, i.biYPelsPerMeter, i.biClrUsed,
            i.biClrImportant, e.Planes, e.BitCount, e.Compression, e.XPels, e.YPels, e.ClrUsed, e.ClrImportant);
  for (int k = 0; k < 3; k++)
    if (h.Info.Masks[k] != masks[k]) Problem("colour mask %d is %08x, not %08lx", k, h.Info.Masks[k], masks[k]);
}

void CheckTrailer(const std::vector<uint8_t>& movie, const Expectation& e, int32_t records) {
  MovieTrailer t;
  memcpy(&t, movie.data() + movie.size() - TrailerSize, sizeof t);
  if (t.FrameCount != records) Problem("FrameCount %d, but %d frame records", t.FrameCount, records);
  std::string title = e.Title.empty() ? std::string(TAVREL_UNTITLED_GBK) : e.Title;
  if (title.size() > TitleSize - 1) title.resize(TitleSize - 1);
  for (uint32_t k = 0; k < TitleSize; k++) {
    char want = k < title.size() ? title[k] : 0;
    if (t.MovieTitle[k] != want) {
      Problem("title byte %u is %02x, not %02x", k, (uint8_t)t.MovieTitle[k], (uint8_t)want);
      break;
    }
  }
}

// Which of picture, cursor and button of a record agree with a phase.
struct Match {
  bool Picture, Cursor, Button;
  bool All() const { return Picture && Cursor && Button; }
};

Match Compare(const Phase& p, const Expectation& e, const std::vector<uint8_t>& codes, const FrameHeader& r) {
  Match m;
  m.Picture = true;
  for (int32_t y = 0; y < e.Height && m.Picture; y++)
    for (int32_t x = 0; x < e.Width; x++)
      if (codes[y * e.Width + x] != QuantiseRgb332(PicturePixel(p.Picture, x, y))) {
        m.Picture = false;
        break;
      }
  m.Cursor = r.CursorX == p.X - e.HotspotX && r.CursorY == p.Y - e.HotspotY;
  m.Button = r.Button == p.Button;
  return m;
}

void CheckRecords(const std::vector<uint8_t>& movie, const Expectation& e) {
  MemoryFile file;
  file.Bytes = movie;
  TestReader test;
  if (!test.Open(&file)) {
    Problem("the format reader does not take the movie");
    return;
  }
  MovieReader& reader = test.Reader;
  const std::vector<uint32_t>& frame = test.Frame;

  std::vector<uint8_t> codes(reader.PixelCount, 0), previous(reader.PixelCount, 0);
  std::vector<bool> seen(e.Phases.size(), false);
  size_t phase = 0;
  int32_t records = 0, unchanged = 0;
  FrameHeader last = {};
  for (;;) {
    int32_t length = ReadNextRecord(&reader);
    if (records == 0 && reader.LastRecordOffset != FirstRecordOffset)
      Problem("first record at %llu", (unsigned long long)reader.LastRecordOffset);
    if (length == EndRecordLength) break;
    if (reader.LastStatus != RecordChanged && reader.LastStatus != RecordUnchanged) {
      Problem("record %d at %llu is damaged (status %d)", records + 1, (unsigned long long)reader.LastRecordOffset,
              reader.LastStatus);
      return;
    }
    records++;
    last = reader.Record;
    for (uint32_t k = 0; k < reader.PixelCount; k++) codes[k] = QuantiseRgb332(frame[k]);
    bool same = codes == previous;
    if (same != (length == 0))
      Problem("record %d: PayloadLength %d for a frame that %s", records, length, same ? "did not change" : "changed");
    if (length == 0) {
      unchanged++;
      if (reader.Position != reader.LastRecordOffset + FrameHeaderSize)
        Problem("record %d: unchanged but %llu bytes long", records,
                (unsigned long long)(reader.Position - reader.LastRecordOffset));
    }
    previous = codes;

    if (e.Phases.empty()) continue;
    Match now = Compare(e.Phases[phase], e, codes, reader.Record);
    if (now.All()) {
      seen[phase] = true;
      continue;
    }
    Match next = {false, false, false};
    if (phase + 1 < e.Phases.size()) next = Compare(e.Phases[phase + 1], e, codes, reader.Record);
    if (next.All()) {
      seen[++phase] = true;
    } else if (!(now.Picture || next.Picture) || !(now.Cursor || next.Cursor) || !(now.Button || next.Button)) {
      Problem("record %d (phase %zu): picture %s, cursor %d,%d, button %u", records, phase + 1,
              now.Picture ? "of the phase" : next.Picture ? "of the next phase" : "unknown", reader.Record.CursorX,
              reader.Record.CursorY, reader.Record.Button);
      return;
    }
  }
  if (reader.LastStatus != RecordEnd) {
    Problem("the records end without an end record (status %d)", reader.LastStatus);
    return;
  }
  uint32_t endOfRecords = reader.LastRecordOffset + FrameHeaderSize;
  if (endOfRecords + TrailerSize != movie.size())
    Problem("the trailer does not follow the end record: %zu bytes after it", movie.size() - endOfRecords);
  if (reader.Record.Button != last.Button || reader.Record.CursorX != last.CursorX ||
      reader.Record.CursorY != last.CursorY)
    Problem("end record: button %u cursor %d,%d, last frame: %u %d,%d", reader.Record.Button,
            reader.Record.CursorX, reader.Record.CursorY, last.Button, last.CursorX, last.CursorY);
  for (size_t k = 0; k < seen.size(); k++)
    if (!seen[k]) Problem("no frame shows phase %zu whole", k + 1);
  // Two phases with the same picture in a row give at least two equal frames in a row.
  for (size_t k = 1; k < e.Phases.size(); k++)
    if (e.Phases[k].Picture == e.Phases[k - 1].Picture && unchanged == 0)
      Problem("no unchanged frame record, though the picture stood still");
  if (e.Phases.empty() && (records != 0 || movie.size() != 20691))
    Problem("stopped before the first tick: %d records and %zu bytes, not 0 and 20691", records, movie.size());
  if (!e.Phases.empty() && records < (int32_t)e.Phases.size()) Problem("only %d frame records", records);
  CheckTrailer(movie, e, records);
  printf("%d frame records, %d unchanged, %zu bytes\n", records, unchanged, movie.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: capture_check PLAYER.exe MOVIE.exe EXPECT.txt\n");
    return 2;
  }
  std::vector<uint8_t> player = ReadWholeFile(argv[1]), movie = ReadWholeFile(argv[2]);
  Expectation e;
  fprintf(stderr, "%s:\n", argv[2]);
  if (!ReadExpectation(argv[3], &e)) Problem("no expectations in %s", argv[3]);
  if (player.size() != StubLength) Problem("the player is %zu bytes, not the stub length", player.size());
  if (movie.size() < FirstRecordOffset + FrameHeaderSize + TrailerSize) Problem("the movie is only %zu bytes", movie.size());
  if (Problems) return 1;
  if (memcmp(movie.data(), player.data(), StubLength) != 0) Problem("the first %u bytes are not the player", StubLength);
  CheckHeader(movie, e);
  CheckRecords(movie, e);
  return Problems ? 1 : 0;
}
