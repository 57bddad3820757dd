#pragma once

#include <QMetaType>
#include <QString>

// Choices of the export dialog; the controller sets progressUnitsPerFile.
struct ExportOptions
{
    QString targetFolderPath;
    qint32 videoExportType = 0;
    qint32 audioExportType = 0;
    bool muteAudioTC = false;
    bool exportAll = false;
    qint32 progressUnitsPerFile = 15;
};

Q_DECLARE_METATYPE(ExportOptions)
