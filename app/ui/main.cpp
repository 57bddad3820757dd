#include "MainWindow.h"
#include "MetaTypes.h"

#include <QApplication>
#include <QStringList>

int main(int argc, char *argv[])
{
    registerMetaTypes();
    QApplication app(argc, argv);
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
