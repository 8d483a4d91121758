// Most-significant-bit-first bit packing of the frame stream. Frames are back to back with
// no byte alignment, so the writer hands out whole bytes as they fill and keeps the rest.
#pragma once

#include <cstdint>
#include <vector>

namespace svvqf {

class BitWriter {
 public:
  void Put(uint32_t value, int bits) {
    for (int b = bits - 1; b >= 0; --b) {
      acc_ = static_cast<uint8_t>((acc_ << 1) | ((value >> b) & 1u));
      if (++fill_ == 8) {
        bytes_.push_back(acc_);
        acc_ = 0;
        fill_ = 0;
      }
    }
    written_ += bits;
  }
  // Whole bytes completed so far; the caller takes and clears them.
  std::vector<uint8_t>& Bytes() { return bytes_; }
  // Pads the last partial byte with zero bits.
  void Flush() {
    if (fill_ > 0) {
      bytes_.push_back(static_cast<uint8_t>(acc_ << (8 - fill_)));
      acc_ = 0;
      fill_ = 0;
    }
  }
  uint64_t BitsWritten() const { return written_; }

 private:
  std::vector<uint8_t> bytes_;
  uint8_t acc_ = 0;
  int fill_ = 0;
  uint64_t written_ = 0;
};

}  // namespace svvqf
