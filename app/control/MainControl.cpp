#include "MainControl.h"

#include "FFMpegHandler.h"
#include "LTCHandler.h"

// Skeleton: the jobs fill these slots in.

MainControl::MainControl(QObject *parent) : QObject(parent) {}

MainControl::~MainControl() = default;

void MainControl::onFFProbeFile(FileData, int) {}
void MainControl::onIterateThroughDir(QList<QUrl>) {}
void MainControl::onInitAudioTCInfo(FileData, int) {}
void MainControl::onUpdateAudioTCInfo(QVector<FileData>, AudioTCOptions) {}
void MainControl::onExportReq(QVector<FileData>, ExportOptions) {}
void MainControl::onExportCancel() {}
void MainControl::onFFProbeReady(FFMpegHandler *, QJsonObject, uint, int) {}
void MainControl::onAudioExtractReady(FFMpegHandler *, FileData, int) {}
void MainControl::onPelbrookReady(LTCHandler *, QJsonObject, QString, int) {}
void MainControl::onExportProgress(uint) {}
void MainControl::onExportReady(FFMpegHandler *, int) {}
