// The progress bar drawing and the share/total arithmetic of the conversion jobs.
#include "convert/core/codec_progress.h"
#include "jobs/core/shares.h"
#include "jobs/widgets/draw_progress.h"
#include "jobs/widgets/picture_box.h"
#include "platform/runtime_error.h"

#include <gtest/gtest.h>

#include <QFontMetrics>

namespace {

using sv::DrawProgress;
using sv::PictureBox;

constexpr sv::jobs::Rgb kBarColour = sv::jobs::kBarColor;
constexpr QRgb kBar = qRgb(16, 80, 128) & 0xFFFFFF;
constexpr QRgb kWhite = 0xFFFFFF;

struct Bar {
  PictureBox pic;
  Bar() {
    pic.resize(302, 22);  // 300 by 20 inside the border
    QFont f = pic.font();
    f.setPixelSize(12);
    f.setStyleStrategy(QFont::NoAntialias);
    pic.setFont(f);
  }
  QRgb at(int x, int y) const { return pic.Image().pixel(x, y) & 0xFFFFFF; }
  // The box where the centred text lies.
  QRect textRect(const QString& text) const {
    const QFontMetrics m(pic.font());
    const int tw = m.horizontalAdvance(text), th = m.height();
    return QRect(qRound(150 - tw / 2.0), qRound(10 - th / 2.0), tw, th).adjusted(-2, 0, 2, 0);
  }
  int count(QRect r, QRgb colour) const {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
      for (int x = r.left(); x <= r.right(); ++x)
        if (pic.Image().rect().contains(x, y) && at(x, y) == (colour & 0xFFFFFF)) ++n;
    return n;
  }
};

TEST(DrawProgress, ZeroShowsCentredTextAndNoBar) {
  Bar b;
  DrawProgress(&b.pic, 0, kBarColour);
  const QRect text = b.textRect("0%");
  EXPECT_GT(b.count(text, kBar), 5) << "the digits are drawn in the bar colour";
  // Outside the text everything is white.
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 300; ++x) {
      if (!text.contains(x, y)) {
        ASSERT_EQ(b.at(x, y), kWhite) << x << "," << y;
      }
    }
  EXPECT_FLOAT_EQ(b.pic.LastPercent(), 0.0f);
}

TEST(DrawProgress, HundredFillsTheBoxAndInvertsTheText) {
  Bar b;
  DrawProgress(&b.pic, 100, kBarColour);
  const QRect text = b.textRect("100%");
  EXPECT_GT(b.count(text, kWhite), 5) << "the digits over the bar are inverted";
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 300; ++x) {
      if (!text.contains(x, y)) {
        ASSERT_EQ(b.at(x, y), kBar) << x << "," << y;
      }
    }
}

TEST(DrawProgress, HalfwayTextRoundsUpAndTheBarCoversItsShare) {
  Bar b;
  DrawProgress(&b.pic, 49.5f, kBarColour);
  // 49.5 % of 300 pixels: 148.5, so columns up to 147 are bar, from 149 on white (rows
  // above the text).
  EXPECT_EQ(b.at(147, 0), kBar);
  EXPECT_EQ(b.at(149, 0), kWhite);
  EXPECT_EQ(b.at(0, 19), kBar);
  EXPECT_EQ(b.at(299, 19), kWhite);
  // The text reads "50%": its box is the one of that text, and its right part (past the
  // bar) is drawn in the bar colour, its left part inverted.
  const QRect text = b.textRect("50%");
  EXPECT_GT(b.count(QRect(text.left(), text.top(), 148 - text.left(), text.height()), kWhite), 0);
  EXPECT_GT(b.count(QRect(150, text.top(), text.right() - 149, text.height()), kBar), 0);
}

