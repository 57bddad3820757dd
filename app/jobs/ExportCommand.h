#pragma once

#include "ExportOptions.h"
#include "FileData.h"
#include "ResultCode.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

// The ffmpeg command of one export, built from the file's record and the
// export dialog's choices, and what it writes into the copy.
// Everything here is derived from the two records alone; nothing touches the
// disk (ExportTarget chooses the names and moves the files, ExportCheck
// compares the written file with what was asked).
class ExportCommand
{
public:
    enum class Container { QuickTime, Mxf, Wav, Unchanged };

    static constexpr int noTargetNameExitCode = ResultCode::NoTargetName;
    static constexpr int verificationFailedExitCode = ResultCode::VerificationFailed;

    ExportCommand(const FileData &fileData, const ExportOptions &options);

    Container container() const { return outputContainer; }
    bool writesWav() const { return outputContainer == Container::Wav; }
    // ".MOV", ".MXF", ".WAV", or "." and the source's suffix as written.
    QString targetExtension() const;
    // Target folder, "/", base name, then "_<counter>" when counter > 0, then the extension.
    QString targetPath(int counter) const;

    // The whole argument list, the target path last.
    QStringList arguments(const QString &targetPath) const;

    // Bytes of output per progress step, from the source's size or the video bit rate.
    qint64 bytesPerStep(qint64 expectedSize) const;

    // Why the file is not exported at all, with `code` set; empty and `code`
    // Ok when it is: a timecode whose rate the video cannot carry, a chosen
    // video format without a profile for the video's rate, or nothing left to
    // write once the timecode channel is muted.
    QString refusal(int *code) const;

    // What is written into the copy.
    bool writesTimecode() const;          // "-timecode" (MOV/MXF)
    // The label written: the audio timecode, at the video's rate when that is
    // a whole multiple of the timecode's (10:00:00:24 at 25 is 10:00:00:48 at 50).
    QString writtenTimecode() const;
    bool writesTimeReference() const;     // bext time reference (WAV)
    qint64 timeReference() const;
    QString speedLine() const;            // "sSPEED=025.000-ND"; empty without an audio timecode

    // What the check of the written file compares with.
    const FileData &source() const { return file; }
    bool copiesVideo() const;
    bool writesQuickTime() const;
    QString writtenVideoCodec() const;   // the chosen one, or the source's for a copy
    QString sourceReelName() const;
    // The channels of each audio stream written, in output order; 0 when the
    // probe of the source did not say.
    QVector<int> writtenChannels() const;

private:
    // One audio stream of the copy, in output order.
    struct AudioOutput
    {
        int streamIndex = -1;
        QString codec;
        int sourceChannels = 0;        // 0 when the probe did not say
        QVector<int> keptChannels;     // empty: the stream is copied whole
    };

    bool isDnxhdType() const;
    QString timecodeRateArgument() const;
    Fraction outputVideoRate() const;
    void matchRates();
    QString videoRefusal() const;
    QStringList metadataArguments() const;
    QString audioCodec(int streamIndex) const;
    QString muteCodec() const;
    QVector<int> audioStreamIndexList() const;
    void planAudio();
    QStringList audioArguments() const;
    QStringList videoArguments() const;
    QStringList timecodeArguments() const;
    QStringList codecArguments(int outputIndex, const QString &codec, bool perStream) const;

    FileData file;
    ExportOptions options;
    Container outputContainer = Container::Unchanged;
    int variant = 1;
    QVector<AudioOutput> audioOutputs;
    bool codecsDiffer = false;
    // Frames of the video per frame of the timecode; 0 when the rates do not match.
    int timecodeMultiplier = 1;
    QString rateMismatch;
};
