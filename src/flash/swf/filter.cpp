#include "flash/swf/filter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "flash/swf/stream.h"

namespace vantrel::flash {

namespace {

// The strength and flag byte that end the shadow, glow and bevel records; bevels use
// one more flag (on top) and keep four bits for the pass count instead of five.
void ReadGlowTail(SwfStream& in, FilterParams& p, bool bevel) {
  p.strength = in.Fixed8();
  const std::uint8_t flags = in.U8();
  p.inner = flags & 0x80;
  p.knockout = flags & 0x40;
  p.compositeSource = flags & 0x20;
  if (bevel) p.onTop = flags & 0x10;
  p.passes = flags & (bevel ? 0x0f : 0x1f);
}

void PutU8(std::vector<std::uint8_t>& out, std::uint32_t v) { out.push_back(static_cast<std::uint8_t>(v)); }
void PutU16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  PutU8(out, v & 255);
  PutU8(out, (v >> 8) & 255);
}
void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  PutU16(out, v & 0xffff);
  PutU16(out, v >> 16);
}
void PutFixed(std::vector<std::uint8_t>& out, double v, double one, double limit) {
  const double clamped = std::isfinite(v) ? std::clamp(v, -limit, limit) : 0.0;
  const auto fixed = static_cast<std::int32_t>(std::lround(clamped * one));
  if (one == 256) {
    PutU16(out, static_cast<std::uint16_t>(fixed));
  } else {
    PutU32(out, static_cast<std::uint32_t>(fixed));
  }
}
void PutFloat(std::vector<std::uint8_t>& out, float v) {
  std::uint32_t bits = 0;
  std::memcpy(&bits, &v, sizeof bits);
  PutU32(out, bits);
}
void PutRgba(std::vector<std::uint8_t>& out, const Rgba& c) {
  PutU8(out, c.r);
  PutU8(out, c.g);
  PutU8(out, c.b);
  PutU8(out, c.a);
}

}  // namespace

Filter EncodeFilter(const FilterParams& p) {
  Filter filter;
  filter.type = p.type;
  auto& out = filter.data;
  const auto color = [&](std::size_t i) { return i < p.colors.size() ? p.colors[i] : Rgba{0, 0, 0, 0}; };
  const auto tail = [&](bool bevel) {
    PutFixed(out, p.strength, 256, 127);
    std::uint32_t flags = (p.inner ? 0x80 : 0) | (p.knockout ? 0x40 : 0) | (p.compositeSource ? 0x20 : 0);
    if (bevel) flags |= p.onTop ? 0x10 : 0;
    flags |= static_cast<std::uint32_t>(std::clamp(p.passes, 0, bevel ? 15 : 31));
    PutU8(out, flags);
  };
  switch (p.type) {
    case 0:
    case 2:
      PutRgba(out, color(0));
      PutFixed(out, p.blurX, 65536, 32767);
      PutFixed(out, p.blurY, 65536, 32767);
      if (p.type == 0) {
        PutFixed(out, p.angle, 65536, 32767);
        PutFixed(out, p.distance, 65536, 32767);
      }
      tail(false);
      break;
    case 1:
      PutFixed(out, p.blurX, 65536, 32767);
      PutFixed(out, p.blurY, 65536, 32767);
      PutU8(out, static_cast<std::uint32_t>(std::clamp(p.passes, 0, 31)) << 3);
      break;
    case 3:
    case 4:
    case 7:
      if (p.type == 3) {
        PutRgba(out, color(0));
        PutRgba(out, color(1));
      } else {
        const std::size_t count = std::min<std::size_t>(p.colors.size(), 255);
        PutU8(out, static_cast<std::uint32_t>(count));
        for (std::size_t i = 0; i < count; ++i) PutRgba(out, p.colors[i]);
        for (std::size_t i = 0; i < count; ++i) PutU8(out, i < p.ratios.size() ? p.ratios[i] : 0);
      }
      PutFixed(out, p.blurX, 65536, 32767);
      PutFixed(out, p.blurY, 65536, 32767);
      PutFixed(out, p.angle, 65536, 32767);
      PutFixed(out, p.distance, 65536, 32767);
      tail(true);
      break;
    case 5: {
      PutU8(out, static_cast<std::uint32_t>(std::clamp(p.matrixX, 0, 255)));
      PutU8(out, static_cast<std::uint32_t>(std::clamp(p.matrixY, 0, 255)));
      PutFloat(out, p.divisor);
      PutFloat(out, p.bias);
      const std::size_t count = static_cast<std::size_t>(std::clamp(p.matrixX, 0, 255) * std::clamp(p.matrixY, 0, 255));
      for (std::size_t i = 0; i < count; ++i) PutFloat(out, i < p.matrix.size() ? p.matrix[i] : 0.0f);
      PutRgba(out, color(0));
      PutU8(out, (p.clamp ? 0x02 : 0) | (p.preserveAlpha ? 0x01 : 0));
      break;
    }
    case 6:
      for (std::size_t i = 0; i < 20; ++i) PutFloat(out, i < p.matrix.size() ? p.matrix[i] : 0.0f);
      break;
    default: break;
  }
  return filter;
}

