#pragma once

#include "FileData.h"

#include <QString>

// What an export will make of a file, asked before any export: the same rules
// the export job applies, for the table to tell early.
namespace ExportRules {

// Why the file's audio timecode cannot be written into a copy of its video
// ("LTC 30 fps does not match video 25 fps"); empty when it can, or when
// there is nothing to match (no timecode, no video, a WAV).
QString timecodeRateMismatch(const FileData &file);

} // namespace ExportRules
