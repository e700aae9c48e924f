// Microphone: the narration of a recording, on the capture thread. The default recording device is
// captured with waveIn as 16 kHz mono PCM into a ring of buffers that each tick collects; the samples
// are fitted to the frames (below), compressed to IMA ADPCM and written to the sound file beside the
// movie as they come (format/Sound.h). At the end the sound file is copied into the movie's section
// and deleted.
//
// Keeping sound and picture together: the movie gives every frame record exactly one frame period of
// sound, whatever the ticks did. At each frame the device's position (waveInGetPosition) says which
// sample was being taken at the capture; where the sound written so far has drifted more than half a
// frame from it (a tick that came late or was missed, a pause, the two clocks running apart over a
// long recording), the sound is cut there, or silence is put in, to meet that frame again. A pause is
// nothing else: its samples are dropped at the first frame after it, so the gap in the picture is the
// gap in the sound. Small jitter of the ticks is left alone, so that speech is not chopped.
#pragma once
#include <stdint.h>

#include "Movie.h"

// Opens the device and the sound file (the movie's path with TAVREL_SOUND_SUFFIX). False when there
// is no device or it fails, or the file cannot be made: the recording then goes on silent.
bool OpenMicrophone(const char* moviePath);

// After each frame record is written, with the count of frame records so far.
void MicrophoneFrame(int32_t frames);

// At a tick of a paused recording: the sound of the last frame is completed, the rest dropped.
void MicrophonePaused();

// Stops the device, and, when the movie was finished up to its end record (complete), puts the sound
// into its section and deletes the sound file; otherwise the sound file stays for `tavrel-movie
// repair`. True when the recording has sound: it was asked for and the device delivered some.
bool CloseMicrophone(MovieWriter* writer, bool complete);
