// Paths the stream fuzzing does not reach: watchers that change the store while it notifies,
// inputs that are files but cannot seek, and stream lengths beyond what 32 bits hold.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <thread>

#include "core_support.h"
#include "layer3_support.h"

namespace svd_test {
namespace {

// --- attribute store --------------------------------------------------------------------

struct Relay {
  svd::AttributeStore* store = nullptr;
  std::vector<std::string> seen;  // what the second watcher was given
  static void AddOther(void* user, const char*, const svd::AttributeValue*) {
    Relay* r = static_cast<Relay*>(user);
    // New names make the store grow while it is still notifying about "a".
    for (int i = 0; i < 8; ++i) {
      std::string name = "other";
      name += std::to_string(i);
      r->store->SetInteger(name.c_str(), i);
    }
  }
  static void Record(void* user, const char*, const svd::AttributeValue* value) {
    static_cast<Relay*>(user)->seen.push_back(value && value->text ? value->text : "(none)");
  }
  static void RemoveIt(void* user, const char* name, const svd::AttributeValue*) {
    static_cast<Relay*>(user)->store->Remove(name);
  }
};

TEST(AttributeStoreNotifying, EveryWatcherSeesTheValueSetEvenWhenAnEarlierOneChangesTheStore) {
  svd::AttributeStore store;
  Relay relay{&store, {}};
  ASSERT_EQ(store.Attach("a", Relay::AddOther, &relay), 0);
  ASSERT_EQ(store.Attach("a", Relay::Record, &relay), 0);
  ASSERT_EQ(store.SetText("a", "short"), 0);
  ASSERT_EQ(relay.seen.size(), 1u);
  EXPECT_EQ(relay.seen[0], "short");

  svd::AttributeStore removing;
  Relay second{&removing, {}};
  ASSERT_EQ(removing.Attach("b", Relay::RemoveIt, &second), 0);
  ASSERT_EQ(removing.Attach("b", Relay::Record, &second), 0);
  ASSERT_EQ(removing.SetText("b", "gone before the second watcher"), 0);
  // The second watcher hears the removal (made inside the first watcher), then the set with
  // the value that was set.
  ASSERT_EQ(second.seen.size(), 2u);
  EXPECT_EQ(second.seen[0], "(none)");
  EXPECT_EQ(second.seen[1], "gone before the second watcher");
}

struct Owner {
  svd::AttributeStore* store = nullptr;
  std::unique_ptr<Relay> other;  // user data of the second watcher, freed on detaching it
  static void DetachOther(void* user, const char* name, const svd::AttributeValue*) {
    Owner* o = static_cast<Owner*>(user);
    if (!o->other) return;
    EXPECT_EQ(o->store->Detach(name, Relay::Record, o->other.get()), 0);
    o->other.reset();
  }
};

TEST(AttributeStoreNotifying, AWatcherDetachedByAnEarlierOneIsNotCalled) {
  svd::AttributeStore store;
  Owner owner{&store, std::make_unique<Relay>()};
  Relay* other = owner.other.get();
  ASSERT_EQ(store.Attach("a", Owner::DetachOther, &owner), 0);
  ASSERT_EQ(store.Attach("a", Relay::Record, other), 0);
  // The second watcher would be handed freed user data.
  ASSERT_EQ(store.SetInteger("a", 1), 0);
  EXPECT_EQ(owner.other, nullptr);
  // One attached while notifying is not called for that change either, but for the next.
  Relay late{&store, {}};
  struct Adder {
    static void Attach(void* user, const char* name, const svd::AttributeValue*) {
      Relay* r = static_cast<Relay*>(user);
      if (r->seen.empty()) r->store->Attach(name, Relay::Record, r);
    }
  };
  svd::AttributeStore second;
  late.store = &second;
  ASSERT_EQ(second.Attach("b", Adder::Attach, &late), 0);
  ASSERT_EQ(second.SetText("b", "first"), 0);
  EXPECT_TRUE(late.seen.empty());
  ASSERT_EQ(second.SetText("b", "second"), 0);
  ASSERT_EQ(late.seen.size(), 1u);
  EXPECT_EQ(late.seen[0], "second");
}

TEST(AttributeStoreNotifying, ATextTakenFromTheStoreCanBeSetUnderANewName) {
  svd::AttributeStore store;
  ASSERT_EQ(store.SetText("id3/title", "Tone"), 0);
  svd::AttributeValue v;
  ASSERT_EQ(store.Get("id3/title", &v), 0);
  // Adding "copy" may move the entries, and with them the text v points at.
  ASSERT_EQ(store.SetText("copy", v.text), 0);
  ASSERT_EQ(store.Get("copy", &v), 0);
  EXPECT_STREQ(v.text, "Tone");
}

TEST(AttributeStoreNotifying, AGivenTextStaysValidWhileOtherAttributesComeAndGo) {
  svd::AttributeStore store;
  ASSERT_EQ(store.SetText("id3/title", "Tone"), 0);
  ASSERT_EQ(store.SetText("id3/artist", "Nobody"), 0);
  svd::AttributeValue title;
  ASSERT_EQ(store.Get("id3/title", &title), 0);
  for (int i = 0; i < 16; ++i) {
    std::string name = "n";
    name += std::to_string(i);
    ASSERT_EQ(store.SetInteger(name.c_str(), i), 0);
  }
  ASSERT_EQ(store.Remove("id3/artist"), 0);
  EXPECT_STREQ(title.text, "Tone");
}

// --- a named pipe ---------------------------------------------------------------------

std::vector<uint8_t> ToneStream() {
  l3_test::EncodeOptions o;
  o.kbps = 64;
  return l3_test::EncodeMp3(l3_test::Tones(44100, 0.5, {440.0, 660.0}), o).bytes;
}

// Decodes `name` to a raw file and returns the PCM bytes, or stops the test.
std::vector<uint8_t> DecodeName(const std::string& name, const fs::path& raw) {
  EXPECT_EQ(Mp3InputOpen(name.c_str()), 0);
  EXPECT_EQ(WaveOutputOpen(("raw:" + raw.string()).c_str()), 0);
  int32_t r = 0;
  for (int i = 0; i < 10000 && (r == 0 || r == SVD_E_STREAM); ++i) r = Mp3DecodePlay();
  EXPECT_EQ(r, SVD_E_END_OF_INPUT);
  EXPECT_EQ(Mp3InputClose(), 0);
  EXPECT_EQ(WaveOutputClose(), 0);
  return ReadFile(raw);
}

TEST(FileInputPipe, ANamedPipeDeliversEveryFrameLikeTheFile) {
  const fs::path dir = ScratchDir();
  const std::vector<uint8_t> mp3 = ToneStream();
  const fs::path file = dir / "tone.bin";
  WriteFile(file, mp3);
  const fs::path pipe = dir / "pipe";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);

