#include "platform/mci.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace sv;
using namespace sv::mci;

// A device that answers a few status queries and records what it was sent.
struct Journal {
  std::vector<QString> commands;
  std::vector<OpenRequest> opens;
  int destroyed = 0;
};

class FakeDevice : public Device {
 public:
  explicit FakeDevice(Journal& journal) : journal_(journal) {}
  ~FakeDevice() override { ++journal_.destroyed; }
  int execute(const Command& command, QString& reply) override {
    journal_.commands.push_back(command.verb + QLatin1Char(' ') + command.joinedLower() +
                                (command.wait ? QStringLiteral(" [wait]") : QString()));
    if (command.verb == QLatin1String("play")) {
      playing_ = true;
      return kNoError;
    }
    if (command.verb == QLatin1String("stop")) {
      playing_ = false;
      return kNoError;
    }
    if (command.verb == QLatin1String("status")) {
      const QString what = command.joinedLower();
      if (what == QLatin1String("mode"))
        reply = playing_ ? QStringLiteral("playing") : QStringLiteral("stopped");
      else if (what == QLatin1String("media present"))
        reply = QStringLiteral("true");
      else if (what == QLatin1String("position"))
        reply = FormatTmsf(2, 3, 4, 5);
      else if (what == QLatin1String("length"))
        reply = QStringLiteral("183000");
      else
        return kUnrecognizedKeyword;
      return kNoError;
    }
    return kUnsupportedFunction;
  }

 private:
  Journal& journal_;
  bool playing_ = false;
};

class MciTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterDeviceType("testaudio",
                       [this](const OpenRequest& request, int& error) -> std::unique_ptr<Device> {
                         journal.opens.push_back(request);
                         if (request.element.endsWith(QLatin1String("missing.tst"))) {
                           error = kFileNotFound;
                           return nullptr;
                         }
                         return std::make_unique<FakeDevice>(journal);
                       });
  }
  void TearDown() override {
    mciSendString("close all");
    UnregisterDeviceType("testaudio");
  }
  Journal journal;
};

TEST_F(MciTest, OpenByAliasStatusAndClose) {
  QString reply;
  ASSERT_EQ(mciSendString("open /music/a.tst type testaudio alias song wait", &reply), 0);
  ASSERT_EQ(journal.opens.size(), 1u);
  EXPECT_EQ(journal.opens[0].element, "/music/a.tst");
  EXPECT_EQ(journal.opens[0].alias, "song");
  EXPECT_TRUE(IsOpen("SONG"));  // aliases ignore case

  EXPECT_EQ(mciSendString("status song mode", &reply), 0);
  EXPECT_EQ(reply, "stopped");
  EXPECT_EQ(mciSendString("Play Song wait"), 0);
  EXPECT_EQ(mciSendString("status song mode", &reply), 0);
  EXPECT_EQ(reply, "playing");
  EXPECT_EQ(mciSendString("status song position", &reply), 0);
  EXPECT_EQ(reply, "02:03:04:05");
  EXPECT_EQ(journal.commands[0], "status mode");
  EXPECT_EQ(journal.commands[1], "play  [wait]");

  EXPECT_EQ(mciSendString("close song"), 0);
  EXPECT_FALSE(IsOpen("song"));
  EXPECT_EQ(journal.destroyed, 1);
  EXPECT_EQ(mciSendString("close song"), kInvalidDeviceName);
  EXPECT_EQ(mciSendString("status song mode", &reply), kInvalidDeviceName);
  EXPECT_TRUE(reply.isEmpty());
}

TEST_F(MciTest, QuotedPathsSimpleDevicesAndDefaultAliases) {
  ASSERT_EQ(mciSendString("Open \"/my music/a b.tst\" ALIAS x1 TYPE testaudio wait"), 0);
  EXPECT_EQ(journal.opens.back().element, "/my music/a b.tst");
  ASSERT_EQ(mciSendString("open testaudio shareable"), 0);
  EXPECT_EQ(journal.opens.back().element, "");
  EXPECT_TRUE(journal.opens.back().shareable);
  EXPECT_TRUE(IsOpen("testaudio"));
  ASSERT_EQ(mciSendString("open /x/y.tst type testaudio"), 0);
  EXPECT_TRUE(IsOpen("/x/y.tst"));
  // "type" right after the verb: no element, as when no drive name was found.
  ASSERT_EQ(mciSendString("open  type testaudio alias cd wait shareable"), 0);
  EXPECT_EQ(journal.opens.back().element, "");
  EXPECT_TRUE(IsOpen("cd"));
}

TEST_F(MciTest, AliasClashesAndCloseAll) {
  ASSERT_EQ(mciSendString("open a.tst type testaudio alias one"), 0);
  EXPECT_EQ(mciSendString("open b.tst type testaudio alias ONE"), kDuplicateAlias);
  ASSERT_EQ(mciSendString("open b.tst type testaudio alias two"), 0);
  EXPECT_EQ(mciSendString("open b.tst type testaudio"), 0);
  EXPECT_EQ(mciSendString("open b.tst type testaudio"), kDeviceOpen);
  QString reply;
  EXPECT_EQ(mciSendString("sysinfo all quantity open", &reply), 0);
  EXPECT_EQ(reply, "3");
  EXPECT_EQ(mciSendString("status all mode", &reply), kCannotUseAll);
  EXPECT_EQ(mciSendString("open c.tst type testaudio alias all"), kCannotUseAll);

  EXPECT_EQ(mciSendString("close all wait"), 0);
  EXPECT_FALSE(IsOpen("one"));
  EXPECT_FALSE(IsOpen("two"));
  EXPECT_EQ(journal.destroyed, 3);
  EXPECT_EQ(mciSendString("close all"), 0);  // nothing open is fine
}

