// VideoExport: H.264 in MP4 for `export --mp4`, through FFmpeg's libraries (libavcodec with x264,
// libavformat's mp4 muxer, libswscale). Every FFmpeg call is in VideoExport.cpp; no FFmpeg type or
// error code leaves it, and its failures come back as one message naming the file.
//
// The video has one picture per frame record at the frame period (5 per second), every picture
// lasting exactly one period, so that picture k starts at (k - 1) x 200 ms as in the player. The
// index (moov) is at the front of the file, so that a browser starts playing before the rest has
// arrived. The file appears under its name only when FinishVideo succeeds.
//
// Two kinds of video:
//   default    yuv420p (High profile), which every browser and phone plays. Its colour is sampled at
//              half the resolution, so a frame of odd width or height is given one more column or row
//              repeating the edge. Encoder settings for screen content: docs/tavrel-movie.md.
//   lossless   every pixel as recorded: x264's RGB (4:4:4) mode at quantiser 0, any frame size. For
//              archiving and further editing; browsers do not play it.
// A narrated movie's sound goes in as an AAC track (FFmpeg's own encoder, mono), written along with
// the pictures so that the file stays interleaved.
#pragma once
#include <stdint.h>

#include <string>
#include <vector>

// The sound of a video: mono samples from the video's start (silence in front where the sound begins
// with a later frame).
struct VideoSound {
  uint32_t SampleRate = 0;
  std::vector<int16_t> Samples;
};

// True when this build can write MP4 files.
bool VideoAvailable();

struct VideoOutput;
// title: UTF-8, stored as the file's title; empty for none.
// sound: none when null.
VideoOutput* BeginVideo(const std::string& path, int32_t width, int32_t height, bool lossless,
                        const std::string& title, const VideoSound* sound, std::string* error);
// Adds a width x height frame of 0x00RRGGBB pixels, shown for one frame period.
bool AddVideoFrame(VideoOutput* video, const uint32_t* frame, std::string* error);
bool FinishVideo(VideoOutput* video, std::string* error);  // commits the file; frees video either way
void AbandonVideo(VideoOutput* video);
