#pragma once

#include <QMetaType>
#include <QString>

// One decoder read: which file it reads and where its result belongs. The
// file id and stream travel here, never in a file name, and only a WAV the
// extraction wrote is ever removed after its read.
struct DecodeRequest
{
    QString wavPath;            // the file the decoder reads
    int fileId = -1;            // the file the result belongs to
    int streamIndex = -1;       // audio stream of that file the WAV holds
    bool temporary = false;     // written by the extraction; the source is never touched
    bool readRequested = false; // read with the user's options, else the automatic ones
    bool preferSlope = false;   // GoPro recordings are read with the slope algorithm first
    // The read through a longer piece, after the first seconds held no timecode.
    bool searchLater = false;
    QString sourcePath;         // the media file the stream belongs to
    double duration = 0.0;      // its duration as probed, seconds
    // Seconds from the WAV's first sample to the file's first video frame,
    // whose timecode the read names; 0: the first sample's.
    double referenceSeconds = 0.0;
};

Q_DECLARE_METATYPE(DecodeRequest)
