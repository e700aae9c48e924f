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

#include "Movie.h"
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
  ProblemTitle,          // the title is not NUL-terminated with zeros behind it
  ProblemHeader,         // the movie header disagrees with itself
};

struct Problem {
  ProblemKind Kind = ProblemNone;
  uint64_t Offset = 0;   // file offset of the record (or trailer field) concerned
  int32_t Frame = 0;     // frame number of the record (1 = first), 0 when no record is concerned
  std::string Text;
};

enum StepResult { StepFrame, StepEnd, StepStopped };

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
  // File offset of the movie stream's start (the movie header).
  uint64_t StreamStart() const { return StubLength - Input.Base; }
  // Converts a reader position (which counts Base) into an offset in the file.
  uint64_t FileOffset(uint64_t position) const { return position - Input.Base; }

 private:
  Problem Damage(ProblemKind kind, uint64_t offset, std::string text);
  bool CheckRunList(uint64_t offset, uint32_t length, Problem* problem);
};

std::string DescribeProblem(const Problem& problem);
