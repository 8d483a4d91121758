// The file input module: coded bytes from a file or from standard input ("-"), with the
// ID3 version 1 tag of an ".mp3" file published as status attributes.
#include <sys/stat.h>

#include <new>
#include <string>

#include "file_io.h"
#include "module.h"

namespace svd {

namespace {

constexpr const char* kOpenError = "cannot open input file";

struct FileInput {
  std::string name;
  const int32_t* module_id = nullptr;
  Decoder* decoder = nullptr;
  FilePtr file;
  bool is_stdin = false;

  std::FILE* stream() const { return is_stdin ? stdin : file.get(); }
};

FileInput* Self(Instance instance) { return static_cast<FileInput*>(instance); }

int32_t HandlesName(const char*) { return 0; }

int32_t Query(ModuleInfo* info, int32_t flags) {
  static constexpr DeviceEntry kDevices[] = {{"*", "any file name", 1}, {"-", "standard input", 0}};
  return QueryModule(info, flags, "Input From File", "Version 1.2", kDevices);
}

int32_t Create(Instance* out, const char* name, const int32_t* module_id, Decoder* decoder) {
  if (!out || !name || !*name) {
    ReportModuleError(decoder, module_id, "internal error", "null params or null/empty input name");
    return SVD_E_INVALID_PARAMETER;
  }
  try {
    auto input = std::make_unique<FileInput>();
    input->name = name;
    input->module_id = module_id;
    input->decoder = decoder;
    *out = input.release();
    return 0;
  } catch (const std::bad_alloc&) {
    return SVD_E_NO_MEMORY;
  }
}

int32_t Destroy(Instance instance) {
  std::unique_ptr<FileInput> owned(Self(instance));
  return 0;
}

// Text of a tag field: up to `length` bytes, cut at a zero byte, trailing spaces removed.
std::string TagText(const unsigned char* field, std::size_t length) {
  std::string text(reinterpret_cast<const char*>(field),
                   strnlen(reinterpret_cast<const char*>(field), length));
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

void ReadId3v1(FileInput& in) {
  std::FILE* f = in.file.get();
  if (fseeko(f, -128, SEEK_END) != 0) return;
  unsigned char tag[128];
  if (std::fread(tag, sizeof tag, 1, f) == 1 && std::memcmp(tag, "TAG", 3) == 0 && in.decoder) {
    const DecoderServices& s = ServicesOf(in.decoder);
    s.set_text(in.decoder, Store::kStatus, "id3/title", TagText(tag + 3, 30).c_str());
    s.set_text(in.decoder, Store::kStatus, "id3/artist", TagText(tag + 33, 30).c_str());
    s.set_text(in.decoder, Store::kStatus, "id3/album", TagText(tag + 63, 30).c_str());
    s.set_text(in.decoder, Store::kStatus, "id3/year", TagText(tag + 93, 4).c_str());
    s.set_text(in.decoder, Store::kStatus, "id3/comment", TagText(tag + 97, 30).c_str());
    s.set_integer(in.decoder, Store::kStatus, "id3/genre", static_cast<int8_t>(tag[127]));
  }
  fseeko(f, 0, SEEK_SET);
}

int32_t Open(Instance instance) {
  FileInput* in = Self(instance);
  if (!in) return SVD_E_INVALID_PARAMETER;
  in->file.reset();
  in->is_stdin = false;
  if (in->name == "-") {
    in->is_stdin = true;
    std::clearerr(stdin);
    return 0;
  }
  in->file.reset(std::fopen(in->name.c_str(), "rb"));
  int error = in->file ? 0 : errno;
  struct stat st {};
  // A directory opens for reading here but delivers nothing: refuse it at once.
  if (!error && fstat(fileno(in->file.get()), &st) == 0 && S_ISDIR(st.st_mode)) {
    in->file.reset();
    error = EISDIR;
  }
  if (error == ENOENT) {
    ReportModuleError(in->decoder, in->module_id, kOpenError, "file not found");
    return SVD_E_FILE_NOT_FOUND;
  }
  if (error == EACCES || error == EPERM) {
    ReportModuleError(in->decoder, in->module_id, kOpenError, "permission denied");
    return SVD_E_PERMISSION_DENIED;
  }
  if (error) {
    ReportModuleError(in->decoder, in->module_id, kOpenError, std::strerror(error));
    return SVD_E_OPEN_FAILED;
  }
  const std::size_t n = in->name.size();
  if (n > 4 && in->name.compare(n - 4, 4, ".mp3") == 0) ReadId3v1(*in);
  return 0;
}

int32_t Close(Instance instance) {
  FileInput* in = Self(instance);
  if (!in) return SVD_E_INVALID_PARAMETER;
  in->file.reset();  // standard input stays the process's
  in->is_stdin = false;
  return 0;
}

// Whole blocks only: a shorter remainder at the end is not delivered.
int32_t Read(Instance instance, void* buffer, int32_t count) {
  FileInput* in = Self(instance);
  if (!in || !buffer || count <= 0 || !in->stream()) return 0;
  return std::fread(buffer, static_cast<std::size_t>(count), 1, in->stream()) == 1 ? count : 0;
}

int32_t Seek(Instance instance, int64_t offset) {
  FileInput* in = Self(instance);
  if (!in || !in->stream()) return -1;
  return fseeko(in->stream(), static_cast<off_t>(offset), SEEK_SET);
}

int32_t IsSeekable(Instance instance) {
  FileInput* in = Self(instance);
  return in && in->file ? 1 : 0;
}

int64_t GetSize(Instance instance) {
  FileInput* in = Self(instance);
  if (!in || !in->file) return 0;
  struct stat st {};
  if (fstat(fileno(in->file.get()), &st) != 0) return 0;
  return static_cast<int64_t>(st.st_size);
}

}  // namespace

const InputModuleDescriptor& FileInputModule() {
  static const InputModuleDescriptor descriptor = {
      kInterfaceVersion, HandlesName, Query,  Create, Destroy, Open, Close, Read, Seek,
      IsSeekable,        GetSize,     nullptr};
  return descriptor;
}

}  // namespace svd
