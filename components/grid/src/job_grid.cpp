#include "grid/job_grid.h"

#include <QHeaderView>
#include <QItemSelectionModel>

#include <stdexcept>
#include <string>

namespace grid {
namespace {

constexpr int kAlignmentRole = Qt::UserRole + 1;
constexpr int kKeyRole = Qt::UserRole + 2;

Qt::Alignment toQt(int code) {
  switch (code) {
    case AlignCenter:
      return Qt::AlignHCenter | Qt::AlignVCenter;
    case AlignRight:
      return Qt::AlignRight | Qt::AlignVCenter;
    default:
      return Qt::AlignLeft | Qt::AlignVCenter;
  }
}

}  // namespace

JobGrid::JobGrid(QWidget* parent) : QTableWidget(parent) {
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setWordWrap(false);
  verticalHeader()->setVisible(false);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setSectionsClickable(false);
  connect(this, &QTableWidget::currentCellChanged, this,
          [this](int row, int, int, int) { onCurrentChanged(row); });
  connect(this, &QTableWidget::itemSelectionChanged, this, [this] { onCurrentChanged(currentRow()); });
}

void JobGrid::checkRow(int row) const {
  if (row < 1 || row > rowCount())
    throw std::out_of_range("row " + std::to_string(row) + " of " + std::to_string(rowCount()));
}

void JobGrid::checkColumn(int column) const {
  if (column < 1 || column > columnCount())
    throw std::out_of_range("column " + std::to_string(column) + " of " + std::to_string(columnCount()));
}

QTableWidgetItem* JobGrid::cell(int row, int column) {
  checkRow(row);
  checkColumn(column);
  QTableWidgetItem* it = item(row - 1, column - 1);
  if (!it) {
    it = new QTableWidgetItem;  // owned by the table from here on
    it->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    it->setTextAlignment(toQt(ColumnAlignment(column)));
    setItem(row - 1, column - 1, it);
  }
  return it;
}

void JobGrid::Clear(bool withColumns) {
  clearSelection();
  setRowCount(0);
  if (withColumns) setColumnCount(0);
  onCurrentChanged(-1);
}

int JobGrid::AddColumn(const QString& header, int width, int alignment, bool visible) {
  const int column = columnCount();
  setColumnCount(column + 1);
  auto* head = new QTableWidgetItem(header);
  head->setData(kAlignmentRole, alignment);
  head->setTextAlignment(toQt(alignment));
  setHorizontalHeaderItem(column, head);
  setColumnWidth(column, width);
  setColumnHidden(column, !visible);
  return column + 1;
}

QString JobGrid::ColumnHeader(int column) const {
  checkColumn(column);
  const QTableWidgetItem* head = horizontalHeaderItem(column - 1);
  return head ? head->text() : QString();
}

int JobGrid::ColumnAlignment(int column) const {
  checkColumn(column);
  const QTableWidgetItem* head = horizontalHeaderItem(column - 1);
  return head ? head->data(kAlignmentRole).toInt() : AlignLeft;
}

void JobGrid::SetColumnVisible(int column, bool visible) {
  checkColumn(column);
  setColumnHidden(column - 1, !visible);
}

bool JobGrid::ColumnVisible(int column) const {
  checkColumn(column);
  return !isColumnHidden(column - 1);
}

void JobGrid::SetColumnWidth(int column, int width) {
  checkColumn(column);
  setColumnWidth(column - 1, width);
}

int JobGrid::ColumnWidth(int column) const {
  checkColumn(column);
  return horizontalHeader()->sectionSize(column - 1);
}

int JobGrid::AddRow(const QString& key) {
  const int row = rowCount();
  insertRow(row);
  auto* head = new QTableWidgetItem;
  head->setData(kKeyRole, key);
  setVerticalHeaderItem(row, head);
  return row + 1;
}

QString JobGrid::RowKey(int row) const {
  checkRow(row);
  const QTableWidgetItem* head = verticalHeaderItem(row - 1);
  return head ? head->data(kKeyRole).toString() : QString();
}

void JobGrid::RemoveRow(int row) {
  checkRow(row);
  // The view would hand the selection to a neighbour; the caller decides what comes next.
  if (SelectedRow() == row) selectionModel()->clear();
  removeRow(row - 1);
  onCurrentChanged(currentRow());
}

QString JobGrid::CellText(int row, int column) const {
  checkRow(row);
  checkColumn(column);
  const QTableWidgetItem* it = item(row - 1, column - 1);
  return it ? it->text() : QString();
}

void JobGrid::SetCellText(int row, int column, const QString& text) { cell(row, column)->setText(text); }

QColor JobGrid::CellForeColor(int row, int column) const {
  checkRow(row);
  checkColumn(column);
  const QTableWidgetItem* it = item(row - 1, column - 1);
  if (it && it->foreground().style() != Qt::NoBrush) return it->foreground().color();
  return palette().color(QPalette::Text);
}

void JobGrid::SetCellForeColor(int row, int column, const QColor& color) {
  cell(row, column)->setForeground(QBrush(color));
}

int JobGrid::SelectedRow() const {
  const QItemSelectionModel* model = selectionModel();
  if (!model || !model->hasSelection()) return 0;
  const QModelIndexList rows = model->selectedIndexes();
  if (rows.isEmpty()) return 0;
  const int current = currentRow();
  for (const QModelIndex& index : rows)
    if (index.row() == current) return current + 1;
  return rows.first().row() + 1;
}

void JobGrid::SelectRow(int row, int column) {
  checkRow(row);
  if (column != 0) checkColumn(column);
  int target = column == 0 ? 0 : column - 1;
  if (column == 0) {  // the first visible column, so the cell can take the focus mark
    while (target < columnCount() - 1 && isColumnHidden(target)) ++target;
  }
  if (columnCount() == 0) {
    selectRow(row - 1);
    return;
  }
  setCurrentCell(row - 1, target,
                 QItemSelectionModel::ClearAndSelect |
                     (FullRowSelect() ? QItemSelectionModel::Rows : QItemSelectionModel::NoUpdate));
}

void JobGrid::SetFullRowSelect(bool on) {
  setSelectionBehavior(on ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
}

bool JobGrid::FullRowSelect() const { return selectionBehavior() == QAbstractItemView::SelectRows; }

void JobGrid::onCurrentChanged(int row) {
  const int selected = (row >= 0 && selectionModel() && selectionModel()->hasSelection()) ? row + 1 : 0;
  if (selected == lastSelected_) return;
  lastSelected_ = selected;
  emit SelectionChange(selected);
}

}  // namespace grid
