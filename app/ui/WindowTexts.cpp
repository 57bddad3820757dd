#include "WindowTexts.h"

#include "AppInfo.h"

#include <QJsonArray>

#include <algorithm>

namespace {

// Qt's own escaping leaves quotes alone; the link sits in a quoted attribute.
QString htmlText(const QString &text)
{
    return text.toHtmlEscaped().replace(QLatin1Char('\''), QLatin1String("&#39;"));
}

QString linePrefix(const ProbeStream &stream)
{
    return QStringLiteral("   %1: ").arg(stream.index);
}

} // namespace

QString WindowTexts::aboutText(const QString &webPage)
{
    return QStringLiteral("<p style='margin-right:5em;'>%1 V%2.%3<br>%4<a href='%5'>%5</a><br></p>")
        .arg(AppInfo::appName())
        .arg(AppInfo::majorVersion)
        .arg(AppInfo::minorVersion, 2, 10, QLatin1Char('0'))
        .arg(tr("Webpage: "), webPage);
}

namespace {

// Four names per line; every line but the last ends in ", ".
QString nameLines(const QStringList &fileNames)
{
    QString text;
    for (int i = 0; i < fileNames.size(); ++i) {
        if (i % 4 == 0)
            text += QLatin1Char('\n');
        text += fileNames.at(i) + QStringLiteral(", ");
    }
    text.chop(2);
    return text;
}

} // namespace

QString WindowTexts::exportErrorText(const QStringList &fileNames)
{
    return tr("Export finished.\nErrors occured with the folliwing files:") + nameLines(fileNames);
}

QString WindowTexts::exportResultText(const QVector<ExportResult> &results, const QStringList &failedNames)
{
    if (results.isEmpty())
        return exportErrorText(failedNames);
    QStringList failed;
    QStringList leftOut;
    for (const ExportResult &result : results) {
        if (result.leftOutByChoice())
            leftOut << result.fileName;
        else if (!result.done())
            failed << result.fileName;
    }
    QString text = failed.isEmpty() ? tr("Export finished.") : exportErrorText(failed);
    if (!leftOut.isEmpty())
        text += (failed.isEmpty() ? QStringLiteral("\n") : QStringLiteral("\n\n")) + tr("Left out by choice:")
                + nameLines(leftOut);
    return text;
}

namespace {

// "45 s", "1 min 20 s", "1 h 5 min": about, so to 5 s once past 20 s.
QString roughDuration(qint64 seconds)
{
    if (seconds > 20)
        seconds = (seconds + 2) / 5 * 5;
    if (seconds < 60)
        return WindowTexts::tr("%1 s").arg(seconds);
    if (seconds < 3600) {
        const qint64 rest = seconds % 60;
        return rest == 0 ? WindowTexts::tr("%1 min").arg(seconds / 60)
                         : WindowTexts::tr("%1 min %2 s").arg(seconds / 60).arg(rest);
    }
    return WindowTexts::tr("%1 h %2 min").arg(seconds / 3600).arg((seconds % 3600) / 60);
}

} // namespace

QString WindowTexts::exportProgressText(const QVector<ExportResult> &finished, int total, qint64 elapsedMs)
{
    QString text = tr("%1 of %2 files").arg(finished.size()).arg(total);
    // The files end at an even pace once several have: the rest take as long per file written
    // (a refusal ends at once and says nothing of the pace).
    const auto written =
        std::count_if(finished.cbegin(), finished.cend(), [](const ExportResult &result) { return result.done(); });
    if (written > 0 && finished.size() < total && elapsedMs > 0) {
        const qint64 leftMs = elapsedMs * (total - finished.size()) / written;
        text += tr(" \u00b7 about %1 left").arg(roughDuration((leftMs + 999) / 1000));
    }
    return text;
}

QString WindowTexts::skippedText(int skipped)
{
    if (skipped <= 0)
        return QString();
    return skipped == 1 ? tr(" \u00b7 1 file already in the table, skipped")
                        : tr(" \u00b7 %1 files already in the table, skipped").arg(skipped);
}

QString WindowTexts::exportDetailsText(const QVector<ExportResult> &results)
{
    QStringList lines;
    for (const ExportResult &result : results)
        if (!result.done())
            lines << result.detailLine();
    return lines.join(QLatin1Char('\n'));
}

// The document comes over the network: its description is shown as text, and
// only a web address becomes a link.
QString WindowTexts::newVersionText(const QString &description, const QUrl &downloadLink)
{
    const QString scheme = downloadLink.scheme().toLower();
    const bool webLink = downloadLink.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
    const QString shown = htmlText(downloadLink.toString());

    QString text = QStringLiteral("<p style='margin-right:5em;'> ")
                   + tr("There is a new software version available!<br>You can download it from the following link:<br>");
    if (webLink) {
        QString target = QString::fromLatin1(downloadLink.toEncoded());
        target.replace(QLatin1Char('\''), QLatin1String("%27"));
        text += QStringLiteral("<a href='%1'>%2</a></p>").arg(htmlText(target), shown);
    } else {
        text += shown + QStringLiteral("</p>");
    }
    if (!description.isEmpty())
        text += tr("Details:<br><i>") + htmlText(description) + QStringLiteral("</i>");
    return text;
}

QStringList WindowTexts::streamInfoLines(const FileData &fileData)
{
    QStringList lines{tr(" Streams:")};
    if (fileData.hasVideo()) {
        const ProbeStream &video = fileData.videoStream();
        lines << linePrefix(video) + tr("video (") + video.codecName + QStringLiteral(")");
        lines << tr("     size: ") + QString::number(video.width) + QStringLiteral("x") + QString::number(video.height);
    }
    const bool mxf = fileData.suffix.compare(QLatin1String("mxf"), Qt::CaseInsensitive) == 0;
    for (const ProbeStream &audio : fileData.audioStreams()) {
        lines << linePrefix(audio) + tr("audio (") + audio.codecName + QStringLiteral(")");
        if (!audio.channelLayout.isEmpty())
            lines << tr("     layout: ") + audio.channelLayout;
        if (!mxf)
            lines << tr("     channels: ") + QString::number(audio.channels);
    }
    return lines;
}
