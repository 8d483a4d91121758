#pragma once
// The About box: logo panel, product and version, the maker's addresses.
#include <QDialog>
#include <array>

class QGroupBox;
class QLabel;
class XPButton;

class frmAbout : public QDialog {
  Q_OBJECT
 public:
  explicit frmAbout(QWidget* owner = nullptr);
  ~frmAbout() override;

  // "Sonvera Disc Suite V" + major + "." + minor + revision, with nothing
  // between minor and revision (1.0 revision 1 reads V1.01).
  static QString VersionLine(int major, int minor, int revision);

  static constexpr const char* kWebAddress = "https://www.sonvera.example/";
  static constexpr const char* kSupportAddress = "support@sonvera.example";

  QWidget* Picture1 = nullptr;
  std::array<QGroupBox*, 1> FrameSetting{};
  std::array<XPButton*, 1> cmdSettings{};
  QLabel* Label1 = nullptr;
  QLabel* Label12 = nullptr;
  QLabel* Label13 = nullptr;
  XPButton* cmdOk = nullptr;

  void cmdSettings_Click(int Index);
  void cmdOk_Click();

 private:
  void Form_Load();
};
