// Rows converted by one call into a codec library: every result other than 0 is a row not
// converted, with a status text naming the cause, and no file left behind.
#include "convert/core/outside_codecs.h"
#include "convert_support.h"
#include "frmAllToWaveStatus.h"
#include "frmWaveToAllStatus.h"
#include "grid/job_grid.h"
#include "platform/msgbox.h"
#include "shell/core/globals.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QTemporaryDir>

#include <memory>

namespace {

using convtest::AddJobRow;

class CodecRows : public convtest::JobListTest {
 protected:
  void SetUp() override {
    JobListTest::SetUp();
    for (const char* name : {"svogg", "svvqf", "svwma"})
      sv::codecs::SetLibraryName(name, CONVERT_FAKE_CODECS);
  }
};

TEST_F(CodecRows, EveryNonZeroResultIsNotConvertedWithItsCause) {
  struct Case {
    int code;
    const char* status;
  } cases[] = {{1, "can not open source file"},
               {2, "source is not a valid OGG file"},
               {3, "can not create destination file"},
               {4, "can not write destination file"},
               {5, "source file is damaged"},
               {6, "stopped by the codec library"},
               {7, "the codec library refused the settings"},
               {8, "the codec library failed (out of memory or an internal error)"},
               {42, "the codec library failed with code 42"},
               {-1, "the codec library failed with code -1"}};
  for (const Case& c : cases) {
    // "partial": the library leaves some bytes before it fails.
    const QString source = path(QStringLiteral("partial-result-%1.ogg").arg(c.code));
    AddJobRow(*list_, source, path(QStringLiteral("r%1.WAV").arg(c.code)), "OGG->WAV");
  }
  AddJobRow(*list_, path("good.ogg"), path("good.WAV"), "OGG->WAV");
  sv::ScopedMsgBoxResponder boxes(sv::vbOK);
  sv::frmAllToWaveStatus w(nullptr, list_.get(), &overwrite_);
  w.show();
  w.cmdStart_Click();
  const auto& results = w.Job().Results();
  ASSERT_EQ(results.size(), std::size(cases) + 1);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_TRUE(results[i].failed()) << cases[i].code;
    EXPECT_EQ(results[i].reason, cases[i].status) << cases[i].code;
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("r%1.WAV").arg(cases[i].code))))
        << "what a failed call left is removed: " << cases[i].code;
  }
  EXPECT_FALSE(results.back().failed());
  EXPECT_EQ(convtest::ReadAll(path("good.WAV")), "OGG:" + path("good.ogg").toUtf8());
  EXPECT_TRUE(boxes.calls().empty()) << "result codes are shown in the list, not in boxes";
  EXPECT_EQ(w.labelStatus->text(),
            QStringLiteral("Finish Converting! %1 files not converted.").arg(std::size(cases)));
  // The window lists them with their causes.
  EXPECT_TRUE(w.listFailures->isVisibleTo(&w));
  ASSERT_EQ(w.listFailures->count(), static_cast<int>(std::size(cases)));
  EXPECT_EQ(w.listFailures->item(4)->text(), "partial-result-5.ogg: source file is damaged");
}

// Each of the six calls, each code: the row's text names the cause in that call's terms.
TEST_F(CodecRows, EveryCallsCodesBecomeTextsInItsWindow) {
  const char* types[] = {"OGG->WAV", "VQF->WAV", "WMA->WAV", "WAV->OGG", "WAV->VQF", "WAV->WMA"};
  for (const char* type : types) {
    const QString t = QString::fromLatin1(type);
    const bool decoding = t.endsWith("->WAV");
    const QString format = decoding ? t.left(3) : t.right(3);
    list_->Clear(false);
    for (int code = SVC_E_SOURCE_OPEN; code <= SVC_E_INTERNAL; ++code)
      AddJobRow(*list_, path(QStringLiteral("partial-result-%1.%2").arg(code).arg(decoding ? format : "wav")),
                path(QStringLiteral("out%1.%2").arg(code).arg(decoding ? "WAV" : format)), t);
    sv::ScopedMsgBoxResponder boxes(sv::vbOK);
    std::unique_ptr<sv::jobs::RowJobWindow> w;
    if (decoding)
      w = std::make_unique<sv::frmAllToWaveStatus>(nullptr, list_.get(), &overwrite_);
    else
      w = std::make_unique<sv::frmWaveToAllStatus>(
          *list_, [] { return sv::WaveToAllOptions{}; }, [] { return true; });
    w->show();
    w->cmdStart_Click();
    const auto& results = w->Job().Results();
    ASSERT_EQ(results.size(), std::size_t{SVC_E_INTERNAL}) << type;
    for (int code = SVC_E_SOURCE_OPEN; code <= SVC_E_INTERNAL; ++code) {
      const auto& r = results[static_cast<std::size_t>(code - 1)];
      EXPECT_TRUE(r.failed()) << type << " " << code;
      EXPECT_EQ(r.reason, sv::codecs::CodecResultText(code, decoding, format)) << type << " " << code;
      EXPECT_FALSE(QFile::exists(path(QStringLiteral("out%1.%2").arg(code).arg(decoding ? "WAV" : format))))
          << type << " " << code;
    }
    EXPECT_EQ(results[1].reason, decoding
                                     ? QStringLiteral("source is not a valid %1 file").arg(format)
                                     : QStringLiteral("source is not a 16-bit PCM mono or stereo wave file"))
        << type;
    EXPECT_TRUE(boxes.calls().empty()) << type;
    EXPECT_EQ(w->labelStatus->text(),
              QStringLiteral("Finish Converting! %1 files not converted.").arg(int{SVC_E_INTERNAL}))
        << type;
  }
}

TEST_F(CodecRows, EncodersAndTheWmaDecoderFollowTheSameContract) {
  AddJobRow(*list_, path("bad-result-2.wav"), path("bad.OGG"), "WAV->OGG");
  AddJobRow(*list_, path("x.wav"), path("x.VQF"), "WAV->VQF");
  sv::ScopedMsgBoxResponder boxes(sv::vbOK);
  sv::frmWaveToAllStatus w(
      *list_, [] { return sv::WaveToAllOptions{}; }, [] { return true; });
  w.show();
  w.cmdStart_Click();
  ASSERT_EQ(w.Job().Results().size(), 2u);
  EXPECT_EQ(w.Job().Results()[0].reason, "source is not a 16-bit PCM mono or stereo wave file");
  EXPECT_FALSE(w.Job().Results()[1].failed());

  grid::JobGrid& list = *list_;
  list.Clear(false);
  AddJobRow(list, path("song-result-5.wma"), path("song.WAV"), "WMA->WAV");
  sv::frmAllToWaveStatus w2(nullptr, &list, &overwrite_);
  w2.show();
  w2.cmdStart_Click();
  ASSERT_EQ(w2.Job().Results().size(), 1u);
  EXPECT_EQ(w2.Job().Results()[0].reason, "source file is damaged");
}

}  // namespace
