// The job list grid, driven through the real widget without a display.
#include "grid/job_grid.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>

#include <stdexcept>

namespace {

using grid::JobGrid;

// The five columns of a conversion page, as the page adds them.
void conversionColumns(JobGrid& g) {
  g.AddColumn("Source File", 120, grid::AlignLeft, true);
  g.AddColumn("Destination File", 120, grid::AlignLeft, true);
  g.AddColumn("Convert", 80, grid::AlignCenter, true);
  g.AddColumn("SourcePath", 200, grid::AlignLeft, false);
  g.AddColumn("DesPath", 200, grid::AlignLeft, false);
}

void addFile(JobGrid& g, const QString& path, const QString& name) {
  const int r = g.AddRow(path);
  g.SetCellText(r, 1, name);
  g.SetCellText(r, 3, "WAV->MP3");
  g.SetCellForeColor(r, 3, grid::kConversionTypeColor);
  g.SetCellText(r, 4, path);
}

QPoint cellCentre(const JobGrid& g, int row, int column) {
  return g.visualRect(g.model()->index(row - 1, column - 1)).center();
}

TEST(JobGrid, ColumnsAreNumberedFromOneWithTheirSettings) {
  JobGrid g;
  EXPECT_EQ(g.AddColumn("Source File", 120, grid::AlignLeft, true), 1);
  EXPECT_EQ(g.AddColumn("Time", 60, grid::AlignRight, true), 2);
  EXPECT_EQ(g.AddColumn("SourcePath", 90, grid::AlignCenter, false), 3);
  EXPECT_EQ(g.Columns(), 3);
  EXPECT_EQ(g.ColumnHeader(2), "Time");
  EXPECT_EQ(g.ColumnWidth(1), 120);
  EXPECT_EQ(g.ColumnAlignment(2), grid::AlignRight);
  EXPECT_TRUE(g.ColumnVisible(1));
  EXPECT_FALSE(g.ColumnVisible(3));
  g.SetColumnVisible(3, true);
  EXPECT_TRUE(g.ColumnVisible(3));
  g.SetColumnWidth(2, 75);
  EXPECT_EQ(g.ColumnWidth(2), 75);

  const int r = g.AddRow("/music/a.wav");
  g.SetCellText(r, 2, "04:10");
  EXPECT_EQ(g.item(0, 1)->textAlignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
  EXPECT_THROW(g.ColumnHeader(4), std::out_of_range);
  EXPECT_THROW(g.SetColumnWidth(0, 10), std::out_of_range);
}

TEST(JobGrid, RowsAppendAndKeepTheLastWrittenText) {
  JobGrid g;
  conversionColumns(g);
  EXPECT_EQ(g.Rows(), 0);
  EXPECT_EQ(g.AddRow("/m/a.wav"), 1);
  EXPECT_EQ(g.AddRow("/m/b.wav"), 2);
  EXPECT_EQ(g.AddRow("/m/a.wav"), 3);  // the same path twice gives two rows
  EXPECT_EQ(g.Rows(), 3);
  EXPECT_EQ(g.RowKey(1), "/m/a.wav");
  EXPECT_EQ(g.RowKey(3), "/m/a.wav");
  EXPECT_EQ(g.CellText(2, 5), "");  // never written
  g.SetCellText(2, 5, "first");
  g.SetCellText(2, 5, "/out/b.MP3");
  EXPECT_EQ(g.CellText(2, 5), "/out/b.MP3");  // hidden columns hold text as well
  EXPECT_EQ(g.CellText(1, 5), "");
  EXPECT_THROW(g.CellText(0, 1), std::out_of_range);
  EXPECT_THROW(g.CellText(4, 1), std::out_of_range);
  EXPECT_THROW(g.SetCellText(1, 6, "x"), std::out_of_range);
  EXPECT_THROW(g.RemoveRow(4), std::out_of_range);
}

TEST(JobGrid, RemovingARowMovesLaterRowsUp) {
  JobGrid g;
  conversionColumns(g);
  addFile(g, "/m/1.wav", "1.wav");
  addFile(g, "/m/2.wav", "2.wav");
  addFile(g, "/m/3.wav", "3.wav");
  g.RemoveRow(2);
  ASSERT_EQ(g.Rows(), 2);
  EXPECT_EQ(g.CellText(1, 1), "1.wav");
  EXPECT_EQ(g.CellText(2, 1), "3.wav");
  EXPECT_EQ(g.CellText(2, 4), "/m/3.wav");
  EXPECT_EQ(g.RowKey(2), "/m/3.wav");
  EXPECT_EQ(g.CellForeColor(2, 3), QColor(0, 0, 255));
}

TEST(JobGrid, ConversionTypeIsBlueAndOtherCellsAreNot) {
  JobGrid g;
  conversionColumns(g);
  addFile(g, "/m/a.wav", "a.wav");
  EXPECT_EQ(g.CellForeColor(1, 3), QColor(0, 0, 255));
  EXPECT_NE(g.CellForeColor(1, 1), QColor(0, 0, 255));
  EXPECT_NE(g.CellForeColor(1, 2), QColor(0, 0, 255));  // never written
}

TEST(JobGrid, ClearWithAndWithoutColumns) {
  JobGrid g;
  conversionColumns(g);
  addFile(g, "/m/a.wav", "a.wav");
  addFile(g, "/m/b.wav", "b.wav");
  g.SelectRow(2);
  g.Clear(false);
  EXPECT_EQ(g.Rows(), 0);
  EXPECT_EQ(g.Columns(), 5);
  EXPECT_EQ(g.SelectedRow(), 0);
  EXPECT_EQ(g.AddRow("/m/c.wav"), 1);
  EXPECT_EQ(g.CellText(1, 1), "");  // nothing left over from the old row 1
  g.Clear(true);
  EXPECT_EQ(g.Rows(), 0);
  EXPECT_EQ(g.Columns(), 0);
  EXPECT_EQ(g.AddColumn("Source File", 120, 0, true), 1);
}

TEST(JobGrid, SelectionByProgramAndByUser) {
  JobGrid g;
  g.resize(600, 300);
  conversionColumns(g);
  for (int i = 1; i <= 4; ++i) addFile(g, QString("/m/%1.wav").arg(i), QString("%1.wav").arg(i));
  g.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
  QSignalSpy spy(&g, &JobGrid::SelectionChange);

  EXPECT_EQ(g.SelectedRow(), 0);
  g.SelectRow(2);
  EXPECT_EQ(g.SelectedRow(), 2);
  ASSERT_EQ(spy.count(), 1);
  EXPECT_EQ(spy.takeFirst().at(0).toInt(), 2);

  QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, cellCentre(g, 4, 2));
  EXPECT_EQ(g.SelectedRow(), 4);
  ASSERT_EQ(spy.count(), 1);
  EXPECT_EQ(spy.takeFirst().at(0).toInt(), 4);

  QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, cellCentre(g, 4, 1));  // same row
  EXPECT_EQ(spy.count(), 0);

