#include "DialogDriver.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

namespace testdrive {

void whenOpen(std::function<void()> action) {
  QTimer::singleShot(0, qApp, [action = std::move(action)] {
    (void)QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; }, 5000);
    action();
  });
}

QFileDialog* openFileDialog() { return openDialog<QFileDialog>(); }

namespace {

QListView* listOf(QFileDialog* d) { return d->findChild<QListView*>(QStringLiteral("listView")); }

QModelIndex indexOf(QFileDialog* d, const QString& name) {
  QListView* view = listOf(d);
  QAbstractItemModel* model = view->model();
  const QModelIndex root = view->rootIndex();
  for (int r = 0; r < model->rowCount(root); ++r) {
    const QModelIndex i = model->index(r, 0, root);
    if (i.data().toString() == name) return i;
  }
  return {};
}

}  // namespace

bool waitForNames(QFileDialog* d, const QStringList& names) {
  return QTest::qWaitFor(
      [&] {
        for (const QString& n : names)
          if (!indexOf(d, n).isValid()) return false;
        return true;
      },
      5000);
}

bool waitUntilGone(QFileDialog* d, const QString& name) {
  return QTest::qWaitFor(
      [&] {
        const QModelIndex i = indexOf(d, name);
        return !i.isValid() || !(i.flags() & Qt::ItemIsEnabled);
      },
      2000);
}

void clickNames(QFileDialog* d, const QStringList& names) {
  waitForNames(d, names);
  QListView* view = listOf(d);
  bool first = true;
  for (const QString& n : names) {
    const QModelIndex i = indexOf(d, n);
    view->scrollTo(i);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, first ? Qt::NoModifier : Qt::ControlModifier,
                      view->visualRect(i).center());
    first = false;
  }
}

void doubleClickName(QFileDialog* d, const QString& name) {
  waitForNames(d, {name});
  QListView* view = listOf(d);
  const QModelIndex i = indexOf(d, name);
  const QPoint at = view->visualRect(i).center();
  QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
  QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

void typeFileName(QFileDialog* d, const QString& text) {
  auto* edit = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  edit->setFocus();
  edit->clear();
  // Long texts are pasted: typing them key by key runs the completer each time.
  if (text.size() > 64)
    edit->insert(text);
  else
    QTest::keyClicks(edit, text);
}

namespace {
void clickRole(QDialog* d, QDialogButtonBox::ButtonRole role) {
  // The font and colour dialogs hold more than one button row; take the one with OK.
  for (auto* box : d->findChildren<QDialogButtonBox*>())
    for (QAbstractButton* b : box->buttons())
      if (box->buttonRole(b) == role && b->isVisible()) {
        QTest::mouseClick(b, Qt::LeftButton);
        return;
      }
}
}  // namespace

void clickAccept(QDialog* d) { clickRole(d, QDialogButtonBox::AcceptRole); }

void clickReject(QDialog* d) { clickRole(d, QDialogButtonBox::RejectRole); }

void answerMessageBox(bool yes) {
  QTimer::singleShot(0, qApp, [yes] {
    QMessageBox* box = nullptr;
    (void)QTest::qWaitFor([&] { return (box = openDialog<QMessageBox>()) != nullptr; }, 5000);
    if (box) QTest::mouseClick(box->button(yes ? QMessageBox::Yes : QMessageBox::No), Qt::LeftButton);
  });
}

void nextFileType(QFileDialog* d) {
  auto* combo = d->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
  combo->setFocus();
  QTest::keyClick(combo, Qt::Key_Down);
}

std::string z(std::initializer_list<std::string> parts) {
  std::string out;
  bool first = true;
  for (const auto& p : parts) {
    if (!first) out.push_back('\0');
    out += p;
    first = false;
  }
  return out;
}

}  // namespace testdrive
