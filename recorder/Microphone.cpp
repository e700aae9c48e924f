// Microphone: capture, fitting to the frames and the sound file (how, in Microphone.h).
#include "Microphone.h"

#include <windows.h>
#include <mmsystem.h>

#include "Sound.h"

namespace {

const uint32_t BufferCount = 10;    // one second of sound in waiting: ticks may be that late
const uint32_t BufferSamples = RecordedBlockSamples;  // 100 ms each
const uint32_t FrameSamples = RecordedSampleRate / FramesPerSecond;
const int64_t Tolerance = FrameSamples / 2;  // drift between sound and frames that is left alone
const uint32_t CopyBufferSize = 64 * 1024;   // pieces of the sound file on its way into the movie

HWAVEIN Device;
WAVEHDR Buffers[BufferCount];
int16_t Samples[BufferCount][BufferSamples];
uint32_t NextBuffer;      // the buffer the device fills first
HANDLE SoundFile = INVALID_HANDLE_VALUE;
char SoundPath[MAX_PATH + sizeof TAVREL_SOUND_SUFFIX];
SoundFileWriter Writer;
uint8_t CopyBuffer[CopyBufferSize];

int64_t Received;         // device samples collected so far
int64_t Offset;           // device position of the sound file's sample 0: sample w was taken at w + Offset
int64_t Limit;            // the sound file's length at the end of the last frame's period
int32_t Frames;           // frame records captured so far
bool Heard;               // the device delivered samples

int32_t WriteSoundFile(void* context, const void* data, uint32_t count) {
  DWORD written = 0;
  if (!WriteFile(*(HANDLE*)context, data, count, &written, nullptr)) return -1;
  return (int32_t)written;
}

int32_t ReadSoundFile(void* context, void* buffer, uint32_t count) {
  DWORD done = 0;
  if (!ReadFile(*(HANDLE*)context, buffer, count, &done, nullptr)) return -1;
  return (int32_t)done;
}

int32_t SeekSoundFile(void* context, uint64_t offset) {
  LARGE_INTEGER to;
  to.QuadPart = (LONGLONG)offset;
  return SetFilePointerEx(*(HANDLE*)context, to, nullptr, FILE_BEGIN) ? 0 : -1;
}

// Samples taken by the device at `first` on: put at their place in the sound file, before Limit;
// silence fills a gap in front of them, and what lies before the file's end is dropped.
void Place(const int16_t* pcm, uint32_t count, int64_t first) {
  int64_t at = first - Offset;  // where the first sample belongs in the file
  int64_t written = (int64_t)Writer.Samples;
  if (at > written) AddSound(&Writer, nullptr, (uint32_t)((at < Limit ? at : Limit) - written));
  int64_t from = (int64_t)Writer.Samples - at;  // samples of pcm already behind the file's end
  int64_t to = Limit - at < (int64_t)count ? Limit - at : (int64_t)count;
  if (from < 0) from = 0;
  if (to > from) AddSound(&Writer, pcm + from, (uint32_t)(to - from));
}

// Takes every buffer the device has filled, in order, and gives it back to the device.
void Collect() {
  while (Buffers[NextBuffer].dwFlags & WHDR_DONE) {
    WAVEHDR* buffer = &Buffers[NextBuffer];
    uint32_t count = buffer->dwBytesRecorded / sizeof(int16_t);
    if (count) Heard = true;
    if (Frames) Place(Samples[NextBuffer], count, Received);
    Received += count;
    buffer->dwFlags &= ~WHDR_DONE;
    buffer->dwBytesRecorded = 0;
    waveInAddBuffer(Device, buffer, sizeof *buffer);
    NextBuffer = (NextBuffer + 1) % BufferCount;
  }
}

// The device's position in samples; the samples collected when it cannot tell.
int64_t Position() {
  MMTIME time;
  time.wType = TIME_SAMPLES;
  if (waveInGetPosition(Device, &time, sizeof time) != MMSYSERR_NOERROR) return Received;
  if (time.wType == TIME_SAMPLES) return time.u.sample;
  if (time.wType == TIME_BYTES) return time.u.cb / sizeof(int16_t);
  return Received;
}

}  // namespace