  ASSERT_EQ(CreateDecoder(), 0);
  ASSERT_EQ(RegisterInputModule(), 0);
  ASSERT_EQ(RegisterOutputModule(), 0);
  const std::vector<uint8_t> from_file = DecodeName(file.string(), dir / "file.raw");
  ASSERT_GT(from_file.size(), 0u);

  std::thread writer([&] {
    const int fd = open(pipe.c_str(), O_WRONLY);
    if (fd < 0) return;
    size_t done = 0;
    while (done < mp3.size()) {
      const ssize_t n = write(fd, mp3.data() + done, mp3.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    close(fd);
  });
  const std::vector<uint8_t> from_pipe = DecodeName(pipe.string(), dir / "pipe.raw");
  writer.join();
  EXPECT_EQ(DeleteDecoder(), 0);
  // The stream head is not read ahead where it cannot be read again.
  EXPECT_EQ(from_pipe.size(), from_file.size());
  EXPECT_TRUE(from_pipe == from_file);
}

// --- lengths beyond 32 bits -------------------------------------------------------------

// Makes `path` a sparse file of `size` bytes beginning with `head`; false when it cannot.
bool SparseFile(const fs::path& path, const std::vector<uint8_t>& head, int64_t size) {
  const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
  if (fd < 0) return false;
  const bool ok =
      write(fd, head.data(), head.size()) == static_cast<ssize_t>(head.size()) && ftruncate(fd, size) == 0;
  close(fd);
  return ok;
}

TEST(StreamLengthLimits, DurationOfAVeryLongStreamStopsAtTheLargestValueInsteadOfWrapping) {
  const fs::path dir = ScratchDir();
  // 8 kbit/s: one byte is one millisecond, so 5 GiB of stream is about 62 days.
  l3_test::EncodeOptions o;
  o.kbps = 8;
  o.out_rate = 8000;
  const std::vector<uint8_t> mp3 = l3_test::EncodeMp3(l3_test::Tones(8000, 1.0, {440.0}), o).bytes;
  const fs::path big = dir / "long.bin";
  constexpr int64_t kSize = 5LL << 30;
  if (!SparseFile(big, mp3, kSize)) GTEST_SKIP() << "no room for a sparse 5 GiB file";

  ASSERT_EQ(CreateDecoder(), 0);
  ASSERT_EQ(RegisterInputModule(), 0);
  ASSERT_EQ(RegisterOutputModule(), 0);
  svd::Decoder* d = svd::CurrentDecoder();
  ASSERT_EQ(Mp3InputOpen(big.c_str()), 0);
  EXPECT_EQ(d->status.bit_rate, 8);
  EXPECT_EQ(d->status.duration_ms, UINT32_MAX);  // not the remainder past 2^32
  ASSERT_EQ(WaveOutputOpen(("raw:" + (dir / "out.raw").string()).c_str()), 0);
  ASSERT_EQ(Mp3DecodePlay(), 0);
  EXPECT_EQ(d->status.duration_ms, UINT32_MAX);
  // Halfway through the bytes is far past the first hour.
  ASSERT_EQ(SeekToPosition(0.5f), 0);
  EXPECT_GT(GetCurrentTimeSecond(), 2.0e6);
  EXPECT_EQ(Mp3InputClose(), 0);
  EXPECT_EQ(WaveOutputClose(), 0);
  EXPECT_EQ(DeleteDecoder(), 0);
  fs::remove(big);
}

TEST(StreamLengthLimits, AHugeXingFrameCountDoesNotWrapTheDuration) {
  const fs::path dir = ScratchDir();
  // A first frame of MPEG-2.5 Layer III, 64 kbit/s, 8000 Hz, single channel (576 bytes),
  // carrying a "Xing" tag 4 + 9 bytes in, with the frame-count flag and 2^32 - 1 frames.
  std::vector<uint8_t> mp3(576, 0);
  const uint8_t head[4] = {0xFF, 0xE3, 0x88, 0xC0};
  std::copy_n(head, 4, mp3.begin());
  std::copy_n("Xing", 4, mp3.begin() + 13);
  mp3[20] = 1;
  for (int i = 21; i < 25; ++i) mp3[static_cast<size_t>(i)] = 0xFF;
  const std::vector<uint8_t> frame = mp3;
  mp3.insert(mp3.end(), frame.begin(), frame.end());  // a second frame behind it
  const fs::path file = dir / "xing.bin";
  WriteFile(file, mp3);

  ASSERT_EQ(CreateDecoder(), 0);
  ASSERT_EQ(RegisterInputModule(), 0);
  svd::Decoder* d = svd::CurrentDecoder();
  ASSERT_EQ(Mp3InputOpen(file.c_str()), 0);
  // 2^32 - 1 frames of 576 samples at 8000 Hz: far more milliseconds than 32 bits hold.
  EXPECT_EQ(d->status.duration_ms, UINT32_MAX);
  EXPECT_EQ(Mp3InputClose(), 0);
  EXPECT_EQ(DeleteDecoder(), 0);
}

// --- call sequences through the exports ---------------------------------------------------

TEST(ExportCallSequence, EndOfInputStaysTheEndUntilASeekAndAReopenStartsAfresh) {
  const fs::path dir = ScratchDir();
  const fs::path file = dir / "tone.bin";
  WriteFile(file, ToneStream());
  ASSERT_EQ(CreateDecoder(), 0);
  ASSERT_EQ(RegisterInputModule(), 0);
  ASSERT_EQ(RegisterOutputModule(), 0);
  ASSERT_EQ(Mp3InputOpen(file.c_str()), 0);
  ASSERT_EQ(WaveOutputOpen(("raw:" + (dir / "a.raw").string()).c_str()), 0);
  int frames = 0;
  int32_t r = 0;
  while ((r = Mp3DecodePlay()) == 0 || r == SVD_E_STREAM) frames += r == 0;
  ASSERT_EQ(r, SVD_E_END_OF_INPUT);
  ASSERT_GT(frames, 5);
  EXPECT_EQ(Mp3DecodePlay(), SVD_E_END_OF_INPUT);
  EXPECT_FLOAT_EQ(GetCurrentPosition(), 1.0f);

  // Back to the start: every frame again.
  ASSERT_EQ(SeekToPosition(0.0f), 0);
  int again = 0;
  while ((r = Mp3DecodePlay()) == 0 || r == SVD_E_STREAM) again += r == 0;
  EXPECT_EQ(r, SVD_E_END_OF_INPUT);
  EXPECT_EQ(again, frames);

  // Closed: nothing seeks or decodes, and the output is untouched.
  ASSERT_EQ(Mp3InputClose(), 0);
  EXPECT_EQ(SeekToPosition(0.5f), SVD_E_WRONG_STATE);
  EXPECT_EQ(SeekToTime(1.0f), SVD_E_WRONG_STATE);
  EXPECT_EQ(Mp3DecodePlay(), SVD_E_WRONG_STATE);
  EXPECT_EQ(Mp3InputClose(), SVD_E_WRONG_STATE);

  // The same name again reopens from the start.
  ASSERT_EQ(Mp3InputOpen(file.c_str()), 0);
  EXPECT_FLOAT_EQ(GetCurrentPosition(), 0.0f);
  int third = 0;
  while ((r = Mp3DecodePlay()) == 0 || r == SVD_E_STREAM) third += r == 0;
  EXPECT_EQ(third, frames);
  EXPECT_EQ(WaveOutputClose(), 0);

  // Deleting with the input open and the output reopened completes the WAV file.
  ASSERT_EQ(WaveOutputOpen(("wav:" + (dir / "b.wav").string()).c_str()), 0);
  ASSERT_EQ(SeekToPosition(0.0f), 0);
  ASSERT_EQ(Mp3DecodePlay(), 0);
  EXPECT_EQ(DeleteDecoder(), 0);
  const std::vector<uint8_t> wav = ReadFile(dir / "b.wav");
  ASSERT_GT(wav.size(), 44u);
  EXPECT_EQ(Le32(wav, 40), wav.size() - 44);
  EXPECT_EQ(Le32(wav, 4), wav.size() - 8);

  // Without a decoder every call is out of order and nothing crashes.
  EXPECT_EQ(Mp3InputOpen(file.c_str()), SVD_E_WRONG_STATE);
  EXPECT_EQ(Mp3DecodePlay(), SVD_E_WRONG_STATE);
  EXPECT_EQ(SeekToPosition(0.5f), SVD_E_WRONG_STATE);
  EXPECT_EQ(Mp3InputClose(), SVD_E_WRONG_STATE);
  EXPECT_EQ(WaveOutputClose(), SVD_E_WRONG_STATE);
  EXPECT_EQ(GetCurrentPosition(), 0.0f);
  EXPECT_EQ(GetCurrentTimeSecond(), 0.0);
  EXPECT_EQ(DeleteDecoder(), 0);
}

}  // namespace
}  // namespace svd_test
