// Layer I and Layer II decoding: bit allocation, scale factors and requantisation of the
// subband samples of one frame (ISO/IEC 11172-3, and 13818-3 for Layer II at the lower
// sampling frequencies).
#include "layer12.h"

#include <cmath>
#include <cstring>

#include "layers.h"
#include "stream_error.h"

namespace svd {
namespace {

// Quantisation classes of Layer II: levels, bits of one code, and whether three samples
// share one code.
struct QuantClass {
  int levels;
  int bits;
  bool grouped;
};

constexpr QuantClass kClasses[17] = {
    {3, 5, true},       {5, 7, true},      {7, 3, false},     {9, 10, true},     {15, 4, false},
    {31, 5, false},     {63, 6, false},    {127, 7, false},   {255, 8, false},   {511, 9, false},
    {1023, 10, false},  {2047, 11, false}, {4095, 12, false}, {8191, 13, false}, {16383, 14, false},
    {32767, 15, false}, {65535, 16, false}};

// The distinct rows of the allocation tables: bits of the allocation field and the class of
// each allocation value from 1 up.
struct AllocationRow {
  int bits;
  int8_t classes[15];
};

constexpr AllocationRow kRows[9] = {
    {4, {0, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
    {4, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 16}},
    {3, {0, 1, 2, 3, 4, 5, 16}},
    {2, {0, 1, 16}},
    {4, {0, 1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}},
    {3, {0, 1, 3, 4, 5, 6, 7}},
    {4, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}},
    {3, {0, 1, 3, 4, 5, 6, 7}},
    {2, {0, 1, 3}},
};

struct AllocationTable {
  int subbands;
  int8_t rows[32];
};

constexpr AllocationTable kAllocationTables[5] = {
    {27, {0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 3, 3, 3, 3}},
    {30, {0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3}},
    {8, {4, 4, 5, 5, 5, 5, 5, 5}},
    {12, {4, 4, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5}},
    {30, {6, 6, 6, 6, 7, 7, 7, 7, 7, 7, 7, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8}},
};

struct Tables {
  float scale[64];  // 2^(1 - i/3); index 63 scales by 0
  // Requantised values (2v + 1 - L) / L of the grouped classes, three per code.
  float group3[32][3];
  float group5[128][3];
  float group9[1024][3];
  // Ungrouped: value = (2v + 1 - L) / L, formed exactly in integers and scaled by 1 / L.
  float inverse[17];
  // Layer I with n + 1 bits (n = allocation 1..14), L = 2^(n + 1) - 1.
  float inverse1[15];
};

template <int L, int N>
void FillGroups(float (&group)[N][3]) {
  for (int code = 0; code < N; ++code) {
    int c = code;
    for (int i = 0; i < 3; ++i) {
      const int v = c % L;
      c /= L;
      group[code][i] = static_cast<float>(2 * v + 1 - L) / static_cast<float>(L);
    }
  }
}

Tables MakeTables() {
  Tables t{};
  for (int i = 0; i < 63; ++i) t.scale[i] = static_cast<float>(std::exp2(1.0 - i / 3.0));
  t.scale[63] = 0.0f;
  FillGroups<3>(t.group3);
  FillGroups<5>(t.group5);
  FillGroups<9>(t.group9);
  for (int c = 0; c < 17; ++c) t.inverse[c] = static_cast<float>(1.0 / kClasses[c].levels);
  for (int n = 1; n < 15; ++n) t.inverse1[n] = static_cast<float>(1.0 / ((1 << (n + 1)) - 1));
  return t;
}

const Tables kTables = MakeTables();

inline int ChannelsOf(const FrameHeader& h) { return h.mode == kSingleChannel ? 1 : 2; }

}  // namespace

int JointStereoBound(const FrameHeader& header) {
  return header.mode == kJointStereo ? 4 * (header.mode_extension + 1) : 32;
}

int Layer2Table(const FrameHeader& header) {
  if (header.version != kMpeg1) return 4;
  // The bit rate per channel decides: in the two-channel modes index 4 (64 kbit/s) is
  // 32 kbit/s a channel, and every other index i is index i - 4 of the same table.
  int index = header.bitrate_index;
  if (header.mode != kSingleChannel) index = index == 4 ? 1 : index - 4;
  if (index < 1) index = 1;  // refused by the header check; keep the lookup in range
  const int rate = kBitRates[0][1][index];
  const int fs = kSampleRates[kMpeg1][header.sampling_index & 3];
  if (rate <= 48) return fs == 32000 ? 3 : 2;
  if (rate <= 80 || fs == 48000) return 0;
  return 1;
}

int Layer2SubbandLimit(const FrameHeader& header) { return kAllocationTables[Layer2Table(header)].subbands; }

int DecodeLayer1(const FrameHeader& header, BitReader& reader, SubbandSlots* out) {
  // A local copy keeps the position in a register (byte loads may alias the member).
  BitReader body = reader;
  const int channels = ChannelsOf(header);
  const int bound = channels == 2 ? JointStereoBound(header) : 32;
  uint8_t allocation[2][32];
  for (int sb = 0; sb < 32; ++sb) {
    for (int ch = 0; ch < channels; ++ch) {
      if (sb < bound || ch == 0)
        allocation[ch][sb] = static_cast<uint8_t>(body.Read(4));
      else
        allocation[ch][sb] = allocation[0][sb];
      if (allocation[ch][sb] == 15) RaiseStreamError();
    }
  }
  float scale[2][32];
  for (int sb = 0; sb < 32; ++sb)
    for (int ch = 0; ch < channels; ++ch) {
      if (!allocation[ch][sb]) continue;
      const uint32_t index = body.Read(6);
      if (index == 63) RaiseStreamError();
      scale[ch][sb] = kTables.scale[index];
    }
  for (int ch = 0; ch < channels; ++ch) std::memset(out[ch], 0, 12 * sizeof out[ch][0]);
  for (int s = 0; s < 12; ++s) {
    for (int sb = 0; sb < 32; ++sb) {
      const int n = allocation[0][sb];
      if (sb < bound) {
        for (int ch = 0; ch < channels; ++ch) {
          const int a = allocation[ch][sb];
          if (!a) continue;
          const int v = static_cast<int>(body.Read(a + 1));
          const float q = static_cast<float>(2 * v + 2 - (2 << a)) * kTables.inverse1[a];
          out[ch][s][sb] = q * scale[ch][sb];
        }
      } else if (n) {
        const int v = static_cast<int>(body.Read(n + 1));
        const float q = static_cast<float>(2 * v + 2 - (2 << n)) * kTables.inverse1[n];
        out[0][s][sb] = q * scale[0][sb];
        out[1][s][sb] = q * scale[1][sb];
      }
    }
  }
  reader = body;
  return 12;
}

int DecodeLayer2(const FrameHeader& header, BitReader& reader, SubbandSlots* out) {
  BitReader body = reader;
  const int channels = ChannelsOf(header);
  const AllocationTable& table = kAllocationTables[Layer2Table(header)];
  const int limit = table.subbands;
  int bound = limit;
  if (channels == 2 && header.mode == kJointStereo) {
    bound = JointStereoBound(header);
    if (limit < bound) RaiseStreamError();
  }

  // Class of each subband and channel, -1 for none.
  int8_t cls[2][32];
  for (int sb = 0; sb < limit; ++sb) {
    const AllocationRow& row = kRows[table.rows[sb]];
    if (sb < bound) {
      for (int ch = 0; ch < channels; ++ch) {
        const uint32_t a = body.Read(row.bits);
        cls[ch][sb] = a ? row.classes[a - 1] : -1;
      }
    } else {
      const uint32_t a = body.Read(row.bits);
      cls[0][sb] = cls[1][sb] = a ? row.classes[a - 1] : -1;
    }
  }

  uint8_t selection[2][32];
  for (int sb = 0; sb < limit; ++sb)
    for (int ch = 0; ch < channels; ++ch)
      if (cls[ch][sb] >= 0) selection[ch][sb] = static_cast<uint8_t>(body.Read(2));

  // Scale factors of the three parts of the frame (12 slots each).
  float scale[2][3][32];
  for (int sb = 0; sb < limit; ++sb)
    for (int ch = 0; ch < channels; ++ch) {
      if (cls[ch][sb] < 0) continue;
      float* s0 = &scale[ch][0][sb];
      float* s1 = &scale[ch][1][sb];
      float* s2 = &scale[ch][2][sb];
      switch (selection[ch][sb]) {
        case 0:
          *s0 = kTables.scale[body.Read(6)];
          *s1 = kTables.scale[body.Read(6)];
          *s2 = kTables.scale[body.Read(6)];
          break;
        case 1:
          *s0 = *s1 = kTables.scale[body.Read(6)];
          *s2 = kTables.scale[body.Read(6)];
          break;
        case 2:
          *s0 = *s1 = *s2 = kTables.scale[body.Read(6)];
          break;
        default:
          *s0 = kTables.scale[body.Read(6)];
          *s1 = *s2 = kTables.scale[body.Read(6)];
          break;
      }
    }

  // The coded subbands in bitstream order, each with where its samples go and how they are
  // scaled, so that the sample loop runs without looking anything up.
  struct Coded {
    int sb;
    int bits;
    const float (*groups)[3];  // grouped classes: three values per code
    int levels;                // ungrouped classes
    float inverse;
    float (*first)[32];   // slots of channel 0 or 1, or channel 0 of a shared subband
    float (*second)[32];  // slots of channel 1 of a shared subband, else null
    float scale_first[3], scale_second[3];
  };
  Coded coded[64];
  int n_coded = 0;
  for (int sb = 0; sb < limit; ++sb) {
    const int coded_channels = sb < bound ? channels : 1;
    for (int ch = 0; ch < coded_channels; ++ch) {
      const int c = cls[ch][sb];
      if (c < 0) continue;
      Coded& e = coded[n_coded++];
      const QuantClass& k = kClasses[c];
      e.sb = sb;
      e.bits = k.bits;
      e.groups = !k.grouped ? nullptr : c == 0 ? kTables.group3 : c == 1 ? kTables.group5 : kTables.group9;
      e.levels = k.levels;
      e.inverse = kTables.inverse[c];
      e.first = out[ch];
      e.second = sb < bound ? nullptr : out[1];
      for (int part = 0; part < 3; ++part) {
        e.scale_first[part] = scale[ch][part][sb];
        e.scale_second[part] = sb < bound ? 0.0f : scale[1][part][sb];
      }
    }
  }

  for (int ch = 0; ch < channels; ++ch) std::memset(out[ch], 0, sizeof out[ch]);
  for (int group = 0; group < 12; ++group) {
    const int part = group >> 2;
    const int slot = 3 * group;
    for (int i = 0; i < n_coded; ++i) {
      const Coded& e = coded[i];
      float q0, q1, q2;
      if (e.groups) {
        const float* g = e.groups[body.Read(e.bits)];
        q0 = g[0];
        q1 = g[1];
        q2 = g[2];
      } else {
        const int offset = 1 - e.levels;
        q0 = static_cast<float>(2 * static_cast<int>(body.Read(e.bits)) + offset) * e.inverse;
        q1 = static_cast<float>(2 * static_cast<int>(body.Read(e.bits)) + offset) * e.inverse;
        q2 = static_cast<float>(2 * static_cast<int>(body.Read(e.bits)) + offset) * e.inverse;
      }
      const float f = e.scale_first[part];
      e.first[slot][e.sb] = q0 * f;
      e.first[slot + 1][e.sb] = q1 * f;
      e.first[slot + 2][e.sb] = q2 * f;
      if (e.second) {
        const float f2 = e.scale_second[part];
        e.second[slot][e.sb] = q0 * f2;
        e.second[slot + 1][e.sb] = q1 * f2;
        e.second[slot + 2][e.sb] = q2 * f2;
      }
    }
  }
  reader = body;
  return 36;
}

}  // namespace svd
