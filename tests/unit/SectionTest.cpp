// The section of blocks behind the end record: written and found again, steps read back, and every
// kind of damage to it (cut, lying lengths, a footer that lies, no end record in front) makes it count
// as absent while the frames still play to their end.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "Section.h"
#include "TestSupport.h"

namespace {

using Blocks = std::vector<std::pair<uint32_t, std::vector<uint8_t>>>;

std::vector<uint32_t> Solid(uint32_t colour) { return std::vector<uint32_t>(5 * 3, colour); }

// A 5 x 3 movie of three frames, finished plainly or with a section.
std::vector<uint8_t> Movie(const Blocks* blocks) {
  TestWriter w(5, 3, "section");
  w.Frame(Solid(0xFFFFFF), 1, 2, 2);
  w.Frame(Solid(0xFFFFFF));
  w.Frame(Solid(0x0000FF), 2, -4, 9);
  return blocks ? w.FinishWithSection(*blocks) : w.Finish();
}

std::vector<uint8_t> StepsBlock() {
  std::vector<uint8_t> data(2 * StepSize(MaxStepText));
  StepRecord first{2, 40, StepLeft, 0, 3, 1, 0};
  StepRecord second{3, 0, StepRight, StepDouble, -7, 12, 0};
  // "左键单击“保存”(按钮)" in GBK.
  const char* text = "\xD7\xF3\xBC\xFC\xB5\xA5\xBB\xF7\xA1\xB0\xB1\xA3\xB4\xE6\xA1\xB1(\xB0\xB4\xC5\xA5)";
  uint32_t used = PutStep(data.data(), &first, text, (uint32_t)strlen(text));
  used += PutStep(data.data() + used, &second, "", 0);
  data.resize(used);
  return data;
}

struct Found {
  bool Present;
  MovieSection Section;
  int32_t FramesPlayed;
  RecordStatus End;
};

Found Look(std::vector<uint8_t> bytes) {
  MemoryFile file;
  file.Bytes = std::move(bytes);
  Found found{};
  MovieSource source = file.Source();
  found.Present = FindMovieSection(&source, &found.Section);
  TestReader reader;
  EXPECT_TRUE(reader.Open(&file));
  EXPECT_EQ(reader.Reader.Section.Length, found.Section.Length);
  while (AdvanceMovieReader(&reader.Reader) >= 0) {
  }
  found.FramesPlayed = reader.Reader.CurrentFrame;
  found.End = reader.Reader.LastStatus;
  return found;
}

TEST(SectionTest, NoBlocksLeavesTheMovieAsItWas) {
  Blocks none;
  EXPECT_EQ(Movie(nullptr), Movie(&none));
  Found found = Look(Movie(nullptr));
  EXPECT_FALSE(found.Present);
  EXPECT_EQ(found.Section.Length, 0u);
  EXPECT_EQ(found.FramesPlayed, 3);
}

TEST(SectionTest, BlocksAreFoundByTagAndStepsReadBack) {
  Blocks blocks{{SectionTag('X', 'Y', 'Z', '1'), std::vector<uint8_t>(300, 0xAB)},
                {TagSteps, StepsBlock()},
                {SectionTag('E', 'M', 'T', 'Y'), {}}};
  std::vector<uint8_t> bytes = Movie(&blocks);
  std::vector<uint8_t> plain = Movie(nullptr);
  ASSERT_EQ(bytes.size(), plain.size() + 3 * BlockHeaderSize + 300 + StepsBlock().size() + SectionFooterSize);
  // Everything up to the end record is the plain movie's.
  size_t endOfRecords = plain.size() - TrailerSize;
  EXPECT_TRUE(std::equal(plain.begin(), plain.begin() + endOfRecords, bytes.begin()));

  Found found = Look(bytes);
  ASSERT_TRUE(found.Present);
  EXPECT_EQ(found.Section.Start, endOfRecords);
  EXPECT_EQ(found.FramesPlayed, 3);
  EXPECT_EQ(found.End, RecordEnd);

  MemoryFile file;
  file.Bytes = bytes;
  MovieSource source = file.Source();
  SectionBlock block;
  ASSERT_TRUE(FindSectionBlock(&source, &found.Section, TagSteps, &block));
  ASSERT_EQ(block.Length, StepsBlock().size());
  std::vector<uint8_t> data(block.Length);
  ASSERT_TRUE(ReadSectionBlock(&source, &block, data.data()));
  EXPECT_EQ(data, StepsBlock());
  uint32_t at = 0;
  StepRecord step;
  const char* text;
  ASSERT_TRUE(NextStep(data.data(), block.Length, &at, &step, &text));
  EXPECT_EQ(step.Frame, 2u);
  EXPECT_EQ(step.Lead, 40);
  EXPECT_EQ(step.Button, StepLeft);
  EXPECT_EQ(std::string(text, step.TextLength).substr(0, 4), "\xD7\xF3\xBC\xFC");
  ASSERT_TRUE(NextStep(data.data(), block.Length, &at, &step, &text));
  EXPECT_EQ(step.Flags, StepDouble);
  EXPECT_EQ(step.X, -7);
  EXPECT_EQ(step.TextLength, 0);
  EXPECT_FALSE(NextStep(data.data(), block.Length, &at, &step, &text));
  ASSERT_TRUE(FindSectionBlock(&source, &found.Section, SectionTag('E', 'M', 'T', 'Y'), &block));
  EXPECT_EQ(block.Length, 0u);
  EXPECT_FALSE(FindSectionBlock(&source, &found.Section, SectionTag('N', 'O', 'N', 'E'), &block));
}

TEST(SectionTest, StepTextIsCutOnACharacterBoundary) {
  std::string text(MaxStepText - 1, 'a');
  text += "\xB1\xA3";  // a two-byte character across the limit
  std::vector<uint8_t> out(StepSize((uint32_t)text.size()));
  StepRecord step{1, 0, StepMiddle, 0, 0, 0, 0};
  uint32_t used = PutStep(out.data(), &step, text.data(), (uint32_t)text.size());
  EXPECT_EQ(used, sizeof(StepRecord) + MaxStepText - 1);
  uint32_t at = 0;
  const char* back;
  ASSERT_TRUE(NextStep(out.data(), used, &at, &step, &back));
  EXPECT_EQ(step.TextLength, MaxStepText - 1);
}

TEST(SectionTest, AStepThatDoesNotFitEndsTheList) {
  std::vector<uint8_t> data = StepsBlock();
  uint32_t at = 0;
  StepRecord step;
  const char* text;
  // Cut inside the first record's text, and inside the second record's header.
  EXPECT_FALSE(NextStep(data.data(), sizeof(StepRecord) + 3, &at, &step, &text));
  EXPECT_EQ(at, 0u);
  uint32_t second = StepSize(20);
  ASSERT_TRUE(NextStep(data.data(), second + 5, &at, &step, &text));
  EXPECT_FALSE(NextStep(data.data(), second + 5, &at, &step, &text));
  at = 0xFFFFFFF0u;
  EXPECT_FALSE(NextStep(data.data(), (uint32_t)data.size(), &at, &step, &text));
}

// Each kind of damage, made on a movie with a 300-byte block and a steps block.
struct Damage {
  const char* Name;
  void (*Make)(std::vector<uint8_t>& bytes, size_t footer);
  SectionStatus Says;         // what CheckMovieSection tells the movie tool
  bool EndRecordKept = true;  // false where the damage reaches the end record itself
};

void PutLength(std::vector<uint8_t>& bytes, size_t footer, uint64_t length) {
  memcpy(bytes.data() + footer, &length, 8);
}

const Damage Damages[] = {
    {"magic changed", [](std::vector<uint8_t>& b, size_t f) { b[f + 15] ^= 1; }, SectionAbsent},
    {"section longer than the file", [](std::vector<uint8_t>& b, size_t f) { PutLength(b, f, f + 1000); },
     SectionBadLength},
    {"section length huge", [](std::vector<uint8_t>& b, size_t f) { PutLength(b, f, ~0ull); }, SectionBadLength},
    {"section length zero", [](std::vector<uint8_t>& b, size_t f) { PutLength(b, f, 0); }, SectionBadLength},
    {"section one byte short", [](std::vector<uint8_t>& b, size_t f) {
       uint64_t l;
       memcpy(&l, b.data() + f, 8);
       PutLength(b, f, l - 1);
     },
     SectionNoEndRecord},
    {"section one byte long", [](std::vector<uint8_t>& b, size_t f) {
       uint64_t l;
       memcpy(&l, b.data() + f, 8);
       PutLength(b, f, l + 1);
     },
     SectionNoEndRecord},
    {"first block's length past the footer", [](std::vector<uint8_t>& b, size_t f) {
       uint64_t l;
       memcpy(&l, b.data() + f, 8);
       uint32_t huge = 0xFFFFFFF0u;
       memcpy(b.data() + f - l + 4, &huge, 4);
     },
     SectionBadBlocks},
    {"no end record in front", [](std::vector<uint8_t>& b, size_t f) {
       uint64_t l;
       memcpy(&l, b.data() + f, 8);
       b[f - l - 1] = 0;
     },
     SectionNoEndRecord, false},
    {"section cut off with the trailer kept", [](std::vector<uint8_t>& b, size_t f) {
       b.erase(b.begin() + (long)f - 100, b.begin() + (long)f);
     },
     SectionBadLength},  // the section would now begin in front of the first record
};

TEST(SectionTest, DamageMakesTheSectionAbsentAndTheFramesStillPlay) {
  Blocks blocks{{SectionTag('X', 'Y', 'Z', '1'), std::vector<uint8_t>(300, 0xAB)}, {TagSteps, StepsBlock()}};
  const std::vector<uint8_t> good = Movie(&blocks);
  size_t footer = good.size() - TrailerSize - SectionFooterSize;
  for (const Damage& damage : Damages) {
    SCOPED_TRACE(damage.Name);
    std::vector<uint8_t> bytes = good;
    damage.Make(bytes, footer);
    Found found = Look(bytes);
    EXPECT_FALSE(found.Present);
    EXPECT_EQ(found.Section.Start, bytes.size() - TrailerSize);
    MemoryFile file;
    file.Bytes = bytes;
    MovieSource source = file.Source();
    MovieSection section;
    EXPECT_EQ((int)CheckMovieSection(&source, &section).Status, (int)damage.Says);
    EXPECT_EQ(found.FramesPlayed, 3);
    if (damage.EndRecordKept) EXPECT_EQ(found.End, RecordEnd);
  }
}

TEST(SectionTest, AMovieOfExactlyHeaderEndRecordAndTrailerHasNoSection) {
  TestWriter w(1, 1);
  Found found = Look(w.Finish());
  EXPECT_FALSE(found.Present);
  EXPECT_EQ(found.FramesPlayed, 0);
  // The smallest section: one empty block behind a movie of no frames.
  TestWriter small(1, 1);
  Blocks empty{{SectionTag('E', 'M', 'T', 'Y'), {}}};
  found = Look(small.FinishWithSection(empty));
  EXPECT_TRUE(found.Present);
  EXPECT_EQ(found.Section.Length, BlockHeaderSize);
  EXPECT_EQ(found.FramesPlayed, 0);
}

TEST(SectionTest, EveryBlockIsWalkedInOrderAndCheckedWhereDamageIs) {
  Blocks blocks{{SectionTag('X', 'Y', 'Z', '1'), std::vector<uint8_t>(300, 0xAB)},
                {TagSteps, StepsBlock()},
                {SectionTag('E', 'M', 'T', 'Y'), {}}};
  std::vector<uint8_t> bytes = Movie(&blocks);
  MemoryFile file;
  file.Bytes = bytes;
  MovieSource source = file.Source();
  MovieSection section;
  SectionCheck check = CheckMovieSection(&source, &section);
  ASSERT_EQ(check.Status, SectionFound);
  EXPECT_EQ(check.Claimed, section.Length);
  SectionBlock block{0, 0, 0};
  uint64_t at = section.Start;
  for (const auto& expected : blocks) {
    ASSERT_TRUE(NextSectionBlock(&source, &section, &block));
    EXPECT_EQ(block.Tag, expected.first);
    EXPECT_EQ(block.Length, expected.second.size());
    EXPECT_EQ(block.Offset, at + BlockHeaderSize);
    at = block.Offset + block.Length;
  }
  EXPECT_FALSE(NextSectionBlock(&source, &section, &block));
  // A span cut inside the second block: the first is whole, the second does not fit.
  MovieSection cut{section.Start, BlockHeaderSize + 300 + BlockHeaderSize + 5};
  block = SectionBlock{0, 0, 0};
  ASSERT_TRUE(NextSectionBlock(&source, &cut, &block));
  EXPECT_FALSE(NextSectionBlock(&source, &cut, &block));
  EXPECT_EQ(block.Tag, SectionTag('X', 'Y', 'Z', '1'));
  // A block length that reaches past the footer is found at its header; one a byte too long is
  // found where the blocks behind it, read out of step, stop fitting.
  uint64_t start = section.Start;
  for (uint32_t length : {0xFFFFu, 301u}) {
    std::vector<uint8_t> lying = bytes;
    memcpy(lying.data() + start + 4, &length, 4);
    file.Bytes = lying;
    check = CheckMovieSection(&source, &section);
    EXPECT_EQ(check.Status, SectionBadBlocks) << length;
    EXPECT_EQ(check.At > start, length == 301u) << check.At;
  }
}

TEST(SectionTest, RingsShowForASecondFromThePress) {
  struct Case {
    uint32_t Frame;
    uint16_t Lead;
    int32_t InFrame, Age;
  } cases[] = {
      {5, 0, 4, -1},   {5, 0, 5, 0},     {5, 0, 9, 800}, {5, 0, 10, -1},  // exactly 1000 ms: gone
      {5, 199, 5, 199}, {5, 199, 9, 999}, {5, 199, 10, -1}, {1, 60000, 1, -1},
      {0xFFFFFFFFu, 0, INT32_MAX, -1},
  };
  for (const Case& c : cases) {
    StepRecord step{c.Frame, c.Lead, StepLeft, 0, 0, 0, 0};
    EXPECT_EQ(StepRingAge(&step, c.InFrame), c.Age) << c.Frame << " " << c.Lead << " in " << c.InFrame;
  }
}

// Pixels of a ring: its colour at full strength on the circle at the start, nothing at the centre,
// fading and growing with age, a second ring inside for a double-click, and cut at the frame's edges
// wherever the press lies.
TEST(SectionTest, RingsAreDrawnAroundThePressInTheButtonsColour) {
  const int32_t w = 64, h = 48;
  auto draw = [&](StepRecord step, int32_t age) {
    std::vector<uint32_t> frame((size_t)w * h, 0x000000);
    DrawStepRing(frame.data(), w, h, &step, age);
    return frame;
  };
  auto at = [&](const std::vector<uint32_t>& f, int32_t x, int32_t y) { return f[(size_t)y * w + x]; };
  std::vector<uint32_t> left = draw({1, 0, StepLeft, 0, 30, 20, 0}, 0);
  EXPECT_EQ(at(left, 30 + RingRadius, 20), 0xFF0000u);
  EXPECT_EQ(at(left, 30, 20 - RingRadius), 0xFF0000u);
  EXPECT_EQ(at(left, 30, 20), 0u);
  EXPECT_EQ(at(left, 30 + RingRadius - 5, 20), 0u);
  EXPECT_EQ(at(draw({1, 0, StepRight, 0, 30, 20, 0}, 0), 30 - RingRadius, 20), 0x00FF00u);
  EXPECT_EQ(at(draw({1, 0, StepMiddle, 0, 30, 20, 0}, 0), 30, 20 + RingRadius), 0x0080FFu);
  std::vector<uint32_t> twice = draw({1, 0, StepLeft, StepDouble, 30, 20, 0}, 0);
  EXPECT_EQ(at(twice, 30 + RingRadius - 5, 20), 0xFF0000u);
  // Half a second on: larger by 6 pixels and half faded.
  std::vector<uint32_t> older = draw({1, 0, StepLeft, 0, 30, 20, 0}, 500);
  EXPECT_EQ(at(older, 30 + RingRadius + 6, 20), 0x7F0000u);
  EXPECT_EQ(at(older, 30 + RingRadius - 3, 20), 0u);
  EXPECT_EQ(draw({1, 0, StepLeft, 0, 30, 20, 0}, RingMs), std::vector<uint32_t>((size_t)w * h, 0));
  // At a corner only its quarter inside shows; far outside, or at the extremes of the numbers, nothing.
  std::vector<uint32_t> corner = draw({1, 0, StepLeft, 0, -1, -1, 0}, 0);
  EXPECT_EQ(at(corner, RingRadius - 1, 0), 0xFF0000u);
  EXPECT_EQ(at(corner, w - 1, h - 1), 0u);
  for (int32_t x : {INT32_MIN, -100, 200, INT32_MAX})
    EXPECT_EQ(draw({1, 0, StepLeft, 0, x, x, 0}, 0), std::vector<uint32_t>((size_t)w * h, 0)) << x;
}

}  // namespace
