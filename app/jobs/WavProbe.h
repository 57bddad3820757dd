#pragma once

#include "ProbeRecord.h"

#include <QString>

// The probe of a WAV read from its RIFF chunks, without starting ffprobe:
// what ffprobe -show_format -show_streams would give (and ProbeRecord reads)
// for integer PCM of 8 to 32 bits and 32-bit float, plain or extensible.
// bext, LIST/INFO and unknown chunks are read or stepped over as ffprobe
// does. Anything else (RF64/BW64, compressed audio, a chunk that runs past
// the file's end, text that is not UTF-8) is left to ffprobe: false.
namespace WavProbe {

bool read(const QString &path, ProbeRecord *record);

} // namespace WavProbe