bool DecodeFilter(const Filter& filter, FilterParams& p) {
  SwfStream in(filter.data);
  p = FilterParams{};
  p.type = filter.type;
  switch (filter.type) {
    case 0:  // drop shadow
    case 2:  // glow
    {
      p.colors.push_back(in.ReadRgba());
      p.blurX = in.Fixed16();
      p.blurY = in.Fixed16();
      if (filter.type == 0) {
        p.angle = in.Fixed16();
        p.distance = in.Fixed16();
      }
      ReadGlowTail(in, p, false);
      break;
    }
    case 1: {  // blur
      p.blurX = in.Fixed16();
      p.blurY = in.Fixed16();
      p.passes = in.U8() >> 3;
      break;
    }
    case 3:  // bevel
    case 4:  // gradient glow
    case 7:  // gradient bevel
    {
      if (filter.type == 3) {
        p.colors.push_back(in.ReadRgba());
        p.colors.push_back(in.ReadRgba());
      } else {
        const int count = in.U8();
        for (int i = 0; i < count && !in.Overrun(); ++i) p.colors.push_back(in.ReadRgba());
        for (int i = 0; i < count && !in.Overrun(); ++i) p.ratios.push_back(in.U8());
      }
      p.blurX = in.Fixed16();
      p.blurY = in.Fixed16();
      p.angle = in.Fixed16();
      p.distance = in.Fixed16();
      ReadGlowTail(in, p, true);
      break;
    }
    case 5: {  // convolution
      p.matrixX = in.U8();
      p.matrixY = in.U8();
      p.divisor = in.Float32();
      p.bias = in.Float32();
      const int count = p.matrixX * p.matrixY;
      for (int i = 0; i < count && !in.Overrun(); ++i) p.matrix.push_back(in.Float32());
      p.colors.push_back(in.ReadRgba());
      const std::uint8_t flags = in.U8();
      p.clamp = flags & 0x02;
      p.preserveAlpha = flags & 0x01;
      break;
    }
    case 6:  // colour matrix
      for (int i = 0; i < 20 && !in.Overrun(); ++i) p.matrix.push_back(in.Float32());
      break;
    default: return false;
  }
  if (in.Overrun()) return false;
  if (!std::isfinite(p.blurX) || !std::isfinite(p.blurY) || !std::isfinite(p.distance) || !std::isfinite(p.strength))
    return false;
  p.blurX = std::clamp(p.blurX, 0.0, 255.0);
  p.blurY = std::clamp(p.blurY, 0.0, 255.0);
  p.distance = std::clamp(p.distance, -1000.0, 1000.0);
  p.strength = std::clamp(p.strength, 0.0, 255.0);
  return true;
}

}  // namespace vantrel::flash
