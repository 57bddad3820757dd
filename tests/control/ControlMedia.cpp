#include "ControlMedia.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace ControlMedia {

namespace {

bool run(const QString &program, const QStringList &arguments, QString *errors,
         QByteArray *output = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000))
        return false;
    if (output)
        *output = process.readAllStandardOutput();
    const QString err = QString::fromLocal8Bit(process.readAllStandardError());
    if (errors)
        *errors = err;
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QString tool(const QString &name)
{
    const QString beside = QCoreApplication::applicationDirPath() + QLatin1Char('/') + name;
    if (QFileInfo(beside).isExecutable())
        return beside;
    return QStandardPaths::findExecutable(name);
}

} // namespace

int toneHz(int stream, int channel)
{
    return 300 + 200 * stream + 50 * channel;
}

bool ffmpeg(const QStringList &arguments, QString *errors)
{
    return run(tool(QStringLiteral("ffmpeg")),
               QStringList{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y")}
                   + arguments,
               errors);
}

bool makeWav(const QString &path, const Audio &audio, double seconds, const QStringList &ltcgenExtra,
             int streamNumber)
{
    if (audio.ltcChannel < 0) {
        // Tones only.
        QStringList args;
        QString merge;
        for (int c = 0; c < audio.channels; ++c) {
            args << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i")
                 << QStringLiteral("sine=frequency=%1:sample_rate=48000:duration=%2")
                        .arg(toneHz(streamNumber, c)).arg(seconds);
            merge += QStringLiteral("[%1:a]").arg(c);
        }
        if (audio.channels > 1)
            args << QStringLiteral("-filter_complex")
                 << merge + QStringLiteral("amerge=inputs=%1").arg(audio.channels);
        return ffmpeg(args + QStringList{QStringLiteral("-c:a"), QStringLiteral("pcm_s16le"), path});
    }
    QStringList args{path,
                     QStringLiteral("--rate"), QStringLiteral("48000"),
                     QStringLiteral("--fps"), audio.fps,
                     QStringLiteral("--start"), audio.start,
                     QStringLiteral("--seconds"), QString::number(seconds),
                     QStringLiteral("--channels"), QString::number(audio.channels),
                     QStringLiteral("--ltc-channel"), QString::number(audio.ltcChannel),
                     QStringLiteral("--format"), QStringLiteral("s16"),
                     QStringLiteral("--level"), QStringLiteral("0.5")};
    for (int c = 0; c < audio.channels; ++c)
        if (c != audio.ltcChannel)
            args << QStringLiteral("--tone") << QStringLiteral("%1:%2").arg(c).arg(toneHz(streamNumber, c));
    return run(tool(QStringLiteral("ltcgen")), args + ltcgenExtra, nullptr);
}

bool makeClip(const QString &path, const QList<Audio> &audio, const QStringList &extra,
              double seconds, bool video)
{
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return false;
    QStringList args;
    QStringList maps;
    int input = 0;
    if (video) {
        args << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i")
             << QStringLiteral("color=size=64x64:rate=25:duration=%1").arg(seconds);
        maps << QStringLiteral("-map") << QStringLiteral("0:v");
        ++input;
    }
    for (int s = 0; s < audio.size(); ++s) {
        const QString wav = scratch.filePath(QStringLiteral("a%1.wav").arg(s));
        if (!makeWav(wav, audio.at(s), seconds, {}, s))
            return false;
        args << QStringLiteral("-i") << wav;
        maps << QStringLiteral("-map") << QStringLiteral("%1:a").arg(input++);
    }
    return ffmpeg(args + maps + QStringList{QStringLiteral("-c:a"), QStringLiteral("pcm_s16le")}
                  + extra + QStringList{path});
}

QByteArray probe(const QString &path)
{
    QByteArray output;
    run(tool(QStringLiteral("ffprobe")),
        {QStringLiteral("-v"), QStringLiteral("quiet"), QStringLiteral("-print_format"),
         QStringLiteral("json"), QStringLiteral("-show_format"), QStringLiteral("-show_streams"),
         path},
        nullptr, &output);
    return output;
}

} // namespace ControlMedia
