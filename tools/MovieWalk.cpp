#include "MovieWalk.h"

#include <stdio.h>
#include <string.h>

#include "Codec.h"
#include "CodecRules.h"
#include "LZO.h"
#include "Section.h"

namespace {

uint32_t LoadU32(const uint8_t* p) {
  uint32_t v;
  memcpy(&v, p, 4);
  return v;
}

std::string Num(int64_t v) { return std::to_string(v); }

// Why OpenMovieReader turned a header with "BM" down, in the terms of its fields.
std::string ExplainHeader(const MovieHeader& header) {
  const BitmapInfoHeader& info = header.Info.Header;
  if (header.File.bfOffBits != MovieHeaderSize)
    return "bfOffBits is " + Num(header.File.bfOffBits) + ", not 66: the frame records would not follow the header";
  if (header.File.bfReserved1 != Depth256 && header.File.bfReserved1 != DepthTrueColour)
    return "the colour depth (bfReserved1) is " + Num(header.File.bfReserved1) +
           ": neither 0 (256 colours) nor 24 (true colour)";
  if (info.biSize != 40) return "biSize is " + Num(info.biSize) + ", not 40";
  if (info.biBitCount != 32)
    return "the frames are " + Num(info.biBitCount) + " bits per pixel; movies hold 32-bit frames";
  if (info.biCompression != 0 && info.biCompression != 3)
    return "biCompression is " + Num(info.biCompression) + ": neither BI_RGB nor BI_BITFIELDS";
  if (info.biWidth <= 0) return "the frame width " + Num(info.biWidth) + " is not positive";
  if (info.biHeight >= 0)
    return "biHeight is " + Num(info.biHeight) + ": movie frames are top-down, with a negative height";
  uint64_t n = (uint64_t)(uint32_t)info.biWidth * (uint64_t)(uint32_t)(-(int64_t)info.biHeight);
  if (n > MaxFramePixels)
    return "the frame of " + Num(info.biWidth) + " x " + Num(-(int64_t)info.biHeight) + " pixels is larger than any screen";
  if (info.biSizeImage != n * 4)
    return "biSizeImage is " + Num(info.biSizeImage) + ", not " + Num(n * 4) + " (4 bytes per pixel)";
  return "the movie header cannot be played";
}

}  // namespace

bool TagIsText(uint32_t tag) {
  for (int shift = 0; shift < 32; shift += 8)
    if ((tag >> shift & 0xFF) < 0x20 || (tag >> shift & 0xFF) > 0x7E) return false;
  return true;
}

std::string TagText(uint32_t tag) {
  if (!TagIsText(tag)) {
    char hex[16];
    snprintf(hex, sizeof hex, "0x%08X", tag);
    return hex;
  }
  return std::string{(char)tag, (char)(tag >> 8), (char)(tag >> 16), (char)(tag >> 24)};
}

std::string DescribeProblem(const Problem& problem) {
  std::string text = "offset " + Num(problem.Offset);
  if (problem.Frame > 0) text += " (frame " + Num(problem.Frame) + ")";
  return text + ": " + problem.Text;
}

Problem MovieWalk::Damage(ProblemKind kind, uint64_t offset, std::string text) {
  Problem problem;
  problem.Kind = kind;
  problem.Offset = offset;
  problem.Frame = Records + 1;
  problem.Text = std::move(text);
  return problem;
}

