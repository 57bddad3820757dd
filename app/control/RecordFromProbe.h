#pragma once

#include "FileData.h"

#include <QJsonObject>

// The file record from ffprobe's JSON report of it: streams, format, the
// file timecode (or time reference of a WAV), the audio streams to read.
FileData recordFromProbe(const QJsonObject &json);

// Seconds from the first sample of an audio stream to the first video frame,
// by the start times the probe gives: an extracted WAV begins at its stream's
// first sample, and in transport streams and some MP4/MOV files that lies
// apart from the video's. 0 without video, without both times, or for an
// offset too large to be one between two streams of a recording.
double videoReferenceSeconds(const FileData &fileData, int streamIndex);
