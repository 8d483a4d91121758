// The shared library as a program loads it: by path, the thirteen calls looked up by name.
#include <dlfcn.h>

#include "core_support.h"

namespace svd_test {
namespace {

struct Library {
  void* handle = dlopen(SVD_SHARED_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ~Library() {
    if (handle) dlclose(handle);
  }
  template <typename F>
  F* Get(const char* name) {
    return reinterpret_cast<F*>(dlsym(handle, name));
  }
};

TEST(CoreShared, ThirteenCallsDriveAFullCycle) {
  Library lib;
  ASSERT_NE(lib.handle, nullptr) << dlerror();
  auto create = lib.Get<int32_t()>("CreateDecoder");
  auto destroy = lib.Get<int32_t()>("DeleteDecoder");
  auto reg_in = lib.Get<int32_t()>("RegisterInputModule");
  auto reg_out = lib.Get<int32_t()>("RegisterOutputModule");
  auto in_open = lib.Get<int32_t(const char*)>("Mp3InputOpen");
  auto out_open = lib.Get<int32_t(const char*)>("WaveOutputOpen");
  auto play = lib.Get<int32_t()>("Mp3DecodePlay");
  auto in_close = lib.Get<int32_t()>("Mp3InputClose");
  auto out_close = lib.Get<int32_t()>("WaveOutputClose");
  auto seek_pos = lib.Get<int32_t(float)>("SeekToPosition");
  auto seek_time = lib.Get<int32_t(float)>("SeekToTime");
  auto position = lib.Get<float()>("GetCurrentPosition");
  auto seconds = lib.Get<double()>("GetCurrentTimeSecond");
  for (void* f : {(void*)create, (void*)destroy, (void*)reg_in, (void*)reg_out, (void*)in_open,
                  (void*)out_open, (void*)play, (void*)in_close, (void*)out_close, (void*)seek_pos,
                  (void*)seek_time, (void*)position, (void*)seconds})
    ASSERT_NE(f, nullptr);
  // The library's decoder is its own, not the one linked into this program.
  EXPECT_NE((void*)create, (void*)&CreateDecoder);

  const fs::path dir = ScratchDir();
  // A file the codec finds no frame in: open, seek and close still work.
  WriteFile(dir / "noise.mp3", Pattern(5000));
  const std::string out = "wav:" + (dir / "out.wav").string();
  const std::string in = (dir / "noise.mp3").string();

  ASSERT_EQ(create(), 0);
  EXPECT_EQ(reg_in(), 0);
  EXPECT_EQ(reg_out(), 0);
  EXPECT_EQ(reg_in(), 1);
  EXPECT_EQ(in_open(nullptr), SVD_E_INVALID_PARAMETER);
  EXPECT_EQ(in_open((dir / "missing.mp3").c_str()), SVD_E_FILE_NOT_FOUND);
  EXPECT_EQ(play(), SVD_E_WRONG_STATE);
  ASSERT_EQ(in_open(in.c_str()), 0);
  EXPECT_EQ(in_open(in.c_str()), SVD_E_WRONG_STATE);
  ASSERT_EQ(out_open(out.c_str()), 0);
  EXPECT_EQ(seek_pos(1.5f), 0);
  EXPECT_LE(position(), 1.0f);
  EXPECT_EQ(seek_time(-1.0f), 0);
  EXPECT_GE(seconds(), 0.0);
  EXPECT_EQ(in_close(), 0);
  EXPECT_EQ(out_close(), 0);
  EXPECT_EQ(in_close(), SVD_E_WRONG_STATE);
  EXPECT_EQ(destroy(), 0);
  EXPECT_EQ(play(), SVD_E_WRONG_STATE);

  const auto f = ReadFile(dir / "out.wav");
  ASSERT_EQ(f.size(), 44u);
  EXPECT_EQ(Le32(f, 4), 36u);
  EXPECT_EQ(Le32(f, 40), 0u);

  if (fs::exists("/dev/full")) {
    ASSERT_EQ(create(), 0);
    ASSERT_EQ(reg_out(), 0);
    ASSERT_EQ(out_open("wav:/dev/full"), 0);
    EXPECT_EQ(out_close(), SVD_E_WRITE_FAILED);
    EXPECT_EQ(destroy(), 0);
  }
}

}  // namespace
}  // namespace svd_test
