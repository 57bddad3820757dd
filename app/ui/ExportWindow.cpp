#include "ExportWindow.h"

#include "DialogFolder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace {

QString moviesFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
}

} // namespace

ExportWindow::ExportWindow(QWidget *parent)
    : QWidget(parent, Qt::WindowStaysOnTopHint),
      directoryLabel(new QLabel(this)),
      browseButton(new QPushButton(QFileIconProvider().icon(QFileInfo(QDir::currentPath())), tr("Browse"), this)),
      directoryEdit(new QLineEdit(moviesFolder(), this)),
      videoTypeCombo(new QComboBox(this)),
      audioTypeCombo(new QComboBox(this)),
      muteAudioTCCheckBox(new QCheckBox(tr("Mute audio TC"), this)),
      exportButton(new QPushButton(tr("Export"), this)),
      cancelButton(new QPushButton(tr("Cancel"), this))
{
    for (const ExportTypes::VideoEntry &entry : ExportTypes::videoEntries())
        videoTypeCombo->addItem(entry.text);
    for (const ExportTypes::AudioEntry &entry : ExportTypes::audioEntries())
        audioTypeCombo->addItem(entry.text);
    videoTypeCombo->setCurrentIndex(0);
    audioTypeCombo->setCurrentIndex(0);
    muteAudioTCCheckBox->setChecked(true);

    auto *directoryRow = new QHBoxLayout;
    directoryRow->addWidget(browseButton);
    directoryRow->addWidget(directoryEdit);

    auto *videoRow = new QHBoxLayout;
    videoRow->addWidget(new QLabel(tr("Video export type: "), this));
    videoRow->addWidget(videoTypeCombo, 1);
    videoRow->setAlignment(Qt::AlignVCenter);

    auto *audioRow = new QHBoxLayout;
    audioRow->addWidget(new QLabel(tr("Audio export type: "), this));
    audioRow->addWidget(audioTypeCombo, 1);
    audioRow->setAlignment(Qt::AlignVCenter);

    auto *buttonRow = new QHBoxLayout;
    buttonRow->addWidget(exportButton);
    buttonRow->addWidget(cancelButton);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(directoryLabel);
    layout->addLayout(directoryRow);
    layout->addLayout(videoRow);
    layout->addLayout(audioRow);
    layout->addWidget(muteAudioTCCheckBox, 0, Qt::AlignRight);
    layout->addLayout(buttonRow);

    showDirectoryPrompt();
    setWindowTitle(tr("Export all files"));
    setMinimumWidth(400);
    setFixedHeight(180);

    connect(browseButton, &QPushButton::clicked, this, &ExportWindow::onBrowseDirButtonClicked);
    connect(exportButton, &QPushButton::clicked, this, &ExportWindow::onExportButtonClicked);
    connect(cancelButton, &QPushButton::clicked, this, &ExportWindow::onCancelButtonClicked);
    connect(videoTypeCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &ExportWindow::onVideoExportTypeChanged);
}

void ExportWindow::setExportAll(bool exportAll)
{
    this->exportAll = exportAll;
    setWindowTitle(exportAll ? tr("Export all files") : tr("Export selected files"));
}

void ExportWindow::onBrowseDirButtonClicked()
{
    const QString folder = QFileDialog::getExistingDirectory(
        this, tr("Select export destination"), DialogFolder::last(),
        QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (!folder.isEmpty()) {
        directoryEdit->setText(folder);
        DialogFolder::remember(folder);
    }
}

void ExportWindow::onVideoExportTypeChanged(int currentType)
{
    auto *model = qobject_cast<QStandardItemModel *>(audioTypeCombo->model());
    QStandardItem *passThrough = model ? model->item(0) : nullptr;
    if (!passThrough)
        return;
    const Qt::ItemFlags usable = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    // The MXF transcoding types cannot carry the source audio as it is.
    if (ExportTypes::isMxf(ExportTypes::videoEntries().value(currentType).type)) {
        passThrough->setFlags(passThrough->flags() & ~usable);
        if (audioTypeCombo->currentIndex() == 0)
            audioTypeCombo->setCurrentIndex(1);
    } else {
        passThrough->setFlags(passThrough->flags() | usable);
    }
}

// An error belongs to the attempt that caused it, not to the next opening.
void ExportWindow::showDirectoryPrompt()
{
    directoryLabel->setText(tr("Select export directory: "));
    directoryLabel->setStyleSheet(QString());
}

void ExportWindow::showDirectoryError(const QString &text)
{
    directoryLabel->setText(text);
    directoryLabel->setStyleSheet(tr("color:red"));
}

void ExportWindow::onExportButtonClicked()
{
    const QString path = directoryEdit->text();
    if (path.trimmed().isEmpty()) {
        showDirectoryError(tr("Selected directory doesn't exists"));
        return;
    }
    // A new folder typed by the user is what they want to export into.
    QFileInfo target(path);
    if (!target.exists() && !target.isSymLink()) {
        if (!QDir().mkpath(path)) {
            showDirectoryError(tr("Cannot create the directory %1").arg(QDir::toNativeSeparators(path)));
            return;
        }
        target.refresh();
    }
    // Every export of the job would fail against a plain file.
    if (!target.isDir()) {
        showDirectoryError(tr("Selected path is not a directory"));
        return;
    }
    if (!target.isWritable()) {
        showDirectoryError(tr("Cannot write to selected directory"));
        return;
    }

    ExportOptions options;
    options.targetFolderPath = path;
    // Combo item n is table entry n.
    options.videoExportType = ExportTypes::videoEntries().value(videoTypeCombo->currentIndex()).type;
    options.audioExportType = ExportTypes::audioEntries().value(audioTypeCombo->currentIndex()).type;
    options.muteAudioTC = muteAudioTCCheckBox->isChecked();
    options.exportAll = exportAll;
    showDirectoryPrompt();
    emit exportRequest(options);
    close();
}

void ExportWindow::onCancelButtonClicked()
{
    close();
}
