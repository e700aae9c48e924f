// StepsExport: export --steps, the movie's steps as a document to read and print, one section per
// step with its number, moment and description and the frame of the click with the click marked.
//   OUT.html  one self-contained HTML file, its pictures inside it as data: PNG images
//   OUT.md    Markdown, its pictures as PNG files in the folder OUT-pictures beside it
// The pictures are the frame each step belongs to (the one captured next after the press) with the
// ring of the press at its start, cut to at most StepPictureWidth x StepPictureHeight around the
// press, so that a 1080p screen reads at its own pixels on a page. With page (the --html of the same
// command) each step links to its moment in that page, PAGE#step=N.
#pragma once
#include <stdint.h>

#include <string>

const int32_t StepPictureWidth = 800, StepPictureHeight = 500;

// Writes out from the movie at path; page is empty for no links. Returns the tool's exit status.
int ExportSteps(const std::string& path, const std::string& out, const std::string& page);
