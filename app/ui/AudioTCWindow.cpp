#include "AudioTCWindow.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString autoText = QStringLiteral("auto");

QHBoxLayout *optionRow(QWidget *owner, const QString &label, QComboBox *combo, int bottomMargin)
{
    auto *row = new QHBoxLayout;
    row->setContentsMargins(3, 3, 3, bottomMargin);
    row->addWidget(new QLabel(label, owner));
    row->addWidget(combo);
    return row;
}

} // namespace

const QVector<QPair<QString, int>> &AudioTCWindow::channelTable()
{
    static const QVector<QPair<QString, int>> table = [] {
        QVector<QPair<QString, int>> t{{autoText, -1}};
        for (int channel = 0; channel < 8; ++channel)
            t.append({QStringLiteral("channel %1").arg(channel + 1), channel});
        return t;
    }();
    return table;
}

const QVector<QPair<QString, double>> &AudioTCWindow::frameRateTable()
{
    static const QVector<QPair<QString, double>> table{
        {autoText, -1.0},
        // The NTSC rates exactly: the decoder takes a rate only within 1/1500
        // of it, and 23.98 is further than that from 24000/1001.
        {QStringLiteral("23.98 FPS"), 24000.0 / 1001.0},
        {QStringLiteral("24.00 FPS"), 24.0},
        {QStringLiteral("25.00 FPS"), 25.0},
        {QStringLiteral("29.97 FPS"), 30000.0 / 1001.0},
        {QStringLiteral("30.00 FPS"), 30.0},
    };
    return table;
}

AudioTCWindow::AudioTCWindow(QWidget *parent)
    : QWidget(parent, Qt::WindowStaysOnTopHint),
      filesCombo(new QComboBox(this)),
      algorithmCombo(new QComboBox(this)),
      channelCombo(new QComboBox(this)),
      frameRateCombo(new QComboBox(this)),
      readButton(new QPushButton(tr("Read audio TC"), this))
{
    filesCombo->addItems({tr("selected files"), tr("all files")});
    // Item n of each combo is entry n of its table.
    algorithmCombo->addItems(ReadAlgorithms::names());
    for (const auto &channel : channelTable())
        channelCombo->addItem(channel.first);
    for (const auto &rate : frameRateTable())
        frameRateCombo->addItem(rate.first);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(optionRow(this, tr("Read files:"), filesCombo, 3));
    layout->addLayout(optionRow(this, tr("Select reading algorithm:"), algorithmCombo, 3));
    layout->addLayout(optionRow(this, tr("Select timecode channel:"), channelCombo, 3));
    layout->addLayout(optionRow(this, tr("Select frame rate:"), frameRateCombo, 6));
    layout->addWidget(readButton);

    setWindowTitle(tr("Read audio timecode"));
    setFixedSize(350, 180);

    connect(readButton, &QPushButton::clicked, this, &AudioTCWindow::onReadAudioTCButtonClicked);
}

void AudioTCWindow::onReadAudioTCButtonClicked()
{
    AudioTCOptions options;
    options.readingAlgorithm = static_cast<ReadAlgorithm>(algorithmCombo->currentIndex());
    options.channel = channelTable().value(channelCombo->currentIndex()).second;
    options.frameRate = frameRateTable().value(frameRateCombo->currentIndex()).second;
    options.allFiles = filesCombo->currentIndex() == 1;
    emit readAudioTCReq(options);
    close();
}
