#pragma once

#include "FileData.h"

#include <QWidget>

class QLabel;
class QListWidget;

// The window's right-hand column: the logo, and the streams of the file last clicked.
class FileInfoPanel : public QWidget
{
    Q_OBJECT

public:
    explicit FileInfoPanel(QWidget *parent = nullptr);

    void showFile(const FileData &fileData);
    void clear();

private:
    QLabel *logoLabel;
    QListWidget *streamInfoList;
};
