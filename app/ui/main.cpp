#include "MainWindow.h"
#include "MetaTypes.h"
#include "ReportRun.h"

#include <QApplication>
#include <QStringList>
#include <QTextStream>

namespace {

bool reportRequested(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return ReportRun::isRequested(arguments);
}

// Standard error of a report run carries progress lines and our own errors
// only; Qt's notes about the environment would break scripts that read it.
void dropQtMessages(QtMsgType, const QMessageLogContext &, const QString &) {}

// Without the window: read, write the report, end with its exit code.
int runReport(QApplication &app)
{
    QTextStream err(stderr);
    ReportRun::Settings settings;
    bool helpRequested = false;
    QString error;
    if (!ReportRun::parseArguments(app.arguments(), &settings, &helpRequested, &error)) {
        err << "Dorrik: " << error << "\n\n" << ReportRun::usageText();
        return ReportRun::UsageOrWriteError;
    }
    if (helpRequested) {
        QTextStream(stdout) << ReportRun::usageText();
        return ReportRun::EveryFileRead;
    }
    ReportRun run(settings);
    QObject::connect(&run, &ReportRun::finished, &app, &QCoreApplication::exit, Qt::QueuedConnection);
    run.start();
    return app.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    registerMetaTypes();
    const bool report = reportRequested(argc, argv);
#if !defined(Q_OS_WIN) && !defined(Q_OS_MACOS)
    // A report run shows no window, so it needs no display (a server, a script over ssh).
    if (report && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    if (report)
        qInstallMessageHandler(dropQtMessages);
    QApplication app(argc, argv);
    if (report)
        return runReport(app);

    app.setStyleSheet(QStringLiteral("QMessageBox { messagebox-text-interaction-flags: 5; }"));

    // Paths on the command line are what Windows passes for files dropped on the
    // program's icon or opened with it.
    QStringList paths = app.arguments().mid(1);
    QUrl updateUrl = MainWindow::defaultUpdateInfoUrl();
    if (paths.removeAll(QStringLiteral("--no-update-check")) > 0)
        updateUrl = QUrl();

    MainWindow window(updateUrl);
    window.show();
    window.importPaths(paths);
    return app.exec();
}
