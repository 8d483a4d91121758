#include "modAKRip32.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>

#include "disc_images.h"
#include "platform/msgbox.h"
#include "platform/runtime_error.h"

namespace {

using namespace sv::discs;

TEST(TocTrackAddress, ReadsBigEndianAndRefusesTheTopBit) {
  const std::uint8_t a[4] = {0x00, 0x01, 0x02, 0x03};
  EXPECT_EQ(sv::TocTrackAddress(a), 0x010203);
  const std::uint8_t b[4] = {0x7F, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(sv::TocTrackAddress(b), 0x7FFFFFFF);
  const std::uint8_t c[4] = {0x80, 0, 0, 0};
  try {
    sv::TocTrackAddress(c);
    FAIL() << "no overflow";
  } catch (const sv::RuntimeError& e) {
    EXPECT_EQ(e.number(), 6);
  }
}

TEST(AspiErrorTexts, KnownCodesAndEmptyForOthers) {
  EXPECT_EQ(sv::AspiErrorText(0), "No error...");
  EXPECT_EQ(sv::AspiErrorText(-7), "The handle to the CD-ROM unit is invalid.");
  EXPECT_TRUE(sv::AspiErrorText(-6).startsWith("The buffer passed to ReadCDAudioLBA"));
  EXPECT_EQ(sv::AspiErrorText(-15), "An automatic jitter adjust failed during a call to ReadCDAudioLBAEx");
  for (int code = -15; code <= 0; ++code) EXPECT_FALSE(sv::AspiErrorText(code).isEmpty()) << code;
  EXPECT_EQ(sv::AspiErrorText(1), "");
  EXPECT_EQ(sv::AspiErrorText(-16), "");
}

TEST(OpenCDDrive, OpensAnImageByPathAndReadsItsTocAndTexts) {
  QTemporaryDir discs;
  qputenv("SONVERA_DISC_DIR", discs.path().toUtf8());
  DiscSpec spec = AudioDisc("grab me", {500, 260});
  spec.title = "Album";
  spec.tracks[1].title = "Second";
  spec.tracks.push_back(DataTrack(300));
  const DiscImage image = WriteCueBin(discs.path().toStdString(), spec);
  sv::ScopedMsgBoxResponder boxes(sv::vbOK);

  EXPECT_THROW(sv::GetCDRecord(8), sv::RuntimeError);
  const SVR_CDREC rec = sv::GetCDRecord(0);
  EXPECT_STREQ(rec.id, "Disc image: grab me.cue");

  ASSERT_EQ(sv::OpenCDDrive(QString::fromStdString(image.sheet.string())), -1);
  EXPECT_NE(sv::CDHandle, 0);
  EXPECT_EQ(sv::TocTrackAddress(sv::DiscToc.tracks[0].address), image.start(1));
  EXPECT_EQ(sv::TocTrackAddress(sv::DiscToc.tracks[1].address), image.start(2));
  EXPECT_EQ(sv::TocTrackAddress(sv::DiscToc.tracks[3].address), image.totalFrames);
  EXPECT_TRUE(sv::TocTrackIsAudio(1));
  EXPECT_FALSE(sv::TocTrackIsAudio(3));
  EXPECT_EQ(sv::DiscCdText(0, SVR_CDTEXT_TITLE), "Album");
  EXPECT_EQ(sv::DiscCdText(2, SVR_CDTEXT_TITLE), "Second");
  EXPECT_EQ(sv::DiscCdText(1, SVR_CDTEXT_TITLE), "");
  EXPECT_EQ(sv::GetAspiErrorText(), "No error...");
  sv::CloseCDDrive();
  EXPECT_EQ(sv::CDHandle, 0);
  EXPECT_TRUE(boxes.calls().empty());

  // The index form of the same, and a path no drive has.
  ASSERT_EQ(sv::OpenCDDrive(std::int16_t{0}), -1);
  sv::CloseCDDrive();
  EXPECT_EQ(sv::OpenCDDrive(QStringLiteral("/no/such.cue")), 0);
  ASSERT_EQ(boxes.calls().size(), 1u);
  EXPECT_EQ(boxes.calls()[0].text, "GetCDHandle error");
  EXPECT_EQ(boxes.calls()[0].buttons, sv::vbCritical);

  // An image gone after it was listed: the drive opens no disc.
  RemoveImage(image);
  EXPECT_EQ(sv::OpenCDDrive(std::int16_t{0}), 0);
}

}  // namespace
