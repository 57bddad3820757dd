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
        QString reports;      // what was reported: "none", "<major>.<minor> [<description>] <link>", or a count
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
        if (info.isEmpty())
            outcome.reports = "none";
        else if (info.count() > 1)
            outcome.reports = QString("%1 reports").arg(info.count());
        else
            outcome.reports = QString("%1.%2 [%3] %4").arg(info.at(0).at(0).toUInt()).arg(info.at(0).at(1).toUInt())
                                  .arg(info.at(0).at(2).toString(), info.at(0).at(3).toUrl().toString());
        return outcome;
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
        server.setResponse(200, updateDocument("1", "0", "https://example.invalid/d", QString()));
        QVERIFY(check(server.url()).replied);
        QCOMPARE(server.header("User-Agent"), expected.toLatin1());
        QVERIFY(server.lastRequest().startsWith("GET /kvx_dorrik_appinfo_win.xml HTTP/1.1\r\n"));
    }

    void documents_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("reports");

        const QByteArray newer = updateDocument("2", "0", "https://x.test/", "d");
        QTest::newRow("all parts") << updateDocument("1", "1", "https://dl.corvanta.com/1_1.zip", "Faster import")
                                   << 200 << "1.1 [Faster import] https://dl.corvanta.com/1_1.zip";
        // Nesting and order do not matter; text that is no number reads 0.
        QTest::newRow("nested, minor no number")
            << QByteArray("<A><B><CORVANTAAPP url=\"http://x.test/a\"></CORVANTAAPP></B>"
                          "<MINORVERSION>seven</MINORVERSION><C><MAJORVERSION> 2 </MAJORVERSION></C></A>")
            << 200 << "2.0 [] http://x.test/a";
        // A second MAJORVERSION counts in place of the missing link.
        QTest::newRow("second major, no link")
            << QByteArray("<A><MAJORVERSION>3</MAJORVERSION><MAJORVERSION>4</MAJORVERSION><MINORVERSION>1</MINORVERSION></A>")
            << 200 << "4.1 [] ";
        // The description arrives as the document's text; showing it safely is the window's part.
        QTest::newRow("markup and script link") << updateDocument("1", "2", "javascript:alert(1)", "&lt;b&gt;bold&lt;/b&gt;")
                                                << 200 << "1.2 [<b>bold</b>] javascript:alert(1)";
        QTest::newRow("no link") << updateDocument("1", "1", QString(), QString()) << 200 << "none";
        QTest::newRow("lower-case names") << QByteArray("<a><majorversion>2</majorversion><minorversion>0"
                                                        "</minorversion><corvantaapp url=\"http://x.test\"/></a>")
                                          << 200 << "none";
        QTest::newRow("no xml") << QByteArray("this is no xml at all") << 200 << "none";
        QTest::newRow("empty") << QByteArray() << 200 << "none";
        QTest::newRow("404") << newer << 404 << "none";
        QTest::newRow("500") << newer << 500 << "none";
        // A body far beyond any information document is abandoned.
        QTest::newRow("huge") << newer + QByteArray(2 * UpdateCheck::maxDocumentSize, ' ') << 200 << "none";
    }

    void documents()
    {
        QFETCH(QByteArray, document);
        QFETCH(int, status);
        QFETCH(QString, reports);
        server.setResponse(status, document);
        const Outcome o = check(server.url());
        QVERIFY(o.replied);
        QCOMPARE(o.reports, reports);
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
        QCOMPARE(o.reports, QString("none"));
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
