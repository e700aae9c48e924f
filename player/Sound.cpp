// Sound: the movie's narration through waveOut, in step with the picture. At normal speed the speaker
// times the picture: three buffers of one frame period each are queued (the frame shown and the two
// after it), and the picture moves on to the next frame when the speaker has finished the shown
// frame's buffer, which is then refilled with the frame three ahead. The playback timer only polls for
// that. Paused, at slow or fast speed and at the end the sound is silent and the timer runs the
// picture as in a movie without sound; a seek or the loop's rewind starts the buffers again from the
// frame now shown. A pause holds the speaker with its buffers rather than emptying it, so that play goes
// on from the sample heard last: started again from the shown frame, it would repeat what the speaker
// had played ahead of the picture, as much as its latency.
#include "Player.h"

#include <mmsystem.h>

#include "Sound.h"

const UINT SoundPollPeriod = 25;  // how soon the picture follows a finished buffer
const uint32_t SoundBuffers = 3;

bool SoundDriving;
static bool SoundHeld;  // paused with its buffers queued, as the speaker stopped

static MovieSound Narration;
static HWAVEOUT Speaker;
static WAVEHDR* Headers;  // SoundBuffers headers, then their samples, then Block: one heap block
static uint8_t* Block;    // one ADPCM block as read from the file

// Frame n's sound into its buffer (frame n takes buffer n mod 3), to the speaker. The movie reader
// reads each record from its own position, so reading the sound block in between does not disturb it.
static void QueueFrame(int32_t n) {
  WAVEHDR* header = &Headers[(uint32_t)n % SoundBuffers];
  ReadSoundFrame(&Movie.Source, &Narration, n, Block, (int16_t*)header->lpData);
  waveOutWrite(Speaker, header, sizeof *header);
}

void OpenSound() {
  if (!FindMovieSound(&Movie.Source, &Movie.Section, &Narration)) return;
  uint32_t rate = Narration.Header.SampleRate;
  uint32_t bytes = Narration.FrameSamples * 2;
  WAVEFORMATEX format = {WAVE_FORMAT_PCM, 1, rate, rate * 2, 2, 16, 0};
  Headers = (WAVEHDR*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY,
                                SoundBuffers * (sizeof(WAVEHDR) + bytes) + Narration.Header.BlockSize);
  if (!Headers || waveOutOpen(&Speaker, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
    Speaker = nullptr;  // a movie without a speaker plays silent
    return;
  }
  Block = (uint8_t*)(Headers + SoundBuffers);
  for (uint32_t i = 0; i < SoundBuffers; i++, Block += bytes) {
    Headers[i].lpData = (LPSTR)Block;
    Headers[i].dwBufferLength = bytes;
    waveOutPrepareHeader(Speaker, &Headers[i], sizeof Headers[i]);
  }
  FollowSound(true);
}

void FollowSound(bool play) {
  if (!Speaker) return;
  bool resume = play && SoundHeld;
  SoundHeld = false;
  SoundDriving = play;
  if (!resume) {
    waveOutReset(Speaker);
    if (!play) return;
    for (uint32_t i = 0; i < SoundBuffers; i++) QueueFrame(CurrentFrame + (int32_t)i);
  }
  waveOutRestart(Speaker);  // a reset does not end a pause
  SetTimer(PlayerWindow, PlaybackTimer, SoundPollPeriod, nullptr);
}

void HoldSound() {
  if (!SoundDriving) return;
  waveOutPause(Speaker);
  SoundDriving = false;
  SoundHeld = true;
}

bool SoundFrameDone() {
  if (!SoundDriving) return true;
  if (!(Headers[(uint32_t)CurrentFrame % SoundBuffers].dwFlags & WHDR_DONE)) return false;
  QueueFrame(CurrentFrame + (int32_t)SoundBuffers);
  return true;
}