bool MovieWalk::Open(const std::string& path, bool stream, std::string* error) {
  if (!Input.Open(path, error)) return false;
  Input.Base = stream ? StubLength : 0;
  const char* what = stream ? "movie stream" : "movie";
  char head[2] = {0, 0};
  Input.ReadAt(0, head, 2);
  const char* streamHint = "; it looks like a bare movie stream: wrap makes a movie of it";
  if ((uint64_t)Input.Size + Input.Base < FirstRecordOffset) {
    *error = path + ": not a " + what + ": " + Num(Input.Size) + " bytes is too short (" +
             (stream ? "the movie header alone is 66 bytes)"
                     : "the player and the movie header alone are 20546 bytes)");
    if (!stream && head[0] == 'B' && head[1] == 'M') *error += streamHint;
    return false;
  }
  MovieHeader header;
  if (!Input.ReadAt(StreamStart(), &header, MovieHeaderSize)) {
    *error = path + ": cannot read: " + SystemError();
    return false;
  }
  if (header.File.bfType != BitmapType) {
    if (stream) {
      *error = path + ": not a movie stream: it does not begin with \"BM\"";
      MovieHeader inner;
      if (head[0] == 'M' && head[1] == 'Z' && Input.ReadAt(StubLength, &inner, 2) &&
          inner.File.bfType == BitmapType)
        *error += " (it is a movie executable: unwrap takes the stream out of it)";
    } else {
      *error = path + ": not a movie: no movie stream at offset " + Num(StubLength) + " (no \"BM\" there)";
      if (head[0] == 'B' && head[1] == 'M') *error += streamHint;
      else if (head[0] == 'M' && head[1] == 'Z') *error += "; it is a program without a recording behind it";
    }
    return false;
  }
  MovieSource source = Input.Source(TrailerSize);
  if (!OpenMovieReader(&Reader, &source)) {
    *error = path + ": not a playable " + std::string(what) + ": " + ExplainHeader(header);
    return false;
  }
  uint32_t n = Reader.PixelCount;
  Frame.assign(n, 0);
  Packed.assign(Reader.PackedSize, 0);
  RunList.assign(Reader.RunListSize, 0);
  Unpacked.assign(Reader.RunListSize, 0);
  Codes.assign((size_t)n * Reader.PixelBytes, 0);
  Reader.FramePixels = Frame.data();
  Reader.Packed = Packed.data();
  Reader.RunList = RunList.data();
  RecordsEnd = FileOffset(FirstRecordOffset);
  ReadSection();

  const BitmapInfoHeader& info = header.Info.Header;
  // Read through the packed record, never through a pointer: the masks sit at odd host addresses.
  uint32_t masks[3] = {header.Info.Masks[0], header.Info.Masks[1], header.Info.Masks[2]};
  if (header.File.bfSize != MovieHeaderSize + info.biSizeImage) {
    HeaderIssue.Kind = ProblemHeader;
    HeaderIssue.Offset = StreamStart() + 2;
    HeaderIssue.Text = "bfSize is " + Num(header.File.bfSize) + ", not 66 + biSizeImage = " +
                       Num((uint64_t)MovieHeaderSize + info.biSizeImage);
  } else if (info.biCompression == 3 && (masks[0] != 0xFF0000 || masks[1] != 0xFF00 || masks[2] != 0xFF)) {
    HeaderIssue.Kind = ProblemHeader;
    HeaderIssue.Offset = StreamStart() + 54;
    HeaderIssue.Text = "the colour masks are not red 0xFF0000, green 0xFF00, blue 0xFF: the colours would be wrong";
  }
  return true;
}

// ---- The section -------------------------------------------------------------------------------------

void MovieWalk::ReadSection() {
  // The whole file, without the walk's room for a missing trailer: the section is found from its end.
  MovieSource source = Input.Source(0);
  SectionState = CheckMovieSection(&source, &Section);
  SectionBlock block{0, 0, 0};
  while (SectionState.Status == SectionFound && NextSectionBlock(&source, &Section, &block)) Blocks.push_back(block);
  std::vector<uint8_t> data;
  if (SectionState.Status == SectionFound && FindSectionBlock(&source, &Section, TagSteps, &block)) {
    if (ReadBlock(block, &data)) ParseSteps(block, data, &Steps, &StepsIssue);
  }
  if (SectionState.Status == SectionFound && FindSectionBlock(&source, &Section, TagKeys, &block) &&
      ReadBlock(block, &KeysBlock)) {
    Keys = ParseKeys(KeysBlock);
    KeysAt = FileOffset(block.Offset);
  }
  // The reader goes on from its own place.
  Reader.Source.Seek(Reader.Source.Context, Reader.Position);
}

bool MovieWalk::NextBlock(const MovieSection& span, SectionBlock* block) {
  MovieSource source = Input.Source(0);
  return NextSectionBlock(&source, &span, block);
}

bool MovieWalk::ReadBlock(const SectionBlock& block, std::vector<uint8_t>* data) {
  data->resize(block.Length);
  return block.Length == 0 || Input.ReadAt(FileOffset(block.Offset), data->data(), block.Length);
}

