#include "ControlHarness.h"

#include "JobRunner.h"
#include "MainControl.h"
#include "MetaTypes.h"

ControlHarness::ControlHarness(bool actAsTable) : actAsTable(actAsTable)
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

void ControlHarness::onGotFileFromDir(QFileInfo fileInfo)
{
    ++deliveries;
    announced.append(fileInfo);
    if (!actAsTable)
        return;
    FileData record = FileData::fromFileInfo(fileInfo);
    record.fileNumber = rows.size();
    rows.append(record);
    emit ffprobeFileReq(record, record.fileNumber);
}

void ControlHarness::onFFProbeResult(FileData fileData, int fileNumber, int exitCode)
{
    ++deliveries;
    probeResults.append({fileData, fileNumber, exitCode});
    if (!actAsTable || fileNumber < 0 || fileNumber >= rows.size())
        return;
    FileData &row = rows[fileNumber];
    if (fileData.hasFileTC && !fileData.fileTC.isEmpty())
        row.setFileTC(fileData.fileTC);
    if (fileData.timeReference != 0)
        row.timeReference = fileData.timeReference;
    if (exitCode != 0)
        return;
    row.duration = fileData.duration;
    row.takeProbeMembers(fileData);
    emit initAudioTCInfoReq(row, fileNumber);
}

void ControlHarness::onAudioTCReadResult(QJsonObject report, int row, int stream, int exitCode)
{
    ++deliveries;
    audioResults.append({report, row, stream, exitCode});
    if (!actAsTable || exitCode != 0 || row < 0 || row >= rows.size())
        return;
    FileData &record = rows[row];
    if (record.hasAudioTC && !record.audioTCReadRequested)
        return;
    record.audioTCReading = AudioTCReading::fromReport(report);
    record.setAudioTC(record.audioTCReading.timecode, {stream, record.audioTCReading.channel});
    record.audioTCReadRequested = false;
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
