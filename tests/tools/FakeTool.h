#pragma once

// Stand-ins for a tool where the real one cannot produce the case: one that
// hangs, crashes or prints its report slowly. They are shell scripts put in
// front of PATH, so they need a Unix shell.

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

    // Writes an executable script named `name` with the given shell body.
    bool add(const QString &name, const QByteArray &body)
    {
        QFile script(QDir(dir.path()).filePath(name));
        if (!script.open(QIODevice::WriteOnly) || script.write("#!/bin/sh\n" + body + '\n') < 0)
            return false;
        script.close();
        return script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    // Nothing but this folder on PATH: no tool is found there.
    void hideSystemTools() { qputenv("PATH", QFile::encodeName(dir.path())); }

    QString path() const { return dir.path(); }

private:
    QTemporaryDir dir;
    QByteArray savedPath;
};
