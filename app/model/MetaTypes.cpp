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


// Each type under the one name it is declared with, the one the signals use.
void registerMetaTypes()
{
    qRegisterMetaType<FileData>();
    qRegisterMetaType<QVector<FileData>>();
    qRegisterMetaType<QList<QUrl>>();
    qRegisterMetaType<QFileInfo>();
    qRegisterMetaType<ExportOptions>();
    qRegisterMetaType<ExportResult>();
    qRegisterMetaType<AudioTCOptions>();
    qRegisterMetaType<QJsonObject>();
    qRegisterMetaType<QStringList>();
}
