#include "TestWait.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QThread>
#include <QtTest>

#include <unistd.h>

namespace TestWait {

void drainEvents()
{
    QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
    // Each round can post more (a queued signal whose slot posts another);
    // the bound only guards against a test that posts forever.
    for (int round = 0; round < 10000; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (!dispatcher || !dispatcher->processEvents(QEventLoop::AllEvents))
            return;
    }
    qWarning("drainEvents: events keep coming; gave up after 10000 rounds");
}

namespace {

// The fields after "(comm)" of /proc/<pid>/stat of each child of this program:
// state, ppid, ... (Linux).
QList<QList<QByteArray>> childStatFields()
{
    const QByteArray parent = QByteArray::number(::getpid());
    QList<QList<QByteArray>> children;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        if (!entry.at(0).isDigit())
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields.at(1) == parent)
            children << fields;
    }
    return children;
}

} // namespace

bool processRunning(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    return line.mid(line.lastIndexOf(')') + 2, 1) != "Z";
}

int runningChildren()
{
    return childStatFields().size();
}

long runningChildrenRssKb()
{
    long total = 0;
    for (const QList<QByteArray> &fields : childStatFields())
        total += fields.value(21).toLong() * (::sysconf(_SC_PAGESIZE) / 1024); // rss, in pages
    return total;
}

bool noChildrenLeft(int timeoutMs)
{
    return QTest::qWaitFor([] { return runningChildren() == 0; }, timeoutMs);
}

} // namespace TestWait
