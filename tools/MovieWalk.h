// MovieWalk: steps through the records of a movie with the core reader and checks each one, for
// every command of the movie tool.
//
// The walk takes every byte behind the movie header as records (the reader is given TrailerSize
// bytes of room past the end of the file), so that a movie cut off before its trailer still shows
// all of its complete records; the trailer is then looked for behind the end record. A walk stops at
// the end record or at the first problem.
#pragma once
#include <stdint.h>

#include <string>
#include <vector>

#include "Keys.h"
#include "Movie.h"
#include "Section.h"
#include "ToolFiles.h"

enum ProblemKind : uint8_t {
  ProblemNone,
  ProblemCutOff,         // the file ends inside a record or before the end record
  ProblemBadLength,      // PayloadLength negative (other than -1) or beyond the largest payload
  ProblemBadPayload,     // the payload does not unpack
  ProblemRunsOutside,    // a change run leaves the frame or the run list
  ProblemRunRules,       // runs out of order, too close, or not bounded by changed pixels
  ProblemBadButton,      // Button other than 0, 1, 2
  ProblemEndRecord,      // the end record does not repeat the last frame's cursor and button
  ProblemTrailerMissing, // the file ends less than a trailer behind the end record
  ProblemExtraBytes,     // bytes between the end record and the trailer
  ProblemFrameCount,     // FrameCount differs from the frame records
  ProblemTitle,          // the title is not NUL-terminated with zeros behind it, or ends in half a character
  ProblemHeader,         // the movie header disagrees with itself
  ProblemSection,        // the section's footer is there, but the section is damaged
  ProblemSteps,          // a step the recorder never writes (a cut record, no such frame or button)
  ProblemKeys,           // a key press the recorder never writes (a cut record, no such frame)
};

struct Problem {
  ProblemKind Kind = ProblemNone;
  uint64_t Offset = 0;   // file offset of the record (or trailer field) concerned
  int32_t Frame = 0;     // frame number of the record (1 = first), 0 when no record is concerned
  std::string Text;
};

enum StepResult { StepFrame, StepEnd, StepStopped };

// A step of the steps block (Section.h), its description as stored (GBK).
struct MovieStep {
  StepRecord Record;
  std::string Text;
  uint64_t Offset;  // file offset of its record
};

struct MovieWalk {
  InputFile Input;
  MovieReader Reader;
  std::vector<uint32_t> Frame;   // the decoded frame after the last applied record
  std::vector<uint8_t> Packed, RunList, Unpacked, Codes;
  bool CheckRules = true;        // also hold every run list to the encoder's rules
  uint32_t UnpackedLength = 0;   // with CheckRules: the last changed record's run list, in Unpacked

  int32_t Records = 0;           // sound frame records applied
  uint64_t RecordsEnd = 0;       // file offset behind the last sound frame record
  int32_t Changed = 0, Unchanged = 0;
  uint64_t PayloadBytes = 0;
  FrameHeader LastFrame{};       // header of the last sound frame record

  bool AtEnd = false;            // the end record was reached
  uint64_t EndOffset = 0;
  FrameHeader EndRecord{};
  Problem Stop;                  // why the walk stopped early (Kind None at the end record)
  Problem HeaderIssue;           // a movie header that plays but disagrees with itself

  // The section behind the end record, found and checked when the movie is opened, as players find
  // it; its offsets count Base, as the reader's do. Steps holds the steps block's readable steps, in
  // the order of the presses; StepsIssue says why the block ends before its last byte.
  SectionCheck SectionState{};
  MovieSection Section{};
  std::vector<SectionBlock> Blocks;
  std::vector<MovieStep> Steps;
  Problem StepsIssue;
  // The keys block as stored (its labels are read from it, Keys.h) and its whole records; KeysAt is
  // the file offset of its data, 0 when the movie has none.
  std::vector<uint8_t> KeysBlock;
  std::vector<KeyRecord> Keys;
  uint64_t KeysAt = 0;

  // Opens a movie executable (stream = false) or a bare movie stream (stream = true). On failure the
  // error says why the file is no movie.
  bool Open(const std::string& path, bool stream, std::string* error);
  // Reads, checks and applies the next record.
  StepResult Step();
  // Walks to the end record or the first problem.
  void Finish();
  // After the end record: the trailer, FrameCount, title and end record checks. Empty Kind when
  // the movie is well-formed behind its records.
  Problem CheckTail();
  // The trailer as stored (at the end of the file); false when the file has no room for one.
  bool ReadTrailer(MovieTrailer* trailer);
  // The trailer as the file's last bytes claim it before the walk has checked it, for a progress
  // line's frame count and a video's title: all zero unless it looks like a trailer.
  MovieTrailer ClaimedTrailer();
  // The section's blocks behind *block (Offset 0: the first) in a span of the file, for repair, which
  // looks for blocks where their footer is lost.
  bool NextBlock(const MovieSection& span, SectionBlock* block);
  // A block's data, read whole; false when the file cannot give it.
  bool ReadBlock(const SectionBlock& block, std::vector<uint8_t>* data);
  // The steps of a steps block's data; *problem says where a record that does not fit begins.
  void ParseSteps(const SectionBlock& block, const std::vector<uint8_t>& data, std::vector<MovieStep>* steps,
                  Problem* problem);
  // The whole key records of a keys block's data.
  static std::vector<KeyRecord> ParseKeys(const std::vector<uint8_t>& data);
  // What is wrong with the section, its steps or its keys for a movie of Records frames, checked after the
  // walk: Kind None when it is as the recorder writes it, or when there is none.
  Problem CheckSection();
  // File offset of the movie stream's start (the movie header).
  uint64_t StreamStart() const { return StubLength - Input.Base; }
  // Converts a reader position (which counts Base) into an offset in the file.
  uint64_t FileOffset(uint64_t position) const { return position - Input.Base; }

 private:
  Problem Damage(ProblemKind kind, uint64_t offset, std::string text);
  bool CheckRunList(uint64_t offset, uint32_t length, Problem* problem);
  void ReadSection();
};

std::string DescribeProblem(const Problem& problem);
// A block's tag as its four characters, or in hexadecimal when they are not printable.
std::string TagText(uint32_t tag);
bool TagIsText(uint32_t tag);
