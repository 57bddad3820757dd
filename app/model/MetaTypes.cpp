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

// Each type under the one name it is declared with: every connect is checked
// at compile time, so no signature text has to find a second spelling.
void registerMetaTypes()
{
    qRegisterMetaType<FD::FileData>();
    qRegisterMetaType<QVector<FD::FileData>>();
    qRegisterMetaType<QList<QUrl>>();
    qRegisterMetaType<QFileInfo>();
    qRegisterMetaType<ExportOptions>();
    qRegisterMetaType<ExportResult>();
    qRegisterMetaType<AudioTCOptions>();
    qRegisterMetaType<QJsonObject>();
    qRegisterMetaType<QStringList>();
}
