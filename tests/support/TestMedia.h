#pragma once

// Test media made with the real tools, and small helpers to inspect results.
//
// Every maker writes one file into the folder it is given (normally a
// QTemporaryDir) and returns its absolute path, or an empty string when a
// tool failed; TestMedia::lastError() then tells what went wrong, so a test
// can write
//     const QString mov = TestMedia::makeMov(dir.path(), recipe);
//     QVERIFY2(!mov.isEmpty(), qPrintable(TestMedia::lastError()));
//
// Tools are found beside the running test executable first (build/bin holds
// ltcgen and Pelbrook), then on PATH (ffmpeg, ffprobe). A test target that
// uses ltcgen or Pelbrook should add_dependencies() on them.
//
// Signals: the LTC stream is written by ltcgen; every other channel of every
// audio stream carries its own sine tone at -12 dBFS, toneFrequency(stream,
// channel), so a test can tell after an export which channel went where.

#include "FileData.h"
#include "TestWait.h"

#include <QByteArray>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QVector>

namespace TestMedia {

// What goes into one generated file. Stream and channel numbers count from 0
// among the audio streams (stream 0 is the first audio stream, whatever the
// container's stream index).
struct MediaRecipe
{
    QString fileName = QStringLiteral("clip.mov"); // name within the folder; spaces and non-ASCII are fine
    double seconds = 4.0;                          // length of audio and video
    int audioStreams = 1;
    int channels = 2;                              // per audio stream
    int ltcStream = 0;                             // audio stream carrying LTC; -1: no LTC anywhere
    int ltcChannel = 0;                            // channel of that stream carrying LTC
    QString ltcStart = QStringLiteral("10:00:00:00");
    QString fps = QStringLiteral("25");            // 23.976, 24, 25, 29.97 or 30 (LTC and video)
    bool dropFrame = false;                        // LTC drop-frame flag
    int sampleRate = 48000;
    double ltcLevel = 0.5;                         // LTC peak, fraction of full scale
    QStringList ltcgenArguments;                   // more ltcgen options, e.g. {"--dc", "300"}
    QString fileTimecode;                          // timecode written by the container (tmcd in MOV); empty: none
    bool withVideo = true;                         // false: audio only (the MOV/MP4/MXF makers)
    QString videoFps;                              // video rate when it differs from fps, e.g. "50", "59.94"
    QString videoSize = QStringLiteral("160x120"); // WxH of the test picture
    QStringList muxArguments;                      // more ffmpeg output options, e.g. {"-metadata", "creation_time=..."}
    double videoDelay = 0.0;                       // seconds the video starts later (whole frames: CFR output moves others)
    double audioDelay = 0.0;                       // seconds the audio streams start later
};

// The usual recipe with a name, channels per stream, the LTC channel and start.
MediaRecipe recipe(const QString &fileName, int channels = 2, int ltcChannel = 0,
                   const QString &ltcStart = QStringLiteral("10:00:00:00"));

// Fails the calling test function with the maker's reason when it made nothing:
//     MADE(TestMedia::makeMov(dir.path(), recipe));
#define MADE(path) QVERIFY2(!(path).isEmpty(), qPrintable(TestMedia::lastError()))

// Result of one tool run.
struct ToolRun
{
    bool started = false;   // the program could be started
    bool finished = false;  // it ended within the time limit (killed otherwise)
    bool crashed = false;
    int exitCode = -1;
    QByteArray standardOutput;
    QByteArray standardError;

