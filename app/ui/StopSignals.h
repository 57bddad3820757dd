#pragma once

#include <QObject>

class QSocketNotifier;

// Ctrl-C and a termination request (SIGINT, SIGTERM; on Windows the console's
// Ctrl-C, Ctrl-Break and close) turned into a signal on the event loop, so a
// run without a window can stop as its Cancel button would instead of dying
// in the middle. One at a time; the default handling returns with its end.
class StopSignals : public QObject
{
    Q_OBJECT

public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

signals:
    // The exit code a shell expects after that signal: 128 + its number (130, 143).
    void received(int exitCode);

private:
    void onReadable();

    QSocketNotifier *notifier = nullptr;
};