void MovieWalk::ParseSteps(const SectionBlock& block, const std::vector<uint8_t>& data, std::vector<MovieStep>* steps,
                           Problem* problem) {
  uint32_t at = 0, length = (uint32_t)data.size();
  StepRecord record;
  const char* text;
  for (uint32_t before = at; NextStep(data.data(), length, &at, &record, &text); before = at)
    steps->push_back(MovieStep{record, std::string(text, record.TextLength), FileOffset(block.Offset) + before});
  if (at == length) return;
  problem->Kind = ProblemSteps;
  problem->Offset = FileOffset(block.Offset) + at;
  problem->Text = "step " + Num((int64_t)steps->size() + 1) + " does not fit in the " + Num(length - at) +
                  " bytes left of the steps block: the steps from it on are lost";
}

std::vector<KeyRecord> MovieWalk::ParseKeys(const std::vector<uint8_t>& data) {
  std::vector<KeyRecord> keys;
  uint32_t at = 0;
  KeyRecord key;
  while (NextKey(data.data(), (uint32_t)data.size(), &at, &key)) keys.push_back(key);
  return keys;
}

Problem MovieWalk::CheckSection() {
  Problem problem;
  problem.Offset = FileOffset(SectionState.At);
  const std::string claimed = Num(SectionState.Claimed);
  switch (SectionState.Status) {
    case SectionAbsent:
      return problem;
    case SectionBadLength:
      problem.Text = "the section footer gives the section " + claimed +
                     " bytes, which do not fit between the records and the footer";
      break;
    case SectionNoEndRecord:
      problem.Text = "the section footer puts the section's start " + claimed +
                     " bytes in front of it, here, but no end record lies right in front of that";
      break;
    case SectionBadBlocks:
      problem.Text = "the blocks do not fill the " + claimed + " bytes the section footer gives them: the block here "
                     "runs past the footer, or is cut short";
      break;
    case SectionFound:
      if (StepsIssue.Kind != ProblemNone) return StepsIssue;
      for (size_t i = 0; i < Steps.size(); i++) {
        const StepRecord& r = Steps[i].Record;
        problem.Offset = Steps[i].Offset;
        std::string step = "step " + Num((int64_t)i + 1);
        if (r.Button < StepLeft || r.Button > StepMiddle)
          problem.Text = step + " has button " + Num(r.Button) + "; only 1 (left), 2 (right) and 3 (middle) are defined";
        else if (r.Flags & ~StepDouble)
          problem.Text = step + " has flags " + Num(r.Flags) + "; only 1 (double-click) is defined";
        else if (r.Frame < 1 || r.Frame > (uint32_t)Records)
          problem.Text = step + " belongs to frame " + Num(r.Frame) + ", but the movie has frames 1 to " + Num(Records);
        else if (i > 0 && r.Frame < Steps[i - 1].Record.Frame)
          problem.Text = step + " (frame " + Num(r.Frame) + ") comes after step " + Num((int64_t)i) + " (frame " +
                         Num(Steps[i - 1].Record.Frame) + "): steps are in the order of the presses";
        else
          continue;
        problem.Kind = ProblemSteps;
        return problem;
      }
      for (size_t i = 0; i < Keys.size(); i++) {
        const KeyRecord& k = Keys[i];
        problem.Offset = KeysAt + i * sizeof(KeyRecord);
        std::string key = "key press " + Num((int64_t)i + 1);
        if (k.Frame < 1 || k.Frame > (uint32_t)Records)
          problem.Text = key + " belongs to frame " + Num(k.Frame) + ", but the movie has frames 1 to " + Num(Records);
        else if (i > 0 && k.Frame < Keys[i - 1].Frame)
          problem.Text = key + " (frame " + Num(k.Frame) + ") comes after key press " + Num((int64_t)i) + " (frame " +
                         Num(Keys[i - 1].Frame) + "): key presses are in the order of the presses";
        else
          continue;
        problem.Kind = ProblemKeys;
        return problem;
      }
      if (KeysBlock.size() % sizeof(KeyRecord)) {
        problem.Kind = ProblemKeys;
        problem.Offset = KeysAt + Keys.size() * sizeof(KeyRecord);
        problem.Text = "the keys block ends in " + Num(KeysBlock.size() % sizeof(KeyRecord)) +
                       " bytes that are no whole key press (12 bytes)";
        return problem;
      }
      return Problem();
  }
  problem.Kind = ProblemSection;
  problem.Text += "; players take the movie as one without a section";
  return problem;
}

