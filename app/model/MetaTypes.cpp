#include "MetaTypes.h"

#include "AudioTCOptions.h"
#include "ExportOptions.h"
#include "ExportResult.h"
#include "FileData.h"

#include <QFileInfo>
#include <QJsonObject>
#include <QList>
#include <QMetaType>
#include <QStringList>
#include <QUrl>
#include <QVector>


void registerMetaTypes()
{
    qRegisterMetaType<QVector<FD::FileData>>("QVector<FileData>");
    qRegisterMetaType<FD::FileData>("FD::FileData");
    qRegisterMetaType<FD::FileData>("FileData");
    qRegisterMetaType<QList<QUrl>>("QList<QUrl>");
    qRegisterMetaType<QFileInfo>("QFileInfo");
    qRegisterMetaType<ExportOptions>("ExportOptions");
    qRegisterMetaType<ExportResult>("ExportResult");
    qRegisterMetaType<AudioTCOptions>("AudioTCOptions");
    qRegisterMetaType<QJsonObject>("QJsonObject");
    qRegisterMetaType<QStringList>("QStringList");
}
