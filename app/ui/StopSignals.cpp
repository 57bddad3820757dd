#include "StopSignals.h"

#include <QSocketNotifier>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

constexpr int interruptExitCode = 128 + 2; // SIGINT
constexpr int terminateExitCode = 128 + 15; // SIGTERM

#ifdef Q_OS_WIN

StopSignals *current = nullptr;

// Runs on a thread of the console's own; the receiver lives on the main thread.
BOOL WINAPI onConsoleEvent(DWORD event)
{
    StopSignals *receiver = current;
    if (!receiver)
        return FALSE;
    const int exitCode = event == CTRL_C_EVENT ? interruptExitCode : terminateExitCode;
    QMetaObject::invokeMethod(receiver, "received", Qt::QueuedConnection, Q_ARG(int, exitCode));
    return TRUE;
}

#else

// The self-pipe: the handler only writes the signal's number, which is all it may do.
int pipeEnds[2] = {-1, -1};
const int handledSignals[] = {SIGINT, SIGTERM};
struct sigaction previous[2];
bool installed[2] = {false, false};

void onSignal(int number)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    ssize_t written = ::write(pipeEnds[1], &byte, 1);
    (void)written;
    errno = savedErrno;
}

#endif

} // namespace

StopSignals::StopSignals(QObject *parent) : QObject(parent)
{
#ifdef Q_OS_WIN
    current = this;
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#else
    if (::pipe(pipeEnds) != 0)
        return;
    for (const int end : pipeEnds) {
        ::fcntl(end, F_SETFD, FD_CLOEXEC);
        ::fcntl(end, F_SETFL, ::fcntl(end, F_GETFL) | O_NONBLOCK);
    }
    notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &StopSignals::onReadable);
    for (int i = 0; i < 2; ++i) {
        struct sigaction old = {};
        ::sigaction(handledSignals[i], nullptr, &old);
        // A signal the caller chose to ignore (nohup, a background job) stays ignored.
        if (old.sa_handler == SIG_IGN)
            continue;
        struct sigaction action = {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        installed[i] = ::sigaction(handledSignals[i], &action, &previous[i]) == 0;
    }
#endif
}

StopSignals::~StopSignals()
{
#ifdef Q_OS_WIN
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    current = nullptr;
#else
    for (int i = 0; i < 2; ++i) {
        if (installed[i])
            ::sigaction(handledSignals[i], &previous[i], nullptr);
        installed[i] = false;
    }
    delete notifier;
    for (int &end : pipeEnds) {
        if (end >= 0)
            ::close(end);
        end = -1;
    }
#endif
}

void StopSignals::onReadable()
{
#ifndef Q_OS_WIN
    unsigned char byte = 0;
    while (::read(pipeEnds[0], &byte, 1) == 1)
        emit received(byte == SIGINT ? interruptExitCode : terminateExitCode);
#endif
}