// ---- Records ---------------------------------------------------------------------------------------

bool MovieWalk::CheckRunList(uint64_t offset, uint32_t length, Problem* problem) {
  int32_t unpacked = UnpackPayload(Packed.data(), length, Unpacked.data(), (uint32_t)Unpacked.size());
  if (unpacked < 0) {  // the reader unpacked the same bytes a moment ago
    *problem = Damage(ProblemBadPayload, offset, "the payload does not unpack");
    return false;
  }
  UnpackedLength = (uint32_t)unpacked;
  const uint8_t* list = Unpacked.data();
  uint32_t size = (uint32_t)unpacked, n = Reader.PixelCount, bytes = Reader.PixelBytes;
  if (!RunListFollowsRules(list, size, n, bytes)) {
    uint32_t q = 0, previousStart = 0, previousEnd = 0;
    bool first = true;
    while (q < size) {
      uint32_t start = LoadU32(list + q), count = LoadU32(list + q + 4);
      if (!first && start < previousEnd) {
        *problem = Damage(ProblemRunRules, offset,
                          "the run at pixel " + Num(start) + " overlaps or comes before the run at pixel " +
                              Num(previousStart) + "; runs are in ascending pixel order");
        return false;
      }
      if (!first && start - (previousEnd - 1) <= MaxGapInRun + 1) {
        *problem = Damage(ProblemRunRules, offset,
                          "the runs at pixels " + Num(previousStart) + " and " + Num(start) + " are only " +
                              Num(start - previousEnd) + " unchanged pixels apart; the encoder keeps runs apart by at least 32");
        return false;
      }
      first = false;
      previousStart = start;
      previousEnd = start + count;
      q += RunHeaderSize + count * bytes;
    }
    *problem = Damage(ProblemRunRules, offset, "the run list does not follow the encoder's rules");
    return false;
  }
  // Each run is bounded by pixels that really changed and carries at most 31 unchanged ones in a
  // row: Codes holds every pixel's code (or colour) before this record.
  uint8_t* codes = Codes.data();
  auto unchanged = [&](const uint8_t* run, uint32_t k, uint32_t pixel) {
    return memcmp(run + (size_t)k * bytes, codes + (size_t)pixel * bytes, bytes) == 0;
  };
  for (uint32_t q = 0; q < size;) {
    uint32_t start = LoadU32(list + q), count = LoadU32(list + q + 4);
    const uint8_t* run = list + q + RunHeaderSize;
    if (unchanged(run, 0, start)) {
      *problem = Damage(ProblemRunRules, offset,
                        "the run at pixel " + Num(start) + " begins on a pixel that did not change");
      return false;
    }
    if (unchanged(run, count - 1, start + count - 1)) {
      *problem = Damage(ProblemRunRules, offset,
                        "the run at pixel " + Num(start) + " ends on a pixel that did not change (pixel " +
                            Num(start + count - 1) + ")");
      return false;
    }
    uint32_t gap = 0;
    for (uint32_t k = 0; k < count; k++) {
      gap = unchanged(run, k, start + k) ? gap + 1 : 0;
      if (gap > MaxGapInRun) {
        *problem = Damage(ProblemRunRules, offset,
                          "the run at pixel " + Num(start) + " carries " + Num(MaxGapInRun + 1) +
                              " unchanged pixels in a row from pixel " + Num(start + k - MaxGapInRun) +
                              "; the encoder splits a run there");
        return false;
      }
    }
    q += RunHeaderSize + count * bytes;
  }
  for (uint32_t q = 0; q < size;) {
    uint32_t start = LoadU32(list + q), count = LoadU32(list + q + 4);
    memcpy(codes + (size_t)start * bytes, list + q + RunHeaderSize, (size_t)count * bytes);
    q += RunHeaderSize + count * bytes;
  }
  return true;
}

