#pragma once

#include "Job.h"
#include "TestWait.h"

#include <QPointer>
#include <QtTest>

// Starts the job and waits until it has finished and deleted itself; `read`
// sees the job in its finished handler, the only place its result can be
// read. Returns how often finished() came, or -1 if the job is still there.
template <typename J, typename Read>
int runToEnd(J *job, Read read, int timeoutMs = TestWait::toolWorkMs)
{
    int finishedCount = 0;
    QPointer<J> alive(job);
    const auto connection = QObject::connect(job, &Job::finished, [&finishedCount, &read](Job *done) {
        ++finishedCount;
        read(static_cast<J *>(done));
    });
    job->start();
    if (!QTest::qWaitFor([&alive] { return alive.isNull(); }, timeoutMs)) {
        QObject::disconnect(connection);
        return -1;
    }
    TestWait::drainEvents();
    return finishedCount;
}
