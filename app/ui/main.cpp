#include "ExportRun.h"
#include "MainWindow.h"
#include "MetaTypes.h"
#include "ReportRun.h"
#include "StopSignals.h"

#include <QApplication>
#include <QStringList>
#include <QTextStream>

namespace {

QStringList argumentsOf(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

// Standard error of a run without a window carries progress lines and our own
// errors only; Qt's notes about the environment would break scripts that read it.
void dropQtMessages(QtMsgType, const QMessageLogContext &, const QString &) {}

// A run's settings from the command line. False when the run ends here:
// after --help (exit 0) or on a usage error (exit 2), the usage printed.
template<typename Run>
bool takeSettings(const QStringList &arguments, typename Run::Settings *settings, int *exitCode)
{
    bool helpRequested = false;
    QString error;
    if (!Run::parseArguments(arguments, settings, &helpRequested, &error)) {
        QTextStream(stderr) << "Dorrik: " << error << "\n\n" << Run::usageText();
        *exitCode = Run::UsageOrWriteError;
        return false;
    }
    if (helpRequested) {
        QTextStream(stdout) << Run::usageText();
        *exitCode = 0;
        return false;
    }
    return true;
}

// Without the window: read, write the report, end with its exit code.
int runReport(QApplication &app)
{
    ReportRun::Settings settings;
    int exitCode = 0;
    if (!takeSettings<ReportRun>(app.arguments(), &settings, &exitCode))
        return exitCode;
    ReportRun run(settings);
    QObject::connect(&run, &ReportRun::finished, &app, &QCoreApplication::exit, Qt::QueuedConnection);
    run.start();
    return app.exec();
}

// Without the window: read, export, write the report if asked, end with the export's exit code.
int runExport(QApplication &app)
{
    ExportRun::Settings settings;
    int exitCode = 0;
    if (!takeSettings<ExportRun>(app.arguments(), &settings, &exitCode))
        return exitCode;
    // Before the run starts its worker thread and tools, so no child inherits the handlers' pipe.
    StopSignals stopSignals;
    ExportRun run(settings);
    QObject::connect(&stopSignals, &StopSignals::received, &run, &ExportRun::stop);
    QObject::connect(&run, &ExportRun::finished, &app, &QCoreApplication::exit, Qt::QueuedConnection);
    run.start();
    return app.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    registerMetaTypes();
    const QStringList arguments = argumentsOf(argc, argv);
    const HeadlessRun::Mode mode = HeadlessRun::requestedMode(arguments);
    const bool report = mode != HeadlessRun::Mode::Window;
#if !defined(Q_OS_WIN) && !defined(Q_OS_MACOS)
    // A run without a window, so it needs no display (a server, a script over ssh).
    if (report && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    if (report)
        qInstallMessageHandler(dropQtMessages);
    QApplication app(argc, argv);
    if (mode == HeadlessRun::Mode::Export)
        return runExport(app);
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
