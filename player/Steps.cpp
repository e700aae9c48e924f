// Steps: the presses the recorder kept in the movie's steps block (format/Section.h), read at the
// open. Each shows as a ring around its point, in its button's colour, that widens and thins out over
// the first second of movie time from the press, which may lie between two frames (the step's Lead). Page Down and Page Up
// go to the next and the previous step's frame and pause there, with the step's number and
// description in the caption.
#include "Player.h"

#include "Texts.h"

static uint8_t* StepBlock;        // null when the movie has no steps
static uint32_t StepBlockLength;  // 0 also when the block could not be read

// The ring grows as the core draws it for the page and the exports (format/Section.h), in the
// button's colour; GDI cannot mix it in fading, so its pen gets a pixel thinner every 256 ms instead.
const int32_t RingWidth = 3;

void LoadSteps(const MovieSource* source) {
  SectionBlock block;
  if (FindSectionBlock(source, &Movie.Section, TagSteps, &block) && (StepBlock = (uint8_t*)Allocate(block.Length)) &&
      ReadSectionBlock(source, &block, StepBlock))
    StepBlockLength = block.Length;
  RewindMovieReader(&Movie);
}

void DrawStepRings(HDC dc, int32_t x, int32_t y) {
  uint32_t at = 0;
  StepRecord step;
  const char* text;
  while (NextStep(StepBlock, StepBlockLength, &at, &step, &text)) {
    // Taken unsigned: a step still to come is far beyond RingMs.
    uint32_t age = (uint32_t)(CurrentFrame - (int32_t)step.Frame) * FramePeriodMs + step.Lead;
    if (age >= (uint32_t)RingMs) continue;
    int32_t r = RingRadius + (int32_t)(age * 12 / RingMs), left = step.X - x, top = step.Y - y;
    COLORREF colour = step.Button == StepRight ? RGB(0, 255, 0) : step.Button == StepMiddle ? RGB(0, 128, 255) : RGB(255, 0, 0);
    HGDIOBJ pen = SelectObject(dc, CreatePen(PS_SOLID, RingWidth - (int32_t)(age >> 8), colour));
    // Arc, unlike Ellipse, fills nothing; its start and end at one point close the ring.
    Arc(dc, left - r, top - r, left + r, top + r, left, top - r, left, top - r);
    DeleteObject(SelectObject(dc, pen));
  }
}

// The first step pressed after the frame shown, or the last before it: the presses of one frame (a
// double-click's two) are one stop. Playing on, or a jump, puts the plain caption back.
void GoToStep(HWND window, WORD command) {
  uint32_t at = 0;
  int32_t count = 0, to = 0, frame = 0;
  uint32_t length = 0;
  StepRecord step;
  const char* text;
  const char* found = nullptr;
  while (NextStep(StepBlock, StepBlockLength, &at, &step, &text)) {
    count++;
    int32_t f = (int32_t)step.Frame;
    if (command == CmdNextStep ? f > CurrentFrame && !to : f < CurrentFrame)
      to = count, frame = f, found = text, length = step.TextLength;
  }
  if (!to) return;
  SeekToFrame(frame);
  Pause(window);
  char caption[TitleSize + 40 + MaxStepText];
  char* end = caption + wsprintfA(caption, "%s" TEXT_STEP "%d/%d: ", MovieTitle, to, count);
  // A damaged record's text may be longer than any the recorder writes.
  if (length > MaxStepText) length = MaxStepText;
  __builtin_memcpy(end, found, length);
  end[length] = 0;
  SetWindowTextA(window, caption);
}
