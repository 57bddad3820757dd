#pragma once

#include <QObject>
#include <QString>

class FileList;
class QAction;
class QWidget;

// The Edit menu's entries that take rows out of the table: Remove Selected
// (Delete) and Clear, both refused with the reason while a running export
// still needs those rows.
class EditActions : public QObject
{
    Q_OBJECT

public:
    EditActions(FileList *table, QWidget *window);

    QAction *removeSelectedAction() const { return removeSelected; }
    QAction *clearAction() const { return clear; }

    void removeSelectedRows();
    void clearRows();

signals:
    // Rows are about to go; what the window shows of one of them goes too.
    void rowsLeaving();
    void statusMessage(QString message);

private:
    bool mayRemove(const QString &refusal);

    FileList *table;
    QAction *removeSelected;
    QAction *clear;
};