StepResult MovieWalk::Step() {
  if (AtEnd || Stop.Kind != ProblemNone) return AtEnd ? StepEnd : StepStopped;
  uint64_t at = Reader.Position;
  uint64_t offset = FileOffset(at);
  int32_t length = ReadNextRecord(&Reader);
  const FrameHeader& record = Reader.Record;
  uint32_t n = Reader.PixelCount;
  switch (Reader.LastStatus) {
    case RecordEnd:
      AtEnd = true;
      EndOffset = offset;
      EndRecord = record;
      return StepEnd;
    case RecordTruncated: {
      uint64_t left = Input.Size - offset;
      if (left == 0)
        Stop = Damage(ProblemCutOff, offset,
                      "the file ends after " + Num(Records) + " frame records without an end record and trailer (the recording was cut off)");
      else if (left < FrameHeaderSize)
        Stop = Damage(ProblemCutOff, offset,
                      "the file ends inside a record header: " + Num(left) + " of its 13 bytes are there");
      else
        Stop = Damage(ProblemCutOff, offset,
                      "the file ends inside the record: PayloadLength " + Num(record.PayloadLength) + ", but only " +
                          Num(left - FrameHeaderSize) + " payload bytes follow");
      return StepStopped;
    }
    case RecordBadLength:
      if (record.PayloadLength < 0)
        Stop = Damage(ProblemBadLength, offset,
                      "PayloadLength " + Num(record.PayloadLength) + " is negative (only the end record has -1)");
      else
        Stop = Damage(ProblemBadLength, offset,
                      "PayloadLength " + Num(record.PayloadLength) + " is larger than any payload of a " +
                          Num(Reader.FrameWidth) + " x " + Num(Reader.FrameHeight) + " frame (at most " +
                          Num(Reader.PackedSize) + " bytes)");
      return StepStopped;
    case RecordBadPayload:
      Stop = Damage(ProblemBadPayload, offset,
                    "the payload of " + Num(length) + " bytes is not valid LZO1X data, or unpacks to more than " +
                        Num(Reader.RunListSize) + " bytes");
      return StepStopped;
    case RecordBadRuns: {
      int32_t size = UnpackPayload(Packed.data(), (uint32_t)length, Unpacked.data(), (uint32_t)Unpacked.size());
      std::string text = "a change run lies outside the frame of " + Num(n) + " pixels";
      for (uint32_t q = 0; size > 0 && q < (uint32_t)size;) {
        if ((uint32_t)size - q < RunHeaderSize) {
          text = "the run list ends inside a run header at run-list byte " + Num(q);
          break;
        }
        uint32_t start = LoadU32(Unpacked.data() + q), count = LoadU32(Unpacked.data() + q + 4);
        if (count == 0) {
          text = "the run at pixel " + Num(start) + " has RunLength 0";
          break;
        }
        if (start > n || count > n - start) {
          text = "the run RunStart " + Num((int32_t)start) + ", RunLength " + Num((int32_t)count) +
                 " lies outside the frame of " + Num(n) + " pixels";
          break;
        }
        if ((uint64_t)count * Reader.PixelBytes > (uint32_t)size - q - RunHeaderSize) {
          text = "the run at pixel " + Num(start) + " has " + Num(count) + " pixels, more than its run list holds";
          break;
        }
        q += RunHeaderSize + count * Reader.PixelBytes;
      }
      Stop = Damage(ProblemRunsOutside, offset, text);
      return StepStopped;
    }
    case RecordChanged:
    case RecordUnchanged:
      break;
  }
  if (CheckRules) {
    if (record.Button > 2) {
      Stop = Damage(ProblemBadButton, offset, "Button is " + Num(record.Button) + "; only 0, 1 and 2 are defined");
      return StepStopped;
    }
    if (length > 0 && !CheckRunList(offset, (uint32_t)length, &Stop)) return StepStopped;
  }
  Records++;
  Reader.CurrentFrame = Records;
  RecordsEnd = FileOffset(Reader.Position);
  LastFrame = record;
  if (length > 0) {
    Changed++;
    PayloadBytes += (uint32_t)length;
  } else {
    Unchanged++;
  }
  return StepFrame;
}

void MovieWalk::Finish() {
  while (Step() == StepFrame) {
  }
}

bool MovieWalk::ReadTrailer(MovieTrailer* trailer) {
  if (Input.Size < FileOffset(FirstRecordOffset) + TrailerSize) return false;
  return Input.ReadAt(Input.Size - TrailerSize, trailer, TrailerSize);
}

