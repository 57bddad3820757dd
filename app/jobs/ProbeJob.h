#pragma once

#include "Job.h"

#include <QByteArray>
#include <QJsonObject>

// ffprobe of one media file: its format and streams as JSON.
class ProbeJob : public Job
{
    Q_OBJECT

public:
    ProbeJob(const QString &filePath, int fileId, QObject *parent = nullptr);

    static QStringList arguments(const QString &filePath);

    int fileId() const { return id; }
    // ffprobe's report; empty when it printed none or failed.
    QJsonObject report() const { return json; }

protected:
    void run() override;
    void toolEnded(int exitCode) override;

private:
    QString path;
    int id;
    QJsonObject json;
};
