#include "FileInfoPanel.h"

#include "AppInfo.h"
#include "WindowTexts.h"

#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QVBoxLayout>

namespace {

const char logoPath[] = "images/corvanta_LOGO_transparent.png";

} // namespace

FileInfoPanel::FileInfoPanel(QWidget *parent)
    : QWidget(parent), logoLabel(new QLabel(this)), streamInfoList(new QListWidget(this))
{
    streamInfoList->setObjectName(QStringLiteral("streamInfoList"));
    streamInfoList->setMinimumWidth(200);
    streamInfoList->setMaximumWidth(300);
    streamInfoList->setMinimumHeight(100);
    streamInfoList->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    streamInfoList->setSelectionMode(QAbstractItemView::NoSelection);

    logoLabel->setObjectName(QStringLiteral("logoLabel"));
    logoLabel->setPixmap(QPixmap(AppInfo::sharedFilePath(QString::fromLatin1(logoPath))));
    logoLabel->setAlignment(Qt::AlignCenter);
    logoLabel->setMinimumWidth(200);
    logoLabel->setMaximumWidth(280);
    logoLabel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    auto *column = new QVBoxLayout(this);
    column->setSizeConstraint(QLayout::SetMaximumSize);
    column->setContentsMargins(5, 5, 5, 5);
    column->addWidget(logoLabel);
    column->addWidget(streamInfoList);
    setMaximumWidth(310);
}

void FileInfoPanel::showFile(const FileData &fileData)
{
    streamInfoList->clear();
    streamInfoList->addItems(WindowTexts::streamInfoLines(fileData));
}

void FileInfoPanel::clear()
{
    streamInfoList->clear();
}
