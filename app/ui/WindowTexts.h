#pragma once

#include "ExportResult.h"
#include "FileData.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVector>

// The texts the main window shows in its message boxes and stream list.
class WindowTexts
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    static QString aboutText(const QString &webPage);
    static QString exportErrorText(const QStringList &fileNames);
    // One line per file that was not written, verified and stamped, with its reason.
    static QString exportDetailsText(const QVector<ExportResult> &results);
    static QString newVersionText(const QString &description, const QUrl &downloadLink);
    static QStringList streamInfoLines(const FileData &fileData);
};
