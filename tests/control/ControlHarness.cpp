#include "ControlHarness.h"

#include "JobRunner.h"
#include "MainControl.h"
#include "MetaTypes.h"

ControlHarness::ControlHarness(bool actAsTable) : rows(tableModel.records())
{
    registerMetaTypes();
    control = new MainControl;
    control->moveToThread(&worker);

    connect(this, &ControlHarness::iterateThroughDirReq, control, &MainControl::onIterateThroughDir);
    connect(this, &ControlHarness::ffprobeFileReq, control, &MainControl::onFFProbeFile);
    connect(this, &ControlHarness::initAudioTCInfoReq, control, &MainControl::onInitAudioTCInfo);
    connect(this, &ControlHarness::updateAudioTCInfoReq, control, &MainControl::onUpdateAudioTCInfo);
    connect(this, &ControlHarness::exportFilesReq, control, &MainControl::onExportReq);
    connect(this, &ControlHarness::cancelExport, control, &MainControl::onExportCancel);

    connect(control, &MainControl::gotFileFromDir, this, &ControlHarness::onGotFileFromDir);
    connect(control, &MainControl::ffprobeResult, this, &ControlHarness::onFFProbeResult);
    connect(control, &MainControl::audioTCReadResult, this, &ControlHarness::onAudioTCReadResult);
    connect(control, &MainControl::importProgress, this, &ControlHarness::onImportProgress);
    connect(control, &MainControl::exportProgress, this, &ControlHarness::onExportProgress);
    connect(control, &MainControl::exportStarted, this, &ControlHarness::onExportStarted);
    connect(control, &MainControl::exportReady, this, &ControlHarness::onExportReady);
    connect(control, &MainControl::exportFileResult, this,
            [this](::ExportResult result) {
                ++deliveries;
                fileResults.append(result);
            });
    connect(control, &MainControl::importReady, this, &ControlHarness::onImportReady);
    connect(control, &MainControl::readingFinished, this, &ControlHarness::onReadingFinished);
    if (actAsTable)
        FileTableModel::connectToControl(&tableModel, control);

    worker.start();
}

ControlHarness::~ControlHarness()
{
    // The controller and its tool drivers belong to the worker thread.
    MainControl *doomed = control;
    QMetaObject::invokeMethod(doomed, [doomed] { delete doomed; }, Qt::BlockingQueuedConnection);
    worker.quit();
    worker.wait();
}

void ControlHarness::sync()
{
    // Queued calls reach the worker in the order they were sent.
    QMetaObject::invokeMethod(control, [] {}, Qt::BlockingQueuedConnection);
    TestWait::drainEvents();
}

int ControlHarness::drivers()
{
    int count = 0;
    QMetaObject::invokeMethod(control, [this, &count] {
        count = control->findChild<JobRunner *>()->runningCount();
    }, Qt::BlockingQueuedConnection);
    return count;
}

bool ControlHarness::settle(int timeoutMs)
{
    // Playing the table, a delivered result can send a new request; so again
    // until a round delivers nothing.
    int before = -1;
    while (before != deliveries) {
        before = deliveries;
        if (!QTest::qWaitFor([this] { return drivers() == 0; }, timeoutMs))
            return false;
        TestWait::drainEvents();
    }
    return true;
}

void ControlHarness::onImportProgress(int current, int all, QString statusMsg)
{
    ++deliveries;
    importProgress.append({current, all, statusMsg});
}

void ControlHarness::onExportProgress(int current, int all, QString statusMsg)
{
    ++deliveries;
    exportProgress.append({current, all, statusMsg});
    exportLog.append(QStringLiteral("progress %1/%2 %3").arg(current).arg(all).arg(statusMsg));
}

void ControlHarness::onExportStarted()
{
    ++deliveries;
    ++exportStartedCount;
    exportLog.append(QStringLiteral("started"));
}

void ControlHarness::onExportReady(int exportResult, QStringList failedFiles)
{
    ++deliveries;
    exportResults.append({exportResult, failedFiles});
    exportLog.append(QStringLiteral("ready %1 [%2]").arg(exportResult).arg(failedFiles.join(',')));
}