  QTest::keyClick(g.viewport(), Qt::Key_Up);
  EXPECT_EQ(g.SelectedRow(), 3);
  ASSERT_EQ(spy.count(), 1);
  EXPECT_EQ(spy.takeFirst().at(0).toInt(), 3);

  // Whole rows are selected by default, hidden columns included.
  EXPECT_EQ(g.selectionModel()->selectedIndexes().size(), 5);
  EXPECT_THROW(g.SelectRow(5), std::out_of_range);
  EXPECT_EQ(g.SelectedRow(), 3);
}

TEST(JobGrid, DeletingTheSelectedRowClearsTheSelection) {
  JobGrid g;
  conversionColumns(g);
  for (int i = 1; i <= 3; ++i) addFile(g, QString("/m/%1.wav").arg(i), QString("%1.wav").arg(i));
  QSignalSpy spy(&g, &JobGrid::SelectionChange);
  g.SelectRow(3);
  g.RemoveRow(3);
  EXPECT_EQ(g.SelectedRow(), 0);
  ASSERT_EQ(spy.count(), 2);
  EXPECT_EQ(spy.at(1).at(0).toInt(), 0);
  g.SelectRow(1);  // what the burn page does after deleting the last row
  EXPECT_EQ(g.SelectedRow(), 1);

  // Removing another row keeps the selection on the same file.
  g.SelectRow(2);
  g.RemoveRow(1);
  EXPECT_EQ(g.SelectedRow(), 1);
  EXPECT_EQ(g.CellText(g.SelectedRow(), 1), "2.wav");
}

TEST(JobGrid, CellSelectionWhenFullRowSelectIsOff) {
  JobGrid g;
  conversionColumns(g);
  addFile(g, "/m/a.wav", "a.wav");
  addFile(g, "/m/b.wav", "b.wav");
  EXPECT_TRUE(g.FullRowSelect());
  g.SetFullRowSelect(false);
  EXPECT_FALSE(g.FullRowSelect());
  g.SelectRow(2, 3);
  EXPECT_EQ(g.SelectedRow(), 2);
  const auto selected = g.selectionModel()->selectedIndexes();
  ASSERT_EQ(selected.size(), 1);
  EXPECT_EQ(selected.first().column(), 2);
}

TEST(JobGrid, UsersCannotEditCells) {
  JobGrid g;
  conversionColumns(g);
  addFile(g, "/m/a.wav", "a.wav");
  g.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
  QTest::mouseDClick(g.viewport(), Qt::LeftButton, {}, cellCentre(g, 1, 1));
  QTest::keyClicks(g.viewport(), "zz");
  QTest::keyClick(g.viewport(), Qt::Key_Return);
  EXPECT_EQ(g.CellText(1, 1), "a.wav");
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
