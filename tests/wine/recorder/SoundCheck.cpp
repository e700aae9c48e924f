// sound_check --mp4 FILE: the MP4 the movie tool exported from a narrated movie has an AAC stream as
// long as its video within 200 ms (read with FFmpeg's libavformat, as ffprobe would).
//
// sound_check MOVIE --tone HZ --change-colours ON OFF --wall-ms MS: reads a movie the recorder wrote
// under Wine while a tone played, with the core's reader, and checks its sound against its picture.
// The test turned the centre of the area to colour ON (RRGGBB) as the tone began and to OFF as it
// ended, MS milliseconds later by the wall clock, with a pause of the recording between. Checks:
//   - the tone's frequency is HZ within 1 %
//   - the tone begins within 200 ms of the change to ON (which happened during the period before the
//     first frame that shows it), and ends within 200 ms of the change to OFF: the pause cut as much
//     out of the sound as out of the picture
//   - the picture between the two is shorter than the wall clock by most of the pause
//   - the sound lasts as long as the frames, within 200 ms
// Prints what it measured; exit code 1 and one "FAIL:" line per broken check.
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

#include "Codec.h"
#include "Sound.h"
#include "TestSupport.h"

namespace {

int Failures = 0;

void Check(bool ok, const std::string& what) {
  if (ok) return;
  printf("FAIL: %s\n", what.c_str());
  Failures++;
}

bool Near(uint32_t pixel, uint32_t colour) {
  for (int shift = 0; shift < 24; shift += 8)
    if (abs((int)(pixel >> shift & 0xFF) - (int)(colour >> shift & 0xFF)) > 64) return false;
  return true;
}

int CheckMp4(const char* path) {
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path, nullptr, nullptr) < 0 || avformat_find_stream_info(format, nullptr) < 0) {
    printf("FAIL: %s cannot be read as MP4\n", path);
    return 1;
  }
  double video = -1, audio = -1;
  for (unsigned i = 0; i < format->nb_streams; i++) {
    AVStream* stream = format->streams[i];
    double seconds = stream->duration * av_q2d(stream->time_base);
    if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) video = seconds;
    if (stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && stream->codecpar->codec_id == AV_CODEC_ID_AAC)
      audio = seconds;
  }
  avformat_close_input(&format);
  printf("mp4: video %.3f s, AAC %.3f s\n", video, audio);
  Check(video > 0 && audio > 0, "the MP4 lacks its video or its AAC stream");
  Check(fabs(audio - video) <= FramePeriodMs / 1000.0, "the AAC stream is not as long as the video");
  return Failures ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && !strcmp(argv[1], "--mp4")) return CheckMp4(argv[2]);
  if (argc != 9 || strcmp(argv[2], "--tone") || strcmp(argv[4], "--change-colours") || strcmp(argv[7], "--wall-ms")) {
    fprintf(stderr, "usage: sound_check MOVIE --tone HZ --change-colours ON OFF --wall-ms MS\n");
    return 2;
  }
  double hertz = atof(argv[3]);
  uint32_t on = (uint32_t)strtoul(argv[5], nullptr, 16), off = (uint32_t)strtoul(argv[6], nullptr, 16);
  double wallMs = atof(argv[8]);
  MemoryFile file;
  file.Bytes = ReadWholeFile(argv[1]);
  TestReader reader;
  if (!reader.Open(&file)) {
    printf("FAIL: %s is no movie\n", argv[1]);
    return 1;
  }
  // The frames that first show each colour at the area's centre.
  int32_t onFrame = 0, offFrame = 0;
  size_t centre = (size_t)reader.Reader.FrameHeight / 2 * reader.Reader.FrameWidth + reader.Reader.FrameWidth / 2;
  while (AdvanceMovieReader(&reader.Reader) >= 0) {
    uint32_t pixel = reader.Frame[centre];
    if (!onFrame && Near(pixel, on)) onFrame = reader.Reader.CurrentFrame;
    if (onFrame && !offFrame && Near(pixel, off)) offFrame = reader.Reader.CurrentFrame;
  }
  int32_t frames = reader.Reader.CurrentFrame;
  MovieSource source = file.Source();
  MovieSound sound;
  if (!FindMovieSound(&source, &reader.Reader.Section, &sound)) {
    printf("FAIL: the movie has no sound (%d frames)\n", frames);
    return 1;
  }
  // The whole sound, with the time of sample 0 in milliseconds from the start of frame 0.
  std::vector<int16_t> pcm;
  std::vector<uint8_t> block(sound.Header.BlockSize);
  std::vector<int16_t> piece(sound.FrameSamples);
  for (int32_t f = (int32_t)sound.Header.StartFrame; pcm.size() < sound.Header.SampleCount; f++) {
    ReadSoundFrame(&source, &sound, f, block.data(), piece.data());
    pcm.insert(pcm.end(), piece.begin(), piece.end());
  }
  pcm.resize(sound.Header.SampleCount);
  double rate = sound.Header.SampleRate;
  double zeroMs = sound.Header.StartFrame * (double)FramePeriodMs;
  // Loudness in windows of 10 ms; the tone is where it passes a third of the loudest.
  const size_t window = (size_t)(rate / 100);
  std::vector<double> loudness;
  double loudest = 0;
  for (size_t at = 0; at + window <= pcm.size(); at += window) {
    double sum = 0;
    for (size_t i = at; i < at + window; i++) sum += (double)pcm[i] * pcm[i];
    loudness.push_back(sqrt(sum / window));
    loudest = std::max(loudest, loudness.back());
  }
  size_t first = loudness.size(), last = 0, loud = 0;
  for (size_t w = 0; w < loudness.size(); w++)
    if (loudness[w] > loudest / 3) {
      first = std::min(first, w);
      last = w;
      loud++;
    }
  Check(loudest > 1000 && first < last, "no tone in the sound (loudest window " + std::to_string(loudest) + ")");
  if (Failures) return 1;
  double startMs = zeroMs + first * 10.0, endMs = zeroMs + (last + 1) * 10.0;
  // Frequency: the median of the zero crossings of the tone's 100 ms pieces, so that a gap of the
  // tone's source (a sink that ran dry under load) does not count against the recording.
  std::vector<double> pieces;
  for (size_t w = first + 1; w + 11 < last; w += 10) {
    int crossings = 0;
    for (size_t i = w * window + 1; i < (w + 10) * window; i++) crossings += (pcm[i - 1] < 0) != (pcm[i] < 0);
    pieces.push_back(crossings / 2.0 / 0.1);
  }
  std::sort(pieces.begin(), pieces.end());
  double measured = pieces.empty() ? 0 : pieces[pieces.size() / 2];
  printf("sound: %u samples at %.0f Hz from frame %u; %d frames; tone %.1f Hz from %.0f ms to %.0f ms; "
         "colour on at frame %d (%d ms), off at frame %d (%d ms)\n",
         sound.Header.SampleCount, rate, sound.Header.StartFrame, frames, measured, startMs, endMs, onFrame,
         onFrame * (int)FramePeriodMs, offFrame, offFrame * (int)FramePeriodMs);
  Check(fabs(measured - hertz) <= hertz / 100, "the tone is " + std::to_string(measured) + " Hz");
  Check(onFrame > 0 && offFrame > onFrame, "the colour changes were not both recorded");
  // A change shows in the first frame taken after it: it happened in that frame's period before it.
  auto fromChange = [](double ms, int32_t frame) {
    double after = (frame - 1) * (double)FramePeriodMs, by = frame * (double)FramePeriodMs;
    return ms < after ? ms - after : ms > by ? ms - by : 0.0;
  };
  Check(fabs(fromChange(startMs, onFrame)) <= FramePeriodMs,
        "the tone begins " + std::to_string(fromChange(startMs, onFrame)) + " ms away from its change");
  Check(fabs(fromChange(endMs, offFrame)) <= FramePeriodMs,
        "the tone ends " + std::to_string(fromChange(endMs, offFrame)) + " ms away from its change");
  printf("tone %zu ms long\n", loud * 10);  // what a player must let be heard
  Check((offFrame - onFrame) * (double)FramePeriodMs < wallMs - 2000,
        "the picture between the changes is not shortened by the pause");
  double soundMs = pcm.size() / rate * 1000 + zeroMs, picture = (frames + 1) * (double)FramePeriodMs;
  Check(fabs(soundMs - picture) <= FramePeriodMs,
        "the sound ends at " + std::to_string(soundMs) + " ms, the frames at " + std::to_string(picture) + " ms");
  return Failures ? 1 : 0;
}
