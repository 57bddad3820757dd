#include "ResultCode.h"

#include <QCoreApplication>

namespace ResultCode {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("ResultCode", text);
}

} // namespace

QString text(int code)
{
    switch (code) {
    case Ok: return tr("done");
    case DecoderArguments: return tr("innsufficient arguments for Pelbrook");
    case DecoderOutputFormat: return tr("unsupported output format");
    case DecoderParameter: return tr("unsupported parameter for Pelbrook");
    case DecoderAlgorithm: return tr("unsupported reading algorithm");
    case DecoderOpenFailed: return tr("could not open file");
    case DecoderChannelOutOfRange: return tr("channel number out of range");
    case DecoderInvalidFrameRate: return tr("invalid framerate");
    case DecoderReaderFailed: return tr("could not initialize sample reader");
    case LtcNotFound: return tr("audio TC not found");
    case ProbeFailed: return tr("error while reading file data");
    case ProbeEmpty: return tr("couldn't read file data");
    case ProbeStartFailed: return tr("ffprobe could not be started");
    case ProbeCrashed: return tr("ffprobe crashed");
    case ExtractionFailed: return tr("couldn't get audio track from file");
    case ExtractionStartFailed: return tr("ffmpeg could not be started");
    case ExtractionCrashed: return tr("ffmpeg crashed");
    case ToolStartFailed: return tr("ffmpeg could not be started");
    case ToolCrashed: return tr("ffmpeg crashed");
    case ExportCancelled: return tr("export cancelled");
    case ExportToolFailed: return tr("ffmpeg failed");
    case NotExported: return tr("not exported");
    case NoTargetName: return tr("no free name");
    case VerificationFailed: return tr("the written file is not what was asked for");
    case RateMismatch: return tr("the audio timecode's rate does not match the video");
    case CopiedWithoutTimecode: return tr("no audio timecode: copied without a new timecode");
    case LeftOutOnlyTimecodeChannel: return tr("left out: its only channel is the timecode");
    case OutputNotWritten: return tr("the output could not be written");
    case RateContradictsSignal: return tr("the audio timecode was read at a rate its signal contradicts");
    case NoVideoProfile: return tr("the chosen video format has no profile for the video's frame rate");
    case UnreadableReport: return tr("no timecode in the decoder's report");
    case DecoderStartFailed: return tr("Pelbrook could not be started");
    case DecoderCrashed: return tr("Pelbrook crashed");
    default: return tr("error %1").arg(code);
    }
}

} // namespace ResultCode
