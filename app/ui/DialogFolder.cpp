#include "DialogFolder.h"

#include <QDir>

namespace DialogFolder {

namespace {

QString &stored()
{
    static QString folder = QDir::homePath();
    return folder;
}

} // namespace

QString last()
{
    return stored();
}

void remember(const QString &folder)
{
    if (!folder.isEmpty())
        stored() = folder;
}

} // namespace DialogFolder
