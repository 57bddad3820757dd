#include "FFMpegHandler.h"

#include <QProcess>

// ---- construction and destruction ------------------------------------------

FFMpegHandler::FFMpegHandler(QObject *parent)
    : QObject(parent),
      probeProcess(new QProcess(this)),
      exportProcess(new QProcess(this)),
      extractProcess(new QProcess(this))
{
}

FFMpegHandler::~FFMpegHandler() = default;

// ---- probe -----------------------------------------------------------------

void FFMpegHandler::ffprobeFile(QString, uint) {}
void FFMpegHandler::ffprobeReady() {}
void FFMpegHandler::ffprobeFinished(int) {}

// ---- audio extraction ------------------------------------------------------

void FFMpegHandler::ffmpegAudioExtract(FileData, QString) {}
void FFMpegHandler::ffmpegAudioExtractFinished(int) {}

// ---- export ----------------------------------------------------------------

void FFMpegHandler::ffmpegExport(FileData, ExportOptions) {}
void FFMpegHandler::ffmpegExportError() {}
void FFMpegHandler::ffmpegExportFinished(int) {}
void FFMpegHandler::onExportCancel() {}
