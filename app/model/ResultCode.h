#pragma once

#include <QString>

// Result codes that travel in Dorrik's result signals, and the text the user
// sees for each. The decoder's own error numbers (1xx, 2xx) are its exit
// codes; everything from 1000 up is ours. 0 is success everywhere.
namespace ResultCode {

enum Code : int {
    Ok = 0,

    // Pelbrook's exit codes
    DecoderArguments = 100,
    DecoderOutputFormat = 101,
    DecoderParameter = 102,
    DecoderAlgorithm = 103,
    DecoderOpenFailed = 201,
    DecoderChannelOutOfRange = 202,
    DecoderInvalidFrameRate = 203,
    DecoderReaderFailed = 204,
    LtcNotFound = 205,

    // import
    ProbeFailed = 1000,
    ProbeEmpty = 1001,
    ProbeStartFailed = 1002,
    ProbeCrashed = 1003,

    // audio extraction
    ExtractionFailed = 2001,
    ExtractionStartFailed = 2002,
    ExtractionCrashed = 2003,

    // export; also the codes a ToolProcess reports for any tool that could
    // not be started or crashed, before a driver names the tool
    ToolStartFailed = 3000,
    ToolCrashed = 3001,
    ExportCancelled = 3002,
    ExportToolFailed = 3003,
    NotExported = 3004,
    NoTargetName = 3100,
    VerificationFailed = 3101,
    RateMismatch = 3102,
    CopiedWithoutTimecode = 3103,
    LeftOutOnlyTimecodeChannel = 3104,
    OutputNotWritten = 3105,
    RateContradictsSignal = 3106,
    NoVideoProfile = 3107,

    // decoder driver
    UnreadableReport = 3200,
    DecoderStartFailed = 3201,
    DecoderCrashed = 3202,
};

// The user-visible text of a code (the Audio TC cell, the export result).
// Never empty: an unknown number still tells which it was.
QString text(int code);

// A code for which the file was written but carries no new timecode counts
// as not done, like a failure; only Ok is a verified, stamped file.
inline bool isSuccess(int code) { return code == Ok; }

} // namespace ResultCode
