#include "UpdateCheck.h"
#include "UiTestSupport.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QSysInfo>
#include <QtTest>

class UpdateCheckTest : public QObject
{
    Q_OBJECT

private:
    struct Outcome
    {
        bool emitted = false;
        uint major = 0;
        uint minor = 0;
        QString description;
        QUrl link;
    };

    // Runs one check against `url` and waits until its reply has been handled.
    Outcome check(const QUrl &url)
    {
        UpdateCheck updateCheck(nullptr, url);
        QSignalSpy info(&updateCheck, &UpdateCheck::currentVersionInfo);
        auto *manager = updateCheck.findChild<QNetworkAccessManager *>();
        QSignalSpy finished(manager, &QNetworkAccessManager::finished);
        updateCheck.requestVersionInfo();
        if (!finished.wait(10000))
            qWarning("no reply within 10 s");
        Outcome outcome;
        outcome.emitted = info.count() == 1;
        if (info.count() > 1)
            qWarning("more than one report for one reply");
        if (outcome.emitted) {
            outcome.major = info.at(0).at(0).toUInt();
            outcome.minor = info.at(0).at(1).toUInt();
            outcome.description = info.at(0).at(2).toString();
            outcome.link = info.at(0).at(3).toUrl();
        }
        return outcome;
    }

    Outcome serve(const QByteArray &body, int status = 200)
    {
        server.setResponse(status, body);
        return check(server.url());
    }

    LoopbackHttpServer server;

private slots:
    void initTestCase()
    {
        qRegisterMetaType<QNetworkReply *>();
    }

    void addressAndUserAgent()
    {
        const QUrl address = UpdateCheck::defaultInfoUrl();
        QCOMPARE(address.scheme(), QString("https"));
        QCOMPARE(address.path(), QString("/kvx_dorrik_appinfo_win.xml"));
        QVERIFY(address.host().endsWith("corvanta.com"));

        const QString expected = QString("Corvanta Dorrik V1.0 %1 (%2)")
                                     .arg(QSysInfo::prettyProductName(), QSysInfo::currentCpuArchitecture());
        QCOMPARE(UpdateCheck::userAgent(), expected);
        serve(updateDocument("1", "0", "https://example.invalid/d", QString()));
        QCOMPARE(server.header("User-Agent"), expected.toLatin1());
        QVERIFY(server.lastRequest().startsWith("GET /kvx_dorrik_appinfo_win.xml HTTP/1.1\r\n"));
    }

    void usableDocuments()
    {
        Outcome o = serve(updateDocument("1", "1", "https://dl.corvanta.com/dorrik_1_1.zip", "Faster import"));
        QVERIFY(o.emitted);
        QCOMPARE(o.major, 1u);
        QCOMPARE(o.minor, 1u);
        QCOMPARE(o.description, QString("Faster import"));
        QCOMPARE(o.link, QUrl("https://dl.corvanta.com/dorrik_1_1.zip"));

        // Nesting and order do not matter; text that is no number reads 0.
        o = serve("<A><B><CORVANTAAPP url=\"http://x.test/a\"></CORVANTAAPP></B>"
                  "<MINORVERSION>seven</MINORVERSION><C><MAJORVERSION> 2 </MAJORVERSION></C></A>");
        QVERIFY(o.emitted);
        QCOMPARE(o.major, 2u);
        QCOMPARE(o.minor, 0u);
        QVERIFY(o.description.isEmpty());

        // A second MAJORVERSION counts in place of the missing link.
        o = serve("<A><MAJORVERSION>3</MAJORVERSION><MAJORVERSION>4</MAJORVERSION><MINORVERSION>1</MINORVERSION></A>");
        QVERIFY(o.emitted);
        QCOMPARE(o.major, 4u);
        QVERIFY(o.link.isEmpty());

        // The description arrives as the document's text; showing it safely is the window's part.
        o = serve(updateDocument("1", "2", "javascript:alert(1)", "&lt;b&gt;bold&lt;/b&gt;"));
        QVERIFY(o.emitted);
        QCOMPARE(o.description, QString("<b>bold</b>"));
        QCOMPARE(o.link.scheme(), QString("javascript"));
    }

    void unusableDocuments()
    {
        QVERIFY(!serve(updateDocument("1", "1", QString(), QString())).emitted);
        QVERIFY(!serve("<a><majorversion>2</majorversion><minorversion>0</minorversion>"
                       "<corvantaapp url=\"http://x.test\"/></a>").emitted);
        QVERIFY(!serve("this is no xml at all").emitted);
        QVERIFY(!serve(QByteArray()).emitted);
        QVERIFY(!serve(updateDocument("2", "0", "https://x.test/", "d"), 404).emitted);
        QVERIFY(!serve(updateDocument("2", "0", "https://x.test/", "d"), 500).emitted);

        // A body far beyond any information document is abandoned.
        QByteArray huge = updateDocument("2", "0", "https://x.test/", "d");
        huge.append(QByteArray(2 * UpdateCheck::maxDocumentSize, ' '));
        QVERIFY(!serve(huge).emitted);
    }

    void networkError()
    {
        // A port nobody listens on: refused at once.
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 port = probe.serverPort();
        probe.close();
        QVERIFY(!check(QUrl(QString("http://127.0.0.1:%1/kvx_dorrik_appinfo_win.xml").arg(port))).emitted);
    }

    void emptyAddressSendsNothing()
    {
        UpdateCheck updateCheck(nullptr, QUrl());
        auto *manager = updateCheck.findChild<QNetworkAccessManager *>();
        QSignalSpy finished(manager, &QNetworkAccessManager::finished);
        updateCheck.requestVersionInfo();
        QVERIFY(!finished.wait(200));
    }
};

QTEST_MAIN(UpdateCheckTest)
#include "tst_updatecheck.moc"
