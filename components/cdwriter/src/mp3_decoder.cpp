#include "mp3_decoder.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <type_traits>

namespace cdw {
namespace fs = std::filesystem;

namespace {
constexpr std::int32_t kStreamError = -700;  // a damaged frame, passed over
constexpr std::int32_t kEndOfInput = -514;
}  // namespace

struct DecoderCopy {
  std::int32_t (*CreateDecoder)() = nullptr;
  std::int32_t (*DeleteDecoder)() = nullptr;
  std::int32_t (*RegisterInputModule)() = nullptr;
  std::int32_t (*RegisterOutputModule)() = nullptr;
  std::int32_t (*Mp3InputOpen)(const char*) = nullptr;
  std::int32_t (*WaveOutputOpen)(const char*) = nullptr;
  std::int32_t (*Mp3DecodePlay)() = nullptr;
  std::int32_t (*Mp3InputClose)() = nullptr;
  std::int32_t (*WaveOutputClose)() = nullptr;
  std::int32_t (*SeekToPosition)(float) = nullptr;
  float (*GetCurrentPosition)() = nullptr;
  double (*GetCurrentTimeSecond)() = nullptr;
};

namespace {

// Where svdecode lies: beside this library, in the lib folder beside a program, or on the
// normal search path.
std::string libraryFile() {
  Dl_info self{};
  if (dladdr(reinterpret_cast<void*>(&libraryFile), &self) && self.dli_fname) {
    const fs::path here = fs::path(self.dli_fname).parent_path();
    for (const fs::path& candidate : {here / "libsvdecode.so", here / ".." / "lib" / "libsvdecode.so"}) {
      std::error_code ec;
      if (fs::exists(candidate, ec)) return candidate.string();
    }
  }
  return "libsvdecode.so";
}

// The copy is loaded once into a link-map namespace of its own and kept: namespaces cannot be
// unloaded reliably.
struct SharedCopy {
  std::mutex lock;
  bool tried = false;
  std::unique_ptr<DecoderCopy> copy;
  std::string error;

  DecoderCopy* get() {
    if (tried) return copy.get();
    tried = true;
    void* handle = dlmopen(LM_ID_NEWLM, libraryFile().c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      const char* why = dlerror();
      error = why ? why : "svdecode cannot be loaded";
      return nullptr;
    }
    auto c = std::make_unique<DecoderCopy>();
    bool ok = true;
    auto bind = [&](auto& fn, const char* name) {
      fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(handle, name));
      if (!fn) {
        ok = false;
        error = std::string("svdecode has no ") + name;
      }
    };
    bind(c->CreateDecoder, "CreateDecoder");
    bind(c->DeleteDecoder, "DeleteDecoder");
    bind(c->RegisterInputModule, "RegisterInputModule");
    bind(c->RegisterOutputModule, "RegisterOutputModule");
    bind(c->Mp3InputOpen, "Mp3InputOpen");
    bind(c->WaveOutputOpen, "WaveOutputOpen");
    bind(c->Mp3DecodePlay, "Mp3DecodePlay");
    bind(c->Mp3InputClose, "Mp3InputClose");
    bind(c->WaveOutputClose, "WaveOutputClose");
    bind(c->SeekToPosition, "SeekToPosition");
    bind(c->GetCurrentPosition, "GetCurrentPosition");
    bind(c->GetCurrentTimeSecond, "GetCurrentTimeSecond");
    if (ok) copy = std::move(c);
    return copy.get();
  }
};

SharedCopy& shared() {
  static SharedCopy instance;
  return instance;
}

// One decoder for the length of a scope: created, both modules registered, deleted.
class Session {
 public:
  explicit Session(DecoderCopy& d) : d_(d) {
    created_ = d_.CreateDecoder() == 0 && d_.RegisterInputModule() == 0 && d_.RegisterOutputModule() == 0;
  }
  ~Session() {
    if (outputOpen_) d_.WaveOutputClose();
    if (inputOpen_) d_.Mp3InputClose();
    d_.DeleteDecoder();
  }
  bool open(const std::string& mp3, const std::string& output) {
    if (!created_) return false;
    inputOpen_ = d_.Mp3InputOpen(mp3.c_str()) == 0;
    if (!inputOpen_) return false;
    outputOpen_ = d_.WaveOutputOpen(("wav:" + output).c_str()) == 0;
    return outputOpen_;
  }
  // 0 when the whole output was written.
  std::int32_t closeOutput() {
    outputOpen_ = false;
    return d_.WaveOutputClose();
  }
  DecoderCopy& d_;

 private:
  bool created_ = false, inputOpen_ = false, outputOpen_ = false;
};

}  // namespace

Mp3Decoder::Mp3Decoder() : lock_(shared().lock) {
  copy_ = shared().get();
  if (!copy_) error_ = shared().error;
}

Mp3Decoder::~Mp3Decoder() = default;

std::optional<Mp3Decoder::Facts> Mp3Decoder::Probe(const std::string& mp3) {
  if (!copy_) return std::nullopt;
  // The first frame decoded into a scratch WAV tells what the stream decodes to.
  std::string scratch = (fs::temp_directory_path() / "sonvera-probe-XXXXXX").string();
  const int fd = mkstemp(scratch.data());
  if (fd < 0) return std::nullopt;
  ::close(fd);
  std::optional<Facts> facts;
  {
    Session s(*copy_);
    if (s.open(mp3, scratch)) {
      std::int32_t r = kStreamError;
      for (int frames = 0; frames < 64 && r == kStreamError; ++frames) r = copy_->Mp3DecodePlay();
      Facts f;
      if (r == 0 && s.closeOutput() == 0) {
        // svdecode writes the canonical 44-byte header.
        unsigned char h[44] = {};
        std::FILE* in = std::fopen(scratch.c_str(), "rb");
        if (in && std::fread(h, 1, sizeof h, in) == sizeof h) {
          f.channels = h[22] | h[23] << 8;
          f.sampleRate = h[24] | h[25] << 8 | h[26] << 16 | h[27] << 24;
          f.bits = h[34] | h[35] << 8;
          // The time at the end of the stream is its length in whole seconds.
          if (copy_->SeekToPosition(1.0f) == 0) f.seconds = copy_->GetCurrentTimeSecond();
          facts = f;
        }
        if (in) std::fclose(in);
      }
    }
  }
  ::unlink(scratch.c_str());
  return facts;
}

Mp3Decoder::Result Mp3Decoder::DecodeToWav(const std::string& mp3, const std::string& wav,
                                           const std::function<bool(double)>& progress) {
  if (!copy_) return Result::ReadFailed;
  Result result = Result::Done;
  {
    Session s(*copy_);
    if (!s.open(mp3, wav)) {
      result = Result::ReadFailed;
    } else {
      std::int32_t r;
      int frames = 0;
      while ((r = copy_->Mp3DecodePlay()) == 0 || r == kStreamError) {
        if (++frames % 16 == 0 && !progress(copy_->GetCurrentPosition())) {
          result = Result::Cancelled;
          break;
        }
      }
      if (result == Result::Done && r != kEndOfInput) result = Result::ReadFailed;
      if (s.closeOutput() != 0 && result == Result::Done) result = Result::WriteFailed;
      if (result == Result::Done) progress(1.0);
    }
  }
  if (result != Result::Done) ::unlink(wav.c_str());
  return result;
}

}  // namespace cdw
