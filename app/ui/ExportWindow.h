#pragma once

#include "ExportOptions.h"

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

    void setExportAll(bool exportAll);

signals:
    void exportRequest(ExportOptions exportOptions);

private slots:
    void onBrowseDirButtonClicked();
    void onExportButtonClicked();
    void onCancelButtonClicked();
    void onVideoExportTypeChanged(int currentType);

private:
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