TEST_F(MciTest, ErrorsForBadCommandsAndDevices) {
  EXPECT_EQ(mciSendString(""), kMissingCommandString);
  EXPECT_EQ(mciSendString("fly cd"), kUnrecognizedCommand);
  EXPECT_EQ(mciSendString("play nothing"), kInvalidDeviceName);
  EXPECT_EQ(mciSendString("play"), kMissingDeviceName);
  EXPECT_EQ(mciSendString("open"), kMissingDeviceName);
  EXPECT_EQ(mciSendString("open \"/a b.tst type testaudio"), kNoClosingQuote);
  EXPECT_EQ(mciSendString("open song.xyz alias s"), kExtensionNotFound);
  EXPECT_EQ(mciSendString("open a.tst type testaudio alias"), kMissingStringArgument);
  EXPECT_EQ(mciSendString("open a.tst type testaudio alias a alias b"), kDuplicateFlags);
  EXPECT_EQ(mciSendString("open /music/missing.tst type testaudio alias m"), kFileNotFound);
  EXPECT_FALSE(IsOpen("m"));
  // Without a registered driver, as on a machine with no drive.
  EXPECT_EQ(mciSendString("open /dev/sr0 type cdaudio alias cd wait shareable"), kInvalidDeviceName);
  EXPECT_EQ(mciSendString("open cdaudio"), kInvalidDeviceName);
  EXPECT_EQ(mciSendString("open /music/song.wav alias w"), kInvalidDeviceName);
  ASSERT_EQ(mciSendString("open a.tst type testaudio alias a"), 0);
  EXPECT_EQ(mciSendString("seek a to 3"), kUnsupportedFunction);
  EXPECT_EQ(mciSendString("status a colour"), kUnrecognizedKeyword);
}

TEST_F(MciTest, ReplyBufferLength) {
  ASSERT_EQ(mciSendString("open a.tst type testaudio alias a"), 0);
  QString reply = "old";
  EXPECT_EQ(mciSendString("status a length", &reply, 7), 0);
  EXPECT_EQ(reply, "183000");
  EXPECT_EQ(mciSendString("status a length", &reply, 6), kParamOverflow);
  EXPECT_TRUE(reply.isEmpty());
}

TEST(MciErrors, ReadableTexts) {
  EXPECT_EQ(mciGetErrorString(0), "The specified command was carried out.");
  EXPECT_EQ(mciGetErrorString(kUnrecognizedCommand), "The driver cannot recognize the specified command.");
  EXPECT_EQ(mciGetErrorString(kInvalidDeviceName),
            "The specified device is not open or is not recognized by MCI.");
  EXPECT_EQ(mciGetErrorString(kExtensionNotFound),
            "Cannot determine the device type from the given filename extension.");
  QString text;
  EXPECT_TRUE(mciGetErrorString(kDuplicateAlias, text));
  EXPECT_FALSE(text.isEmpty());
  EXPECT_FALSE(mciGetErrorString(12345, text));
  EXPECT_TRUE(text.contains(QLatin1String("12345")));
}

TEST(MciTimeTexts, Formats) {
  EXPECT_EQ(FormatTmsf(1, 0, 0, 0), "01:00:00:00");
  EXPECT_EQ(FormatTmsf(12, 75, 9, 74), "12:75:09:74");
  EXPECT_EQ(FormatMsf(3, 2, 1), "03:02:01");
  EXPECT_EQ(DeviceTypeForExtension("WAV"), "waveaudio");
  EXPECT_EQ(DeviceTypeForExtension("mp3"), "mpegvideo");
  EXPECT_EQ(DeviceTypeForExtension("ogg"), "");
}

TEST(MciTimeTexts, CdTimeConversions) {
  EXPECT_EQ(MillisecondsToMsf(0), "00:00:00");
  EXPECT_EQ(MillisecondsToMsf(61000 + 40), "01:01:03");  // 40 ms is 3 frames
  EXPECT_EQ(MillisecondsToTmsf(3, 125999), "03:02:05:74");
  EXPECT_EQ(MillisecondsToMsf(-5), "00:00:00");
  EXPECT_EQ(MsfToMilliseconds("01:01:03"), 61040);
  EXPECT_EQ(MsfToMilliseconds("2:05"), 125000);
  EXPECT_EQ(MsfToMilliseconds("7"), 420000);
  EXPECT_EQ(MsfToMilliseconds("a:b"), -1);
  EXPECT_EQ(MsfToMilliseconds("1:2:3:4"), -1);

  TimeFormat f = TimeFormat::Milliseconds;
  EXPECT_TRUE(ParseTimeFormat("TMSF", f));
  EXPECT_EQ(f, TimeFormat::Tmsf);
  EXPECT_TRUE(ParseTimeFormat("ms", f));
  EXPECT_EQ(f, TimeFormat::Milliseconds);
  EXPECT_FALSE(ParseTimeFormat("hours", f));
  EXPECT_EQ(TimeFormatWord({"time", "format", "tmsf"}), "tmsf");
  EXPECT_EQ(TimeFormatWord({"door", "open"}), "");
}

}  // namespace
