#pragma once

#include <QString>

// Where the next file dialog of this run starts: the folder the last one was
// left in, the home folder before any. Not kept beyond the run.
namespace DialogFolder {

QString last();
// A chosen file's or folder's own folder: for a file, pass its folder.
void remember(const QString &folder);

} // namespace DialogFolder
