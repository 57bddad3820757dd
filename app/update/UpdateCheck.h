#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

// Asks the maker's server once per start whether a newer version exists and
// reports what the information document says. Every failure ends silently.
class UpdateCheck : public QObject
{
    Q_OBJECT

public:
    explicit UpdateCheck(QObject *parent = nullptr, const QUrl &infoUrl = defaultInfoUrl());

    static QUrl defaultInfoUrl();
    static QString userAgent();

    // Bodies larger than this are not ours; the download is abandoned.
    static constexpr qint64 maxDocumentSize = 1024 * 1024;

    void requestVersionInfo();

signals:
    void currentVersionInfo(uint majorVersion, uint minorVersion, QString description, QUrl downloadLink);

private slots:
    void replyFinished(QNetworkReply *reply);

private:
    QNetworkAccessManager *networkManager;
    QUrl infoUrl;
};
