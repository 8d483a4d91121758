#include "vqf_file.h"

namespace svvqf {

namespace {

void PutBE32(std::vector<uint8_t>& out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(v >> s));
}

void PutTag(std::vector<uint8_t>& out, const std::string& tag) {
  for (int i = 0; i < 4; ++i) out.push_back(i < static_cast<int>(tag.size()) ? tag[i] : ' ');
}

}  // namespace

bool VqfFileWriter::Open(const std::string& path, const VqfInfo& info) {
  file_.reset(std::fopen(path.c_str(), "wb"));
  if (!file_) return false;
  std::vector<uint8_t> chunks;
  PutTag(chunks, "COMM");
  PutBE32(chunks, 16);
  PutBE32(chunks, info.channels == 2 ? 1 : 0);
  PutBE32(chunks, static_cast<uint32_t>(info.totalKbps));
  PutBE32(chunks, static_cast<uint32_t>(info.rateCode));
  PutBE32(chunks, 0);  // security level
  for (const auto& [tag, text] : info.texts) {
    PutTag(chunks, tag);
    PutBE32(chunks, static_cast<uint32_t>(text.size()));
    chunks.insert(chunks.end(), text.begin(), text.end());
  }
  PutTag(chunks, "DSIZ");
  PutBE32(chunks, 4);
  const size_t sizeField = chunks.size();
  PutBE32(chunks, 0);
  std::vector<uint8_t> head;
  PutTag(head, "TWIN");
  for (char c : std::string("97012000")) head.push_back(static_cast<uint8_t>(c));
  PutBE32(head, static_cast<uint32_t>(chunks.size()));
  sizeFieldOffset_ = static_cast<long>(head.size() + sizeField);
  head.insert(head.end(), chunks.begin(), chunks.end());
  PutTag(head, "DATA");
  return Write(head.data(), head.size()) && (dataBytes_ = 0, true);
}

bool VqfFileWriter::Write(const uint8_t* data, size_t size) {
  if (!file_ || !ok_) return false;
  if (size > 0 && std::fwrite(data, 1, size, file_.get()) != size) ok_ = false;
  dataBytes_ += size;
  return ok_;
}

bool VqfFileWriter::Finish() {
  if (!file_) return false;
  bool ok = ok_;
  if (ok) {
    std::vector<uint8_t> field;
    PutBE32(field, static_cast<uint32_t>(dataBytes_ > 0xFFFFFFFFu ? 0xFFFFFFFFu : dataBytes_));
    ok = std::fseek(file_.get(), sizeFieldOffset_, SEEK_SET) == 0 &&
         std::fwrite(field.data(), 1, 4, file_.get()) == 4;
  }
  ok = std::fflush(file_.get()) == 0 && ok;
  ok = std::fclose(file_.release()) == 0 && ok;
  return ok;
}

VqfFileWriter::~VqfFileWriter() {
  if (file_) Finish();
}

}  // namespace svvqf
