#pragma once

#include "AudioTCOptions.h"

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QString>

class QProcess;

// Driver of the Pelbrook decoder: one handler serves one read of one WAV file
// and reports exactly one result.
class LTCHandler : public QObject
{
    Q_OBJECT

public:
    explicit LTCHandler(QObject *parent = nullptr);
    ~LTCHandler() override;

    void readTimecode(QString wavPath, bool preferSlope);
    void readTimecode(QString wavPath, AudioTCOptions options, bool preferSlope);

signals:
    void pelbrookResult(LTCHandler *handler, QJsonObject ltcReadResultJson, QString filePath, int exitCode);

private slots:
    void pelbrookReady();
    void pelbrookFinished(int exitCode);

private:
    QProcess *decoderProcess = nullptr;
    QByteArray outputBuffer;
    QString wavPath;
};

Q_DECLARE_METATYPE(LTCHandler *)
