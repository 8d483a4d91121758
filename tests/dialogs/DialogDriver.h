#pragma once

// Drives the open dialogs the way a user would: clicks in the file list, typing, buttons.
#include <functional>
#include <string>

#include <QDialog>
#include <QFileDialog>
#include <QStringList>

namespace testdrive {

// Runs action once the event loop of the dialog that is about to open is running.
void whenOpen(std::function<void()> action);
// The open dialog of type T, or null.
template <class T>
T* openDialog();

QFileDialog* openFileDialog();
// Waits until the file list shows every name (the list fills in the background).
bool waitForNames(QFileDialog* d, const QStringList& names);
// Waits until the name is no longer offered (hidden or greyed out by the filter).
bool waitUntilGone(QFileDialog* d, const QString& name);
// Clicks the names in the list, the first plainly and the others with Ctrl held.
void clickNames(QFileDialog* d, const QStringList& names);
void doubleClickName(QFileDialog* d, const QString& name);
void typeFileName(QFileDialog* d, const QString& text);
void clickAccept(QDialog* d);
void clickReject(QDialog* d);
// Answers the next message box that opens with the button of the given role.
void answerMessageBox(bool yes);
// Chooses the entry below the current one in the file type box, with the keyboard.
void nextFileType(QFileDialog* d);

std::string z(std::initializer_list<std::string> parts);  // parts joined by zero characters

}  // namespace testdrive

#include <QApplication>

template <class T>
T* testdrive::openDialog() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* d = qobject_cast<T*>(w); d && d->isVisible()) return d;
  return nullptr;
}