bool OpenMicrophone(const char* moviePath) {
  Received = Offset = Limit = 0;
  Frames = 0;
  NextBuffer = 0;
  Heard = false;
  WAVEFORMATEX format = {WAVE_FORMAT_PCM, 1, RecordedSampleRate, RecordedSampleRate * 2, 2, 16, 0};
  if (waveInOpen(&Device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
    Device = nullptr;
    return false;
  }
  lstrcpyA(SoundPath, moviePath);
  lstrcatA(SoundPath, TAVREL_SOUND_SUFFIX);
  SoundFile = CreateFileA(SoundPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
  Writer.Sink = MovieSink{&SoundFile, WriteSoundFile};
  bool ready = SoundFile != INVALID_HANDLE_VALUE && StartSoundFile(&Writer, 1);
  for (uint32_t i = 0; i < BufferCount && ready; i++) {
    Buffers[i] = WAVEHDR{};
    Buffers[i].lpData = (LPSTR)Samples[i];
    Buffers[i].dwBufferLength = sizeof Samples[i];
    ready = waveInPrepareHeader(Device, &Buffers[i], sizeof Buffers[i]) == MMSYSERR_NOERROR &&
            waveInAddBuffer(Device, &Buffers[i], sizeof Buffers[i]) == MMSYSERR_NOERROR;
  }
  if (ready && waveInStart(Device) == MMSYSERR_NOERROR) return true;
  CloseMicrophone(nullptr, false);
  return false;
}

void MicrophoneFrame(int32_t frames) {
  if (!Device) return;
  int64_t position = Position();
  // Where this frame's capture lies in the sound file if the sound had kept pace: at the first frame
  // the sound starts there; later it is moved there once it has drifted too far.
  int64_t offset = position - (int64_t)(frames - 1) * FrameSamples;
  if (!Frames || offset - Offset > Tolerance || Offset - offset > Tolerance) Offset = offset;
  Frames = frames;
  Limit = (int64_t)frames * FrameSamples;
  Collect();
}

void MicrophonePaused() {
  if (Device) Collect();
}

bool CloseMicrophone(MovieWriter* writer, bool complete) {
  if (!Device) return false;
  waveInReset(Device);  // the buffer being filled comes back with what it holds
  Collect();
  waveInReset(Device);  // and the buffers Collect gave back return, so that they can be unprepared
  for (uint32_t i = 0; i < BufferCount; i++)
    if (Buffers[i].dwFlags & WHDR_PREPARED) waveInUnprepareHeader(Device, &Buffers[i], sizeof Buffers[i]);
  waveInClose(Device);
  Device = nullptr;
  if (SoundFile == INVALID_HANDLE_VALUE) return false;
  // The sound lasts as long as the frames: silence up to the end of the last one's period.
  if ((int64_t)Writer.Samples < Limit) AddSound(&Writer, nullptr, (uint32_t)(Limit - (int64_t)Writer.Samples));
  FinishSoundFile(&Writer);
  bool moved = false;
  if (writer && complete && Heard && !Writer.Failed) {
    LARGE_INTEGER size;
    MovieSource source = {&SoundFile, ReadSoundFile, SeekSoundFile,
                          GetFileSizeEx(SoundFile, &size) ? (uint64_t)size.QuadPart : 0};
    SoundHeader header;
    moved = OpenSoundFile(&source, &header) && header.SampleCount &&
            WriteSoundBlock(writer, &header, &source, SoundHeaderSize, CopyBuffer, CopyBufferSize);
  }
  CloseHandle(SoundFile);
  SoundFile = INVALID_HANDLE_VALUE;
  // Kept only for a movie cut off unfinished, whose repair takes it.
  if (complete || !Heard) DeleteFileA(SoundPath);
  return moved;
}
