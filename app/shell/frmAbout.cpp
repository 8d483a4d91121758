#include "frmAbout.h"

#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QUrl>
#include <QVBoxLayout>

#include "Artwork.h"
#include "ResourceFonts.h"
#include "XPButton.h"

namespace {

// The blue panel with the emblem at the box's left.
class LogoPanel : public QWidget {
 public:
  using QWidget::QWidget;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, height());
    g.setColorAt(0, sv::art::kBarLight);
    g.setColorAt(1, sv::art::kBarDark);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(rect(), 6, 6);
    const qreal side = width() * 0.68;
    sv::art::PaintLogo(p, QRectF((width() - side) / 2, 22, side, side));
    QFont f = font();
    f.setBold(true);
    f.setPixelSize(15);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 30 + static_cast<int>(side), width(), 20), Qt::AlignHCenter,
               QStringLiteral("Sonvera"));
    f.setBold(false);
    f.setPixelSize(12);
    p.setFont(f);
    p.setPen(QColor(190, 216, 238));
    p.drawText(QRect(0, 50 + static_cast<int>(side), width(), 18), Qt::AlignHCenter,
               QStringLiteral("Disc Suite"));
  }
};

QString LinkHtml(const QString& href, const QString& text) {
  return QStringLiteral("<a href=\"%1\" style=\"color:#105080;\">%2</a>").arg(href, text.toHtmlEscaped());
}

}  // namespace

QString frmAbout::VersionLine(int major, int minor, int revision) {
  return QStringLiteral("Sonvera Disc Suite V%1.%2%3").arg(major).arg(minor).arg(revision);
}

frmAbout::frmAbout(QWidget* owner) : QDialog(owner) {
  setObjectName(QStringLiteral("frmAbout"));
  setWindowTitle(QStringLiteral("About Sonvera Disc Suite"));
  setModal(true);
  setFixedSize(424, 290);
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, sv::art::kPage);
  pal.setColor(QPalette::WindowText, sv::art::kInk);
  setPalette(pal);

  Picture1 = new LogoPanel(this);
  Picture1->setObjectName(QStringLiteral("Picture1"));
  Picture1->setGeometry(14, 46, 136, 190);

  auto* tab = new XPButton(this);
  tab->setObjectName(QStringLiteral("cmdSettings_0"));
  tab->setCaption(QStringLiteral("&General"));
  tab->setBackgroundColor(controls::RGB(244, 247, 250));
  tab->setHoverColor(controls::RGB(16, 80, 128));
  tab->setTextColor(controls::RGB(16, 80, 128));
  tab->setGeometry(160, 15, 92, 26);
  connect(tab, &XPButton::Click, this, [this] { cmdSettings_Click(0); });
  cmdSettings[0] = tab;

  auto* frame = new QGroupBox(QStringLiteral("General"), this);
  frame->setObjectName(QStringLiteral("FrameSetting_0"));
  FrameSetting[0] = frame;
  auto* layout = new QVBoxLayout(frame);
  layout->setContentsMargins(14, 12, 14, 12);
  layout->setSpacing(6);
  Label1 = new QLabel(frame);
  Label1->setObjectName(QStringLiteral("Label1"));
  layout->addWidget(Label1);
  auto* blurb = new QLabel(QStringLiteral("Converts WAV to MP3, WMA, VQF and OGG and back, grabs audio CD "
                                          "tracks and burns audio CDs from WAV and MP3 lists."),
                           frame);
  blurb->setWordWrap(true);
  layout->addWidget(blurb);
  layout->addStretch(1);
  Label12 =
      new QLabel(LinkHtml(QString::fromLatin1(kWebAddress), QStringLiteral("www.sonvera.example")), frame);
  Label12->setObjectName(QStringLiteral("Label12"));
  Label13 = new QLabel(LinkHtml(QStringLiteral("mailto:") + QString::fromLatin1(kSupportAddress),
                                QString::fromLatin1(kSupportAddress)),
                       frame);
  Label13->setObjectName(QStringLiteral("Label13"));
  for (QLabel* link : {Label12, Label13}) {
    link->setTextFormat(Qt::RichText);
    link->setCursor(Qt::PointingHandCursor);
    // Opened through the desktop, like the help file.
    link->setOpenExternalLinks(false);
    connect(link, &QLabel::linkActivated, this,
            [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); });
    layout->addWidget(link);
  }
  auto* copyright = new QLabel(QStringLiteral("\u00a9 Sonvera. All rights reserved."), frame);
  copyright->setObjectName(QStringLiteral("LabelCopyright"));
  layout->addWidget(copyright);

  cmdOk = new XPButton(this);
  cmdOk->setObjectName(QStringLiteral("cmdOk"));
  cmdOk->setCaption(QStringLiteral("&OK"));
  cmdOk->setBackgroundColor(controls::RGB(16, 80, 128));
  cmdOk->setHoverColor(controls::RGB(246, 166, 35));
  cmdOk->setTextColor(controls::RGB(255, 255, 255));
  cmdOk->setGeometry(424 - 14 - 88, 290 - 14 - 28, 88, 28);
  connect(cmdOk, &XPButton::Click, this, &frmAbout::cmdOk_Click);

  Form_Load();
}

frmAbout::~frmAbout() = default;

void frmAbout::Form_Load() {
  sv::ApplyResourceFonts(*this);
  QGroupBox* frame = FrameSetting[0];
  frame->setGeometry(Picture1->x() + Picture1->width() + 10, Picture1->y() - 5, 250, Picture1->height() + 8);
  frame->hide();
  Label1->setText(VersionLine(SONVERA_VERSION_MAJOR, SONVERA_VERSION_MINOR, SONVERA_VERSION_REVISION));
  QFont heading = Label1->font();
  heading.setBold(true);
  heading.setPointSizeF(heading.pointSizeF() * 1.15);
  Label1->setFont(heading);
  Label1->setStyleSheet(QStringLiteral("color:#105080;"));
  cmdSettings_Click(0);
}

void frmAbout::cmdSettings_Click(int Index) {
  for (std::size_t i = 0; i < cmdSettings.size(); ++i) {
    const bool selected = static_cast<int>(i) == Index;
    cmdSettings[i]->setIsPressed(selected);
    FrameSetting[i]->setVisible(selected);
  }
  if (Index >= 0 && static_cast<std::size_t>(Index) < FrameSetting.size())
    FrameSetting[static_cast<std::size_t>(Index)]->setTitle(QString());
}

void frmAbout::cmdOk_Click() { accept(); }
