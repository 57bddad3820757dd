#pragma once

// Helpers shared by the window tests: answering modal message boxes and a
// one-shot HTTP server on the loopback interface.

#include <QAbstractButton>
#include <QApplication>
#include <QByteArray>
#include <QHostAddress>
#include <QMessageBox>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

// Answers every message box that becomes modal while it lives, with `button`,
// and records what each box said. A test that expects no box checks count().
class BoxAnswerer : public QObject
{
public:
    explicit BoxAnswerer(QMessageBox::StandardButton button = QMessageBox::Ok) : answer(button)
    {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, this, [this] { poll(); });
        timer.start();
    }

    void setAnswer(QMessageBox::StandardButton button) { answer = button; }
    int count() const { return titles.size(); }
    QString lastTitle() const { return titles.value(titles.size() - 1); }
    QString lastText() const { return texts.value(texts.size() - 1); }
    QString lastDetails() const { return details.value(details.size() - 1); }
    Qt::TextFormat lastFormat() const { return format; }

private:
    void poll()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || box == answered)
            return;
        answered = box;
        titles << box->windowTitle();
        texts << box->text();
        details << box->detailedText();
        format = box->textFormat();
        QAbstractButton *button = box->button(answer);
        if (!button)
            button = box->buttons().value(0);
        button->click();
    }

    QTimer timer;
    QMessageBox::StandardButton answer;
    QPointer<QMessageBox> answered;
    QStringList titles;
    QStringList texts;
    QStringList details;
    Qt::TextFormat format = Qt::AutoText;
};

// Serves one canned response per connection and keeps the last request head.
class LoopbackHttpServer : public QObject
{
public:
    LoopbackHttpServer()
    {
        QObject::connect(&server, &QTcpServer::newConnection, this, [this] { serve(); });
        server.listen(QHostAddress::LocalHost, 0);
    }

    void setResponse(int status, const QByteArray &body)
    {
        statusCode = status;
        responseBody = body;
    }

    QUrl url() const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/kvx_dorrik_appinfo_win.xml").arg(server.serverPort()));
    }

    QByteArray lastRequest() const { return request; }

    QByteArray header(const QByteArray &name) const
    {
        for (const QByteArray &line : request.split('\n')) {
            const int colon = line.indexOf(':');
            if (colon > 0 && line.left(colon).trimmed().toLower() == name.toLower())
                return line.mid(colon + 1).trimmed();
        }
        return QByteArray();
    }

private:
    void serve()
    {
        while (QTcpSocket *socket = server.nextPendingConnection()) {
            auto *buffer = new QByteArray;
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                buffer->append(socket->readAll());
                if (!buffer->contains("\r\n\r\n"))
                    return;
                request = *buffer;
                QByteArray reply = "HTTP/1.1 " + QByteArray::number(statusCode) + " X\r\n"
                                   "Content-Type: text/xml\r\nConnection: close\r\nContent-Length: "
                                   + QByteArray::number(responseBody.size()) + "\r\n\r\n" + responseBody;
                socket->write(reply);
                socket->disconnectFromHost();
            });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, [socket, buffer] {
                delete buffer;
                socket->deleteLater();
            });
        }
    }

    QTcpServer server;
    int statusCode = 200;
    QByteArray responseBody;
    QByteArray request;
};

inline QByteArray updateDocument(const QString &major, const QString &minor, const QString &url,
                                 const QString &description)
{
    QString xml = QStringLiteral("<?xml version=\"1.0\"?>\n<APPINFO>\n");
    if (!major.isNull())
        xml += QStringLiteral("  <MAJORVERSION>%1</MAJORVERSION>\n").arg(major);
    if (!minor.isNull())
        xml += QStringLiteral("  <MINORVERSION>%1</MINORVERSION>\n").arg(minor);
    if (!url.isNull())
        xml += QStringLiteral("  <CORVANTAAPP url=\"%1\"/>\n").arg(url);
    if (!description.isNull())
        xml += QStringLiteral("  <DESCRIPTION>%1</DESCRIPTION>\n").arg(description);
    xml += QStringLiteral("</APPINFO>\n");
    return xml.toUtf8();
}
