#include "ToolProcess.h"

#include "Platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTimer>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

ToolProcess::ToolProcess(QObject *parent)
    : QProcess(parent), parentPid(QCoreApplication::applicationPid())
{
    connect(this, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished),
            this, &ToolProcess::onFinished);
    connect(this, &QProcess::errorOccurred, this, &ToolProcess::onErrorOccurred);
    connect(this, &QProcess::started, this, [this] { Platform::tieToolToThisProcess(processId()); });
#if defined(Q_OS_UNIX) && QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    // In the child, before the tool is executed.
    setChildProcessModifier([pid = parentPid] { Platform::prepareToolChild(pid); });
#endif
#ifdef Q_OS_WIN
    setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments *arguments) {
        // A group of its own: a console's Ctrl-C reaches Dorrik alone, whose cancel stops the tool.
        arguments->flags |= BELOW_NORMAL_PRIORITY_CLASS | CREATE_NEW_PROCESS_GROUP;
    });
#endif
}

#if defined(Q_OS_UNIX) && QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
// In the child, before the tool is executed.
void ToolProcess::setupChildProcess()
{
    Platform::prepareToolChild(parentPid);
}
#endif

QString ToolProcess::programFileName(const QString &toolName)
{
#ifdef Q_OS_WIN
    return toolName + QStringLiteral(".exe");
#else
    return toolName;
#endif
}

QString ToolProcess::programPath(const QString &toolName)
{
    const QString fileName = programFileName(toolName);
    const QFileInfo beside(QDir(QCoreApplication::applicationDirPath()).filePath(fileName));
    if (beside.isFile() && beside.isExecutable())
        return beside.absoluteFilePath();
    const QString found = QStandardPaths::findExecutable(fileName);
    return found.isEmpty() ? fileName : found;
}

void ToolProcess::startTool(const QString &toolName, const QStringList &arguments)
{
    finishReported = false;
    start(programPath(toolName), arguments, QIODevice::ReadWrite);
}

void ToolProcess::onFinished(int exitCode, QProcess::ExitStatus exitStatus)
{
    if (finishReported)
        return;
    finishReported = true;
    // A crashed or killed tool must never read as success, nor as one of the
    // tool's own error numbers.
    if (exitStatus == QProcess::CrashExit)
        exitCode = crashedExitCode;
    emit toolFinished(exitCode);
}

void ToolProcess::onErrorOccurred(QProcess::ProcessError error)
{
    // QProcess never reports `finished` for a program that did not start.
    if (error != QProcess::FailedToStart || finishReported)
        return;
    finishReported = true;
    // Queued, so the result never arrives inside the caller's start call.
    QTimer::singleShot(0, this, [this] { emit toolFinished(startFailedExitCode); });
}
