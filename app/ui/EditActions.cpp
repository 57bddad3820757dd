#include "EditActions.h"

#include "FileList.h"

#include <QAction>

EditActions::EditActions(FileList *table, QWidget *window)
    : QObject(window),
      table(table),
      removeSelected(new QAction(tr("&Remove Selected"), window)),
      clear(new QAction(tr("&Clear"), window))
{
    removeSelected->setShortcut(QKeySequence::Delete);
    connect(removeSelected, &QAction::triggered, this, &EditActions::removeSelectedRows);
    connect(clear, &QAction::triggered, this, &EditActions::clearRows);
}

bool EditActions::mayRemove(const QString &refusal)
{
    if (!refusal.isEmpty()) {
        emit statusMessage(refusal);
        return false;
    }
    emit rowsLeaving();
    return true;
}

void EditActions::removeSelectedRows()
{
    if (mayRemove(table->deletionRefusal()))
        table->deleteSelectedRows();
}

void EditActions::clearRows()
{
    if (mayRemove(table->deletionRefusal(table->fileModel()->ids())))
        table->clearRows();
}
