#pragma once

#include "ResultCode.h"

#include <QProcess>
#include <QString>
#include <QStringList>

// A child process for one of our tools (ffprobe, ffmpeg, Pelbrook).
//
// Finds the program the way the shipped layout expects: first beside the
// running executable, then on the search path; ".exe" is appended on Windows.
// `toolFinished` is emitted exactly once per start: with the exit code of a
// normal end, with crashedExitCode for a crash (a killed tool included), and
// with startFailedExitCode for a program that could not be started at all,
// for which QProcess itself never reports `finished`. Drivers name the tool
// when they pass these on.
//
// Tools run below normal priority: dozens of them at once must not keep the
// window from answering; with nothing else to do they still get every core.
// A tool never outlives the program that started it, however that ends: a
// killed Dorrik leaves no ffmpeg writing on.
class ToolProcess : public QProcess
{
    Q_OBJECT

public:
    static constexpr int startFailedExitCode = ResultCode::ToolStartFailed;
    static constexpr int crashedExitCode = ResultCode::ToolCrashed;

    explicit ToolProcess(QObject *parent = nullptr);

    // Starts the tool named without directory or ".exe" (for example "ffmpeg").
    void startTool(const QString &toolName, const QStringList &arguments);

    // "ffmpeg" -> "ffmpeg.exe" on Windows, "ffmpeg" elsewhere.
    static QString programFileName(const QString &toolName);
    // Absolute path beside the running executable if the program is there,
    // else the path found on the search path, else the bare file name.
    static QString programPath(const QString &toolName);

signals:
    void toolFinished(int exitCode);

protected:
#if defined(Q_OS_UNIX) && QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    void setupChildProcess() override;
#endif

private:
    void onFinished(int exitCode, QProcess::ExitStatus exitStatus);
    void onErrorOccurred(QProcess::ProcessError error);

    const qint64 parentPid;
    bool finishReported = false;
};
