// One day's clips exported twice, from the drop (or the command line) to the
// end: by `Dorrik --export` without a window, and through the real MainWindow
// (offscreen) with its Export All dialog. Wall time of each, one run each, and
// the load of the machine while they ran.

#include "BenchSupport.h"
#include "ExportWindow.h"
#include "MainWindow.h"
#include "MetaTypes.h"
#include "TestMedia.h"
#include "UiTestSupport.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLatin1(file.readAll()).section(QLatin1Char(' '), 0, 2);
}

int filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files).size();
}

// Dorrik --export in a process of its own, as a script starts it.
double headlessExport(const QString &folder, const QString &target, int *exitCode)
{
    QElapsedTimer clock;
    clock.start();
    const TestMedia::ToolRun run = TestMedia::runTool(
        QStringLiteral("Dorrik"), {QStringLiteral("--export"), target, QStringLiteral("--no-update-check"), folder},
        900000);
    *exitCode = run.finished ? run.exitCode : -1;
    return clock.elapsed() / 1000.0;
}

// The same through the window: the folder as a command-line path, Export All
// once the import is ready, until the result box.
double windowExport(const QString &folder, const QString &target, QString *result)
{
    BoxAnswerer boxes;
    QElapsedTimer clock;
    clock.start();
    MainWindow window{QUrl()};
    window.show();
    window.importPaths({folder});
    auto *status = window.findChild<QLabel *>(QStringLiteral("statusLabel"));
    if (!QTest::qWaitFor([&] { return status->text() == QStringLiteral("Status: import ready"); }, 900000))
        return -1.0;
    for (QAction *top : window.menuBar()->actions()) {
        for (QAction *action : top->menu()->actions()) {
            if (action->text() == QStringLiteral("&Export All"))
                action->trigger();
        }
    }
    ExportWindow *dialog = nullptr;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *candidate = qobject_cast<ExportWindow *>(widget))
            dialog = candidate;
    }
    if (!dialog)
        return -1.0;
    dialog->findChild<QLineEdit *>()->setText(target);
    // As the command line's default: not muted.
    dialog->findChild<QCheckBox *>()->setChecked(false);
    for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
        if (button->text() == QStringLiteral("Export"))
            button->click();
    }
    if (!QTest::qWaitFor([&] { return boxes.count() > 0; }, 900000))
        return -1.0;
    const double seconds = clock.elapsed() / 1000.0;
    *result = boxes.lastText().section(QLatin1Char('\n'), 0, 0);
    return seconds;
}

} // namespace

int main(int argc, char **argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    registerMetaTypes();
    QApplication app(argc, argv);
    QTemporaryDir root;
    Bench::ownTempFolder(root.path());

    // Short camera clips, each with its own LTC start.
    const int files = Bench::scaled(100, 4);
    const QString folder = root.filePath(QStringLiteral("day"));
    QDir().mkpath(folder);
    for (int i = 0; i < files; ++i) {
        TestMedia::MediaRecipe clip =
            TestMedia::recipe(QStringLiteral("A%1.mov").arg(i, 3, 10, QLatin1Char('0')), 2, 1,
                              QStringLiteral("10:%1:00:00").arg(i % 60, 2, 10, QLatin1Char('0')));
        clip.seconds = 3.0;
        if (TestMedia::makeMov(folder, clip).isEmpty()) {
            std::fprintf(stderr, "cannot make the clips: %s\n", qPrintable(TestMedia::lastError()));
            return 1;
        }
    }

    std::printf("Export of %d clips (3 s, 160x120 mpeg4, stereo PCM with LTC), pass-through, %d cores\n", files,
                Bench::cores());
    std::printf("%-30s %8s %7s %10s  %s\n", "road", "wall s", "files", "load", "result");
    const QString headlessTarget = root.filePath(QStringLiteral("headless"));
    const QString loadBefore = loadAverage();
    int exitCode = -1;
    const double headless = headlessExport(folder, headlessTarget, &exitCode);
    std::printf("%-30s %8.2f %7d %10s  exit %d\n", "Dorrik --export", headless, filesIn(headlessTarget),
                qPrintable(loadBefore), exitCode);

    const QString windowTarget = root.filePath(QStringLiteral("window"));
    QDir().mkpath(windowTarget);
    const QString loadBetween = loadAverage();
    QString result;
    const double window = windowExport(folder, windowTarget, &result);
    std::printf("%-30s %8.2f %7d %10s  %s\n", "window, Export All", window, filesIn(windowTarget),
                qPrintable(loadBetween), qPrintable(result));
    std::printf("load average (1, 5, 15 min) at the start of each run; after both: %s\n", qPrintable(loadAverage()));
    return exitCode == 0 && window > 0 && filesIn(windowTarget) == files ? 0 : 1;
}
