#pragma once

#include "AudioTCOptions.h"

#include <QPair>
#include <QVector>
#include <QString>
#include <QWidget>

class QComboBox;
class QPushButton;

// Options window behind "&Read Audio TC". Hidden, never destroyed, so its
// choices last until the program ends.
class AudioTCWindow : public QWidget
{
    Q_OBJECT

public:
    explicit AudioTCWindow(QWidget *parent = nullptr);

    // Combo item n → entry n: its text and the value sent; "auto" is the negative value.
    static const QVector<QPair<QString, int>> &channelTable();
    static const QVector<QPair<QString, double>> &frameRateTable();

signals:
    void readAudioTCReq(AudioTCOptions audioTCOptions);

private slots:
    void onReadAudioTCButtonClicked();

private:
    QComboBox *filesCombo;
    QComboBox *algorithmCombo;
    QComboBox *channelCombo;
    QComboBox *frameRateCombo;
    QPushButton *readButton;
};