TEST(DrawProgress, EachCallRedrawsTheWholeBox) {
  Bar b;
  DrawProgress(&b.pic, 80, kBarColour);
  DrawProgress(&b.pic, 20, sv::jobs::Rgb{200, 0, 0});
  EXPECT_EQ(b.at(50, 0), qRgb(200, 0, 0) & 0xFFFFFF);
  EXPECT_EQ(b.at(70, 0), kWhite) << "the earlier, longer bar was not cleared";
  EXPECT_EQ(b.at(230, 19), kWhite);
  // Without the invert flag only the text is drawn.
  DrawProgress(&b.pic, 60, kBarColour, false);
  EXPECT_EQ(b.at(10, 0), kWhite);
  EXPECT_GT(b.count(b.textRect("60%"), kBar), 5);
}

TEST(DrawProgress, AboveHundredIsClippedAndShownAsGiven) {
  Bar b;
  DrawProgress(&b.pic, 150, kBarColour);
  EXPECT_EQ(b.at(299, 0), kBar);
  EXPECT_GT(b.count(b.textRect("150%"), kWhite), 5);
  EXPECT_FLOAT_EQ(b.pic.LastPercent(), 150.0f);
}

TEST(JobShares, OneRowFollowsTheFileBar) {
  EXPECT_EQ(sv::jobs::FileShare(1), 100);
  EXPECT_EQ(sv::jobs::FileBase(1, 1), 0);
  for (int p : {0, 1, 49, 50, 99, 100}) EXPECT_EQ(sv::jobs::TotalPercentOfRows(p, 1, 1), p);
}

TEST(JobShares, ThreeRowsStepByAThird) {
  EXPECT_EQ(sv::jobs::FileShare(3), 33);
  EXPECT_EQ(sv::jobs::FileBase(3, 1), 0);
  EXPECT_EQ(sv::jobs::FileBase(3, 2), 33);
  EXPECT_EQ(sv::jobs::FileBase(3, 3), 67);  // rnd(66.67)
  EXPECT_EQ(sv::jobs::TotalPercentOfRows(100, 3, 1), 33);
  EXPECT_EQ(sv::jobs::TotalPercentOfRows(100, 3, 2), 66);
  EXPECT_EQ(sv::jobs::TotalPercentOfRows(100, 3, 3), 100);
  // 50 * 33 / 100 = 16.5 goes to the even 16; 16.5 + 33 = 49.5 goes to 50.
  EXPECT_EQ(sv::jobs::TotalPercentOfRows(50, 3, 1), 16);
  EXPECT_EQ(sv::jobs::TotalPercentOfRows(50, 3, 2), 50);
  // Eight rows: a share of 12.5 rounds to 12.
  EXPECT_EQ(sv::jobs::FileShare(8), 12);
  EXPECT_EQ(sv::jobs::FileShare(40), 2);  // 2.5 to 2
  EXPECT_EQ(sv::jobs::FileShare(28), 4);  // 3.57 to 4
}

TEST(JobShares, ProductBeyondSixteenBitsOverflows) {
  EXPECT_EQ(sv::jobs::TotalPercent(327, 100, 0), 327);
  try {
    sv::jobs::TotalPercent(400, 100, 0);
    FAIL() << "no overflow";
  } catch (const sv::RuntimeError& e) {
    EXPECT_EQ(e.number(), sv::errOverflow);
  }
}

TEST(VqfDecodeProgress, EstimatesTheLengthFromTheFileSize) {
  // 1000000 * 14.69 / 96 = 153020.83, rounded 153021; 100 / 153021 is 0 %.
  EXPECT_EQ(sv::VqfDecodePercent(100, 96, 1000000), 0);
  EXPECT_EQ(sv::VqfDecodePercent(76511, 96, 1000000), 50);  // 50.0003 %
  // Past the estimate the estimate becomes position + 10.
  EXPECT_EQ(sv::VqfDecodePercent(30000, 96, 1000), 100);  // 30000 / 30010
  EXPECT_THROW(sv::VqfDecodePercent(10, 0, 1000), sv::RuntimeError);
  // Without a job window the callbacks only give back 0.
  EXPECT_EQ(OggDecodeProgress(50), 0);
  EXPECT_EQ(VqfDecodeProgress(10, 0), 0);
  EXPECT_EQ(WmaDecodeProgress(50), 0);
}

}  // namespace
