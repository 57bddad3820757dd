#include "FileList.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QSortFilterProxyModel>

FileList::FileList(QWidget *parent)
    : QTableView(parent), files(new FileTableModel(this)), sorter(new QSortFilterProxyModel(this))
{
    sorter->setSourceModel(files);
    sorter->setSortRole(FileTableModel::SortRole);
    sorter->setSortCaseSensitivity(Qt::CaseInsensitive);
    setModel(sorter);

    verticalHeader()->hide();
    horizontalHeader()->setHighlightSections(false);
    // Names are shown whole; the folder takes what room is left, and a long
    // one keeps both ends (the card and the clip's own folder).
    for (int column = 0; column < FileTableModel::ColumnCount; ++column)
        setColumnWidth(column, typicalWidth(column));
    horizontalHeader()->setStretchLastSection(true);
    setTextElideMode(Qt::ElideMiddle);
    // Fitting a column measures the rows in view only, so its cost does not
    // grow with the table; scrolling fits the columns to what comes into view.
    horizontalHeader()->setResizeContentsPrecision(0);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &FileList::resizeVisibleColumnsLater);
    horizontalHeader()->setStyleSheet(
        tr("QHeaderView::section{background-color: lightgrey;border:none;font:normal;}"
           "QHeaderView::section:checked{font: normal;}"));
    setStyleSheet(QStringLiteral("QTableView{selection-background-color: #f2ff4900;selection-color: white; "
                                 "show-decoration-selected: 10}\n"));

    // Table order until a header is clicked.
    horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    setSortingEnabled(true);

    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAlternatingRowColors(true);

    setAcceptDrops(true);
    setDragEnabled(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DropOnly);

    connect(this, &QTableView::clicked, this, &FileList::onClicked);
    connect(sorter, &QAbstractItemModel::dataChanged, this, &FileList::onDataChanged);
    // Sorting and removal bring other rows into view.
    connect(sorter, &QAbstractItemModel::layoutChanged, this, &FileList::resizeVisibleColumnsLater);
    connect(sorter, &QAbstractItemModel::rowsRemoved, this, &FileList::resizeVisibleColumnsLater);
    connect(files, &QAbstractItemModel::rowsInserted, this, [this] { placeholderShown = false; });
    connect(files, &FileTableModel::statusMessage, this, &FileList::statusMessage);
}

// Room for a column's usual texts, its title included.
int FileList::typicalWidth(int column) const
{
    static const QStringList samples{QStringLiteral("A001_C001_0101AB_001.MXF"), QStringLiteral("00:00:00"),
                                     QStringLiteral("10:00:00:00"),
                                     // The longest: a rate export would refuse, with its reason.
                                     QStringLiteral("10:00:00;00@29.97 DF  on ch. 2 (LTC 30 fps does not match video 25 fps)"),
                                     QStringLiteral("-123456"), tr("copied without TC"),
                                     QStringLiteral("/media/day1/A001/CLIPS")};
    const QString title = files->headerData(column, Qt::Horizontal).toString();
    const int text = qMax(fontMetrics().horizontalAdvance(samples.value(column)),
                          horizontalHeader()->fontMetrics().horizontalAdvance(title));
    return text + 2 * style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, this) + 12;
}

int FileList::preferredWidth() const
{
    int width = 2 * frameWidth() + verticalScrollBar()->sizeHint().width();
    for (int column = 0; column < FileTableModel::ColumnCount; ++column)
        width += typicalWidth(column);
    return width;
}

QString FileList::placeholderText()
{
    return tr("Drop files here...");
}

// ---- drag and drop -------------------------------------------------------

void FileList::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        QTableView::dragEnterEvent(event);
}

void FileList::dragMoveEvent(QDragMoveEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        QTableView::dragMoveEvent(event);
}

void FileList::dropEvent(QDropEvent *event)
{
    // Items dragged from another item view would become rows without a file.
    if (!event->mimeData()->hasUrls()) {
        event->ignore();
        return;
    }
    importUrls(event->mimeData()->urls());
    event->acceptProposedAction();
}

void FileList::importUrls(const QList<QUrl> &urls)
{
    if (urls.isEmpty())
        return;
    placeholderShown = false;
    viewport()->update();
    files->importUrls(urls);
}

