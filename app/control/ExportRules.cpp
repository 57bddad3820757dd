#include "ExportRules.h"

#include "ExportCommand.h"

namespace ExportRules {

QString timecodeRateMismatch(const FileData &file)
{
    if (!file.hasAudioTC || !file.hasVideo())
        return QString();
    // A copy keeps the video's rate; a transcode does too.
    int code = ResultCode::Ok;
    const QString reason = ExportCommand(file, ExportOptions()).refusal(&code);
    return code == ResultCode::RateMismatch ? reason : QString();
}

} // namespace ExportRules
