// Most-significant-bit-first reader over a byte buffer. Reads beyond the end give zero bits
// and never touch memory outside the buffer; overrun() tells that it happened.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace svd {

// The 8 bytes at p as one number, the first byte most significant, on any byte order.
inline uint64_t LoadBigEndian64(const uint8_t* p) {
  uint64_t w;
  std::memcpy(&w, p, 8);
  if constexpr (std::endian::native == std::endian::little) return __builtin_bswap64(w);
  return w;
}

class BitReader {
 public:
  BitReader() = default;
  BitReader(const uint8_t* data, size_t size) { Reset(data, size); }

  void Reset(const uint8_t* data, size_t size) {
    data_ = data;
    size_bits_ = size * 8;
    pos_ = 0;
  }

  // Up to 32 bits, without advancing.
  uint32_t Peek(int n) const {
    if (n == 0) return 0;
    return static_cast<uint32_t>(Window(pos_) >> (64 - n));
  }
  void Skip(size_t n) { pos_ += n; }
  uint32_t Read(int n) {
    const uint32_t v = Peek(n);
    pos_ += static_cast<size_t>(n);
    return v;
  }
  uint32_t ReadBit() { return Read(1); }

  size_t position() const { return pos_; }  // in bits from the start
  void set_position(size_t bits) { pos_ = bits; }
  size_t size_bits() const { return size_bits_; }
  size_t bits_left() const { return pos_ < size_bits_ ? size_bits_ - pos_ : 0; }
  bool overrun() const { return pos_ > size_bits_; }
  const uint8_t* data() const { return data_; }

 private:
  // 64 bits starting at bit `pos`, left-aligned; bits past the end read as zero.
  uint64_t Window(size_t pos) const {
    const size_t byte = pos >> 3;
    const size_t size = size_bits_ >> 3;
    uint64_t w = 0;
    if (byte + 8 <= size) {
      w = LoadBigEndian64(data_ + byte);
    } else {
      for (size_t i = 0; i < 8; ++i) w = (w << 8) | (byte + i < size ? data_[byte + i] : 0u);
    }
    // Up to 7 leading bits are dropped; 57 valid bits remain, enough for a 32-bit peek.
    return w << (pos & 7);
  }

  const uint8_t* data_ = nullptr;
  size_t size_bits_ = 0;
  size_t pos_ = 0;
};

}  // namespace svd
