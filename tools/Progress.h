// Progress: "frame k of n" on standard error while a command works through a long movie, so that
// converting an hour of recording visibly moves. Work that is done within a second shows nothing,
// and nothing ever goes to standard output, which may be carrying raw frames or a report.
//
//   Progress progress("writing demo.mp4", frameCount);   // frameCount 0: not known
//   for (...) progress.Frame(k);                          // cheap: one look at the clock
//   progress.Finish();
#pragma once
#include <stdint.h>
#include <stdio.h>

#include <chrono>
#include <string>

struct Progress {
  Progress(const std::string& what, int32_t total);
  ~Progress() { Finish(); }
  void Frame(int32_t done);
  // Ends the line a terminal was being shown (also when the work stopped half-way).
  void Finish();

 private:
  using Clock = std::chrono::steady_clock;
  std::string What;
  int32_t Total;
  bool Terminal;                 // standard error is a terminal: one line rewritten in place
  Clock::time_point Started, NextShow;
  bool Shown = false;            // something was written, so Finish owes a line end
};
