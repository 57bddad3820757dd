#pragma once

#include "ExportOptions.h"

#include <QMap>
#include <QString>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// Options window behind "&Export" and "&Export All". Hidden, never destroyed,
// so its choices last until the program ends.
class ExportWindow : public QWidget
{
    Q_OBJECT

public:
    explicit ExportWindow(QWidget *parent = nullptr);

    // Dialog text → number sent in ExportOptions.
    static const QMap<QString, int> &videoExportTypes();
    static const QMap<QString, int> &audioExportTypes();

    void setExportAll(bool exportAll);

signals:
    void exportRequest(ExportOptions exportOptions);

private slots:
    void onBrowseDirButtonClicked();
    void onExportButtonClicked();
    void onCancelButtonClicked();
    void onVideoExportTypeChanged(int currentType);

private:
    static void fillByNumber(QComboBox *combo, const QMap<QString, int> &table);
    void showDirectoryPrompt();
    void showDirectoryError(const QString &text);

    bool exportAll = true;
    QLabel *directoryLabel;
    QPushButton *browseButton;
    QLineEdit *directoryEdit;
    QComboBox *videoTypeCombo;
    QComboBox *audioTypeCombo;
    QCheckBox *muteAudioTCCheckBox;
    QPushButton *exportButton;
    QPushButton *cancelButton;
};
