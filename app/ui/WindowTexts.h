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
    // The result box of an export that did not do every file: the failed ones,
    // and apart from them those left out by choice. `failedNames` serves when
    // no per-file results came.
    static QString exportResultText(const QVector<ExportResult> &results, const QStringList &failedNames);
    // "3 of 20 files · about 1 min 20 s left", the time from the files finished so far.
    // "3 of 20 files", and the time left at the pace of the files written so far.
    static QString exportProgressText(const QVector<ExportResult> &finished, int total, qint64 elapsedMs);
    // " · 3 files already in the table, skipped"; empty for none.
    static QString skippedText(int skipped);
    // One line per file that was not written, verified and stamped, with its reason.
    static QString exportDetailsText(const QVector<ExportResult> &results);
    static QString newVersionText(const QString &description, const QUrl &downloadLink);
    static QStringList streamInfoLines(const FileData &fileData);
};
