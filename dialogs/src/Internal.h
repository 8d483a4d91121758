#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <QString>

class QDialog;
class QWidget;

namespace svcmdlg::detail {

inline QString toQ(const std::string& s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

inline std::string fromQ(const QString& s) { return s.toStdString(); }

// One entry of a filter list: "Text files|*.txt;*.log" gives ("Text files", "*.txt;*.log").
struct FilterEntry {
  std::string description;
  std::string pattern;
};

// Every "|" and ":" becomes a zero character and two zeros end the list; the entries are
// read back from that list as the dialog reads them (it stops at the first empty text).
std::string convertFilter(const std::string& filter);
std::vector<FilterEntry> parseConvertedFilter(const std::string& converted);
// The name filter the file dialog shows for an entry: the description, with the
// patterns it matches in the form the dialog parses.
QString qtNameFilter(const FilterEntry& entry);

// The owner window named by a window id; ok is false when a non-zero id names no window.
QWidget* ownerWindow(std::intptr_t hwnd, bool& ok);

// True when dialogs can be shown at all: a widget application on its own thread.
bool dialogsAvailable();

// Gives panels embedded into hDlg back to their former parents.
void restorePanels(QDialog* hDlg);

}  // namespace svcmdlg::detail