// The empty table's first row reads "Drop files here...", as a cell would.
void FileList::paintEvent(QPaintEvent *event)
{
    QTableView::paintEvent(event);
    if (!hasPlaceholder())
        return;
    QPainter painter(viewport());
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    const QRect cell(columnViewportPosition(0), 0, columnWidth(0), verticalHeader()->defaultSectionSize());
    painter.drawText(cell.adjusted(margin, 0, -margin, 0), Qt::AlignLeft | Qt::AlignVCenter, placeholderText());
}

void FileList::resizeEvent(QResizeEvent *event)
{
    QTableView::resizeEvent(event);
    resizeVisibleColumnsLater();
}

// ---- rows ----------------------------------------------------------------

QVector<int> FileList::selectedIds() const
{
    QVector<int> ids;
    const QModelIndexList selected = selectionModel()->selectedRows();
    for (const QModelIndex &index : selected)
        ids.append(index.data(FileTableModel::IdRole).toInt());
    return ids;
}

QString FileList::deletionRefusal(const QVector<int> &fileIds) const
{
    // Answers to reads find their rows by id, whatever was removed meanwhile;
    // an export still reports on the rows it was given until each has its outcome.
    if (files->exportStillNeeds(fileIds))
        return tr("files cannot be removed while an export is running");
    return QString();
}

void FileList::deleteSelectedRows()
{
    const QVector<int> ids = selectedIds();
    const QString refusal = deletionRefusal(ids);
    if (!refusal.isEmpty()) {
        emit statusMessage(refusal);
        return;
    }
    files->removeIds(ids);
}

void FileList::clearRows()
{
    const QVector<int> ids = files->ids();
    const QString refusal = deletionRefusal(ids);
    if (!refusal.isEmpty()) {
        emit statusMessage(refusal);
        return;
    }
    files->removeIds(ids);
}

void FileList::onClicked(const QModelIndex &index)
{
    const int row = sorter->mapToSource(index).row();
    if (row >= 0 && row < files->records().size())
        emit updateFileInfo(files->records().at(row));
}

// ---- requests from the dialogs -------------------------------------------

void FileList::onAudioTCReadReq(AudioTCOptions audioTCOptions)
{
    files->requestRead(audioTCOptions, audioTCOptions.allFiles ? files->ids() : selectedIds());
}

void FileList::exportFiles(ExportOptions exportOptions)
{
    files->requestExport(exportOptions, exportOptions.exportAll ? files->ids() : selectedIds());
}

// ---- column sizing -------------------------------------------------------

bool FileList::rowIsVisible(int row) const
{
    const int first = rowAt(0);
    if (first < 0)
        return true;
    const int last = rowAt(viewport()->height() - 1);
    return row >= first && (last < 0 || row <= last);
}

void FileList::onDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight)
{
    for (int column = 0; column < FileTableModel::ColumnCount; ++column) {
        if (column < topLeft.column() || column > bottomRight.column())
            continue;
        for (int row = topLeft.row(); row <= bottomRight.row(); ++row) {
            if (rowIsVisible(row)) {
                resizeColumnLater(column, row);
                break;
            }
        }
    }
}

// A text that changed out of view changes nothing a fit would measure. One fit
// per column serves every update of the current turn of the event loop.
void FileList::resizeColumnLater(int column, int row)
{
    if (!rowIsVisible(row))
        return;
    if (!columnsToResize.contains(column))
        columnsToResize.append(column);
    if (resizeScheduled)
        return;
    resizeScheduled = true;
    QMetaObject::invokeMethod(this, &FileList::resizePendingColumns, Qt::QueuedConnection);
}

void FileList::resizeVisibleColumnsLater()
{
    const int first = qMax(0, rowAt(0));
    for (int column = 0; column < FileTableModel::ColumnCount; ++column)
        resizeColumnLater(column, first);
}

void FileList::resizePendingColumns()
{
    resizeScheduled = false;
    const QVector<int> columns = columnsToResize;
    columnsToResize.clear();
    // The folder, last, takes the room the others leave: a deep one is
    // shortened in the middle, and its tooltip gives it whole.
    for (const int column : columns) {
        if (column != FileTableModel::FolderColumn)
            resizeColumnToContents(column);
    }
}
