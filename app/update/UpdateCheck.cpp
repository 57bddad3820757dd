#include "UpdateCheck.h"

#include "AppInfo.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSysInfo>
#include <QXmlStreamReader>

UpdateCheck::UpdateCheck(QObject *parent, const QUrl &infoUrl)
    : QObject(parent), networkManager(new QNetworkAccessManager(this)), infoUrl(infoUrl)
{
}

QUrl UpdateCheck::defaultInfoUrl()
{
    return QUrl(QStringLiteral("https://updates.corvanta.com/kvx_dorrik_appinfo_win.xml"));
}

QString UpdateCheck::userAgent()
{
    return QStringLiteral("%1 V%2.%3 %4 (%5)")
        .arg(AppInfo::appName())
        .arg(AppInfo::majorVersion)
        .arg(AppInfo::minorVersion)
        .arg(QSysInfo::prettyProductName(), QSysInfo::currentCpuArchitecture());
}

void UpdateCheck::requestVersionInfo()
{
    // An empty address means the check is switched off (offline demos, tests).
    if (infoUrl.isEmpty())
        return;
    const QByteArray agent = userAgent().toLatin1();
    connect(networkManager, &QNetworkAccessManager::finished, this, &UpdateCheck::replyFinished,
            Qt::UniqueConnection);
    QNetworkRequest request(QUrl(infoUrl.toString(), QUrl::TolerantMode));
    request.setRawHeader("User-Agent", agent);
    QNetworkReply *reply = networkManager->get(request);
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > maxDocumentSize)
            reply->abort();
    });
}

void UpdateCheck::replyFinished(QNetworkReply *reply)
{
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError)
        return;
    const QByteArray body = reply->read(maxDocumentSize + 1);
    if (body.size() > maxDocumentSize)
        return;

    QXmlStreamReader xml(body);
    uint major = 0;
    uint minor = 0;
    QString description;
    QUrl link;
    int count = 0;

    while (!xml.atEnd() && !xml.hasError()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QString name = xml.name().toString();
        if (name == QLatin1String("MAJORVERSION")) {
            major = xml.readElementText().trimmed().toUInt();
            ++count;
        } else if (name == QLatin1String("MINORVERSION")) {
            minor = xml.readElementText().trimmed().toUInt();
            ++count;
        } else if (name == QLatin1String("CORVANTAAPP")) {
            const QXmlStreamAttributes attributes = xml.attributes();
            for (const QXmlStreamAttribute &attribute : attributes) {
                if (attribute.name() == QLatin1String("url")) {
                    link = QUrl(attribute.value().toString());
                    ++count;
                }
            }
        } else if (name == QLatin1String("DESCRIPTION")) {
            description = xml.readElementText();
        }
    }

    if (count > 2)
        emit currentVersionInfo(major, minor, description, link);
}
