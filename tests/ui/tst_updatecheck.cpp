#include "UpdateCheck.h"
#include "TestWait.h"
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
        bool replied = false; // the reply came and was handled
        int reports = 0;      // version reports it gave
        uint major = 0;
        uint minor = 0;
        QString description;
        QUrl link;
    };

    // Runs one check against `url`: waits for its reply, then lets everything
    // the reply set off happen, so a second report would be counted too.
    Outcome check(const QUrl &url)
    {
        UpdateCheck updateCheck(nullptr, url);
        QSignalSpy info(&updateCheck, &UpdateCheck::currentVersionInfo);
        auto *manager = updateCheck.findChild<QNetworkAccessManager *>();
        QSignalSpy finished(manager, &QNetworkAccessManager::finished);
        updateCheck.requestVersionInfo();
        Outcome outcome;
        outcome.replied = finished.wait(60000);
        TestWait::drainEvents();
        outcome.reports = info.count();
        if (outcome.reports > 0) {
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
        QVERIFY(serve(updateDocument("1", "0", "https://example.invalid/d", QString())).replied);
        QCOMPARE(server.header("User-Agent"), expected.toLatin1());
        QVERIFY(server.lastRequest().startsWith("GET /kvx_dorrik_appinfo_win.xml HTTP/1.1\r\n"));
    }

    void usableDocuments_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<uint>("major");
        QTest::addColumn<uint>("minor");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QUrl>("link");

        QTest::newRow("all parts")
            << updateDocument("1", "1", "https://dl.corvanta.com/dorrik_1_1.zip", "Faster import") << 1u << 1u
            << "Faster import" << QUrl("https://dl.corvanta.com/dorrik_1_1.zip");
        // Nesting and order do not matter; text that is no number reads 0.
        QTest::newRow("nested, minor no number")
            << QByteArray("<A><B><CORVANTAAPP url=\"http://x.test/a\"></CORVANTAAPP></B>"
                          "<MINORVERSION>seven</MINORVERSION><C><MAJORVERSION> 2 </MAJORVERSION></C></A>")
            << 2u << 0u << QString() << QUrl("http://x.test/a");
        // A second MAJORVERSION counts in place of the missing link.
        QTest::newRow("second major, no link")
            << QByteArray("<A><MAJORVERSION>3</MAJORVERSION><MAJORVERSION>4</MAJORVERSION>"
                          "<MINORVERSION>1</MINORVERSION></A>")
            << 4u << 1u << QString() << QUrl();
        // The description arrives as the document's text; showing it safely is the window's part.
        QTest::newRow("markup and script link")
            << updateDocument("1", "2", "javascript:alert(1)", "&lt;b&gt;bold&lt;/b&gt;") << 1u << 2u
            << "<b>bold</b>" << QUrl("javascript:alert(1)");
    }

    void usableDocuments()
    {
        QFETCH(QByteArray, document);
        QFETCH(uint, major);
        QFETCH(uint, minor);
        QFETCH(QString, description);
        QFETCH(QUrl, link);
        const Outcome o = serve(document);
        QVERIFY(o.replied);
        QCOMPARE(o.reports, 1);
        QCOMPARE(o.major, major);
        QCOMPARE(o.minor, minor);
        QCOMPARE(o.description, description);
        QCOMPARE(o.link, link);
    }

    void unusableDocuments_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<int>("status");
        QTest::newRow("no link") << updateDocument("1", "1", QString(), QString()) << 200;
        QTest::newRow("lower-case names") << QByteArray("<a><majorversion>2</majorversion><minorversion>0"
                                                        "</minorversion><corvantaapp url=\"http://x.test\"/></a>")
                                          << 200;
        QTest::newRow("no xml") << QByteArray("this is no xml at all") << 200;
        QTest::newRow("empty") << QByteArray() << 200;
        QTest::newRow("404") << updateDocument("2", "0", "https://x.test/", "d") << 404;
        QTest::newRow("500") << updateDocument("2", "0", "https://x.test/", "d") << 500;
        // A body far beyond any information document is abandoned.
        QTest::newRow("huge") << updateDocument("2", "0", "https://x.test/", "d")
                                     + QByteArray(2 * UpdateCheck::maxDocumentSize, ' ')
                              << 200;
    }

    void unusableDocuments()
    {
        QFETCH(QByteArray, document);
        QFETCH(int, status);
        const Outcome o = serve(document, status);
        QVERIFY(o.replied);
        QCOMPARE(o.reports, 0);
    }

    void networkError()
    {
        // A port nobody listens on: refused at once.
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 port = probe.serverPort();
        probe.close();
        const Outcome o = check(QUrl(QString("http://127.0.0.1:%1/kvx_dorrik_appinfo_win.xml").arg(port)));
        QVERIFY(o.replied);
        QCOMPARE(o.reports, 0);
    }

    void emptyAddressSendsNothing()
    {
        UpdateCheck updateCheck(nullptr, QUrl());
        auto *manager = updateCheck.findChild<QNetworkAccessManager *>();
        QSignalSpy finished(manager, &QNetworkAccessManager::finished);
        updateCheck.requestVersionInfo();
        QVERIFY(manager->findChildren<QNetworkReply *>().isEmpty());
        TestWait::drainEvents();
        QCOMPARE(finished.count(), 0);
    }
};

QTEST_MAIN(UpdateCheckTest)
#include "tst_updatecheck.moc"
