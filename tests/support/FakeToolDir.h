#pragma once

// Stand-ins for a tool where the real one cannot produce the case (one that
// hangs, crashes, prints slowly or changes the real tool's arguments), and the
// one way tests change PATH: a folder put in front of it for the lifetime of
// this object. The stand-ins are scripts, so they need a Unix shell.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

class FakeToolDir
{
public:
    FakeToolDir() : savedPath(qgetenv("PATH"))
    {
        qputenv("PATH", QFile::encodeName(dir.path()) + ':' + savedPath);
    }
    ~FakeToolDir() { qputenv("PATH", savedPath); }
    FakeToolDir(const FakeToolDir &) = delete;
    FakeToolDir &operator=(const FakeToolDir &) = delete;

    // Writes an executable script named `name` with the given body.
    bool add(const QString &name, const QByteArray &body, const QByteArray &interpreter = "/bin/sh")
    {
        QFile script(filePath(name));
        if (!script.open(QIODevice::WriteOnly) || script.write("#!" + interpreter + '\n' + body + '\n') < 0)
            return false;
        script.close();
        return script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    // Nothing but this folder on PATH: no system tool is found.
    void hideSystemTools() { qputenv("PATH", QFile::encodeName(dir.path())); }

    QString path() const { return dir.path(); }
    QString filePath(const QString &name) const { return QDir(dir.path()).filePath(name); }

private:
    QTemporaryDir dir;
    QByteArray savedPath;
};