    bool ok() const { return started && finished && !crashed && exitCode == 0; }
};

// Text of the last failure of a maker or helper of this namespace (this thread's).
QString lastError();

// Absolute path of a tool: beside the running executable first, then on PATH;
// empty when neither has it. ".exe" is appended on Windows.
QString toolPath(const QString &toolName);

// Runs a tool (bare name, resolved by toolPath, or a path) and waits for it.
ToolRun runTool(const QString &program, const QStringList &arguments, int timeoutMs = TestWait::toolWorkMs);
// The same in the given environment (a program started as a script on another machine would be).
ToolRun runTool(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment,
                int timeoutMs = TestWait::toolWorkMs);
// This process's environment without a display, as a script on a server starts Dorrik.
QProcessEnvironment withoutDisplay();

// Frequency in Hz of the test tone on a non-LTC channel.
int toneFrequency(int stream, int channel);

// ---- makers -----------------------------------------------------------------

// A PCM WAV (s16) holding audio stream `recipe.ltcStream` (or stream 0) alone:
// LTC on recipe.ltcChannel, tones on the other channels. Written by ltcgen only,
// so recipe.ltcgenArguments may use every ltcgen option.
QString makeLtcWav(const QString &folder, const MediaRecipe &recipe);

// The same as makeLtcWav, then rewritten by ffmpeg with a bext chunk holding
// `timeReference` (samples since midnight), as field recorders write it.
QString makeBwfWav(const QString &folder, const MediaRecipe &recipe, qint64 timeReference);

// QuickTime: mpeg4 video, PCM s16 audio streams; recipe.fileTimecode becomes a
// tmcd track.
QString makeMov(const QString &folder, const MediaRecipe &recipe);

// MXF (OP1a): mpeg2 video, PCM s16 audio streams (use channels = 1 for the
// usual mono tracks); recipe.fileTimecode becomes the material timecode.
QString makeMxf(const QString &folder, const MediaRecipe &recipe);

// MP4: mpeg4 video, AAC audio streams.
QString makeMp4(const QString &folder, const MediaRecipe &recipe);

// MPEG transport stream (.mts, as AVCHD cameras write): mpeg2 video, AC-3 audio.
QString makeMts(const QString &folder, const MediaRecipe &recipe);

// A QuickTime clip with video only.
QString makeClipWithoutAudio(const QString &folder, const QString &fileName, double seconds = 4.0);

// A QuickTime clip cut off in the middle (no index): ffprobe fails on it.
QString makeCorruptFile(const QString &folder, const QString &fileName);

// A text file under a media name.
QString makeNonMediaFile(const QString &folder, const QString &fileName);

// ---- inspection ---------------------------------------------------------------

// ffprobe -show_format -show_streams as an object; empty on failure.
QJsonObject probe(const QString &path);

// Timecodes a probe shows: the format's first, then each stream's, in order.
QStringList timecodesOf(const QJsonObject &probe);

// Channels of each audio stream a probe shows, in order.
QVector<int> audioChannelsOf(const QJsonObject &probe);

// The format's tags (time_reference, comment, ...).
QJsonObject formatTagsOf(const QJsonObject &probe);

// Decodes audio stream `audioStream` (counted among the audio streams) to
// float samples, one vector per channel. Empty on failure. `sampleRate`
// receives the stream's rate when not null.
QVector<QVector<float>> decodeAudio(const QString &path, int audioStream = 0, int *sampleRate = nullptr);

// Share (0..1) of the signal's energy that lies in a sine of `hz`.
double toneShare(const QVector<float> &samples, int sampleRate, double hz);

// The channel is a pure tone of `hz` (share above 0.9 and audible level).
bool hasTone(const QVector<float> &samples, int sampleRate, double hz);

// The channel sounds like LTC: a two-level square wave with 1000 to 6000
// level changes per second (bi-phase marks at 24 to 30 frames per second).
// A channel through a lossy codec may fail this; use readLtc there.
bool looksLikeLtc(const QVector<float> &samples, int sampleRate);

// Runs Pelbrook (beside the executable) on one channel of an audio stream,
// written first to a mono s16 WAV in a temporary folder. Returns the report;
// `exitCode` receives Pelbrook's exit code (or -1 when it could not run).
QJsonObject readLtc(const QString &path, int audioStream, int channel, int *exitCode = nullptr,
                    const QStringList &pelbrookOptions = {});

// ---- records --------------------------------------------------------------------

// The row record the table makes for a file: names, path and row number.
FileData fileRecord(const QString &path, int fileNumber = -1);

// The same with what the import's probe adds: format, streams, duration, the
// audio stream indexes and the video stream (ffprobe run here).
FileData probedRecord(const QString &path, int fileNumber = -1);

// A stream as ffprobe prints it (index, codec_type, codec_name and `more`), read by the probe's reader.
ProbeStream probeStream(int index, const QString &type, const QString &codec, QJsonObject more = {});
// The record the import makes of these streams in a file with `suffix` (also the container's name).
FileData recordOfStreams(const QString &suffix, const QVector<ProbeStream> &streams);

} // namespace TestMedia
