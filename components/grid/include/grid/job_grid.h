// JobGrid: the job list of the conversion and burn pages, one row per file.
//
// Rows and columns are numbered from 1, in the order they were added. Cells hold text and
// a text colour; users select rows but do not edit cells. A row or column number outside
// the grid throws std::out_of_range.
#pragma once

#include <QColor>
#include <QString>
#include <QTableWidget>

#if defined(GRID_BUILDING)
#define GRID_API Q_DECL_EXPORT
#else
#define GRID_API Q_DECL_IMPORT
#endif

namespace grid {

// Column alignment codes.
enum Alignment : int { AlignLeft = 0, AlignCenter = 1, AlignRight = 2 };

// Colour of the conversion-type cells ("WAV->MP3" and the like).
inline const QColor kConversionTypeColor = QColor(0, 0, 255);

class GRID_API JobGrid : public QTableWidget {
  Q_OBJECT

 public:
  explicit JobGrid(QWidget* parent = nullptr);

  // Removes every row; with `withColumns` the columns too.
  void Clear(bool withColumns);

  // Appends a column and gives its number. Width in pixels; alignment one of the codes
  // above (others read as left).
  int AddColumn(const QString& header, int width, int alignment, bool visible);
  int Columns() const { return columnCount(); }
  QString ColumnHeader(int column) const;
  int ColumnAlignment(int column) const;
  void SetColumnVisible(int column, bool visible);
  bool ColumnVisible(int column) const;
  void SetColumnWidth(int column, int width);
  int ColumnWidth(int column) const;

  // Appends a row keyed by `key` (keys need not be unique) and gives its number.
  int AddRow(const QString& key);
  QString RowKey(int row) const;
  int Rows() const { return rowCount(); }
  // Later rows move up by one. Removing the selected row leaves nothing selected.
  void RemoveRow(int row);

  QString CellText(int row, int column) const;
  void SetCellText(int row, int column, const QString& text);
  QColor CellForeColor(int row, int column) const;
  void SetCellForeColor(int row, int column, const QColor& color);

  // The selected row, 0 when nothing is selected.
  int SelectedRow() const;
  // Moves the selection to the row (and the column, when given).
  void SelectRow(int row, int column = 0);

  // With full-row selection a selected row is highlighted across all columns (the default).
  void SetFullRowSelect(bool on);
  bool FullRowSelect() const;

 signals:
  // The selection moved to another row (0: none); raised on the user-interface thread.
  void SelectionChange(int row);

 private:
  void checkRow(int row) const;
  void checkColumn(int column) const;
  QTableWidgetItem* cell(int row, int column);
  void onCurrentChanged(int row);

  int lastSelected_ = 0;
};

}  // namespace grid