MovieTrailer MovieWalk::ClaimedTrailer() {
  MovieTrailer trailer;
  if (!ReadTrailer(&trailer) || trailer.FrameCount < 0 || !memchr(trailer.MovieTitle, 0, TitleSize))
    memset(&trailer, 0, sizeof trailer);
  return trailer;
}

Problem MovieWalk::CheckTail() {
  Problem problem;
  if (!AtEnd) return Stop;
  // Without frame records, the writer's end record has button 0 at (0, 0), as LastFrame starts.
  if (EndRecord.Button != LastFrame.Button || EndRecord.CursorX != LastFrame.CursorX ||
      EndRecord.CursorY != LastFrame.CursorY) {
    problem.Kind = ProblemEndRecord;
    problem.Offset = EndOffset;
    problem.Text = "the end record has button " + Num(EndRecord.Button) + " at (" + Num(EndRecord.CursorX) + ", " +
                   Num(EndRecord.CursorY) + "), but " +
                   (Records ? "the last frame record has" : "a movie without frame records has") + " button " +
                   Num(LastFrame.Button) + " at (" + Num(LastFrame.CursorX) + ", " + Num(LastFrame.CursorY) + ")";
    return problem;
  }
  uint64_t tail = EndOffset + FrameHeaderSize;
  uint64_t have = Input.Size - tail;
  problem.Offset = tail;
  if (have < TrailerSize) {
    problem.Kind = ProblemTrailerMissing;
    problem.Text = have == 0 ? "the file ends right after the end record: the 132-byte trailer is missing"
                             : "the trailer is cut off: " + Num(have) + " of its 132 bytes are there";
    return problem;
  }
  // Bytes between the end record and the trailer are the section's, if there is one.
  if (have > TrailerSize && SectionState.Status != SectionAbsent) {
    Problem damage = CheckSection();
    if (damage.Kind == ProblemSection) return damage;
    if (FileOffset(Section.Start) != tail) {
      problem.Kind = ProblemSection;
      problem.Text = "the section begins at offset " + Num(FileOffset(Section.Start)) + ", not behind the end record";
      return problem;
    }
  } else if (have > TrailerSize) {
    problem.Kind = ProblemExtraBytes;
    problem.Text = Num(have - TrailerSize) + " unexpected bytes lie between the end record and the trailer";
    return problem;
  }
  MovieTrailer trailer;
  if (!ReadTrailer(&trailer)) {
    problem.Kind = ProblemTrailerMissing;
    problem.Text = "the trailer cannot be read: " + SystemError();
    return problem;
  }
  if (trailer.FrameCount != Records) {
    problem.Kind = ProblemFrameCount;
    problem.Text = "the trailer's FrameCount is " + Num(trailer.FrameCount) + ", but the movie has " + Num(Records) +
                   " frame records";
    return problem;
  }
  const char* title = trailer.MovieTitle;
  const char* zero = (const char*)memchr(title, 0, TitleSize);
  if (!zero) {
    problem.Kind = ProblemTitle;
    problem.Offset = tail + 4;
    problem.Text = "the title has no terminating zero within its 128 bytes";
    return problem;
  }
  for (const char* p = zero; p < title + TitleSize; p++) {
    if (*p) {
      problem.Kind = ProblemTitle;
      problem.Offset = tail + 4 + (uint64_t)(p - title);
      problem.Text = "the title field holds stray bytes behind the title's terminating zero";
      return problem;
    }
  }
  // The title as the writer writes it: never empty (an untitled movie gets the word for untitled), and
  // cut in whole characters (a lead byte without its second byte is cut off by every program that
  // shows the title, and by repair).
  MovieTrailer written;
  BuildMovieTrailer(&written, title);
  if (memcmp(written.MovieTitle, title, TitleSize) != 0) {
    problem.Kind = ProblemTitle;
    problem.Offset = tail + 4 + (uint64_t)(zero > title ? zero - title - 1 : 0);
    problem.Text = title[0] ? "the title ends in half a character (a GBK lead byte without its second byte)"
                            : "the title is empty; the writer calls an untitled movie untitled (无标题)";
    return problem;
  }
  return CheckSection();
}
