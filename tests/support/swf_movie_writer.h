// A small SWF writer for test fixtures: the header (plain or zlib-compressed), tags,
// bit-packed records, rectangle shapes, sprites and action blocks. Header-only so
// benchmarks can use it as well.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace vantrel::testing {

using Bytes = std::vector<std::uint8_t>;

class BitWriter {
 public:
  void Bits(std::uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
      if (used_ == 0) bytes_.push_back(0);
      if ((value >> i) & 1) bytes_.back() |= static_cast<std::uint8_t>(0x80 >> used_);
      used_ = (used_ + 1) % 8;
    }
  }
  void SBits(std::int32_t value, int count) { Bits(static_cast<std::uint32_t>(value) & ((1u << count) - 1), count); }
  const Bytes& Data() const { return bytes_; }

  // Bits a signed value needs (with its sign bit).
  static int SignedBits(std::int32_t value) {
    int bits = 1;
    while (bits < 31 && (value < -(1 << (bits - 1)) || value >= (1 << (bits - 1)))) ++bits;
    return bits;
  }

 private:
  Bytes bytes_;
  int used_ = 0;
};

inline void PutU8(Bytes& out, std::uint8_t v) { out.push_back(v); }
inline void PutU16(Bytes& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void PutU32(Bytes& out, std::uint32_t v) {
  PutU16(out, static_cast<std::uint16_t>(v));
  PutU16(out, static_cast<std::uint16_t>(v >> 16));
}
inline void PutString(Bytes& out, const std::string& s) {
  out.insert(out.end(), s.begin(), s.end());
  out.push_back(0);
}
inline void PutBytes(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

inline Bytes RectRecord(std::int32_t xMin, std::int32_t xMax, std::int32_t yMin, std::int32_t yMax) {
  int bits = 1;
  for (std::int32_t v : {xMin, xMax, yMin, yMax}) bits = std::max(bits, BitWriter::SignedBits(v));
  BitWriter w;
  w.Bits(static_cast<std::uint32_t>(bits), 5);
  for (std::int32_t v : {xMin, xMax, yMin, yMax}) w.SBits(v, bits);
  return w.Data();
}

// A matrix with optional scale (16.16) and a translation in twips.
inline Bytes MatrixRecord(std::int32_t tx, std::int32_t ty, double scaleX = 1, double scaleY = 1) {
  BitWriter w;
  const bool scaled = scaleX != 1 || scaleY != 1;
  w.Bits(scaled ? 1 : 0, 1);
  if (scaled) {
    const auto sx = static_cast<std::int32_t>(scaleX * 65536), sy = static_cast<std::int32_t>(scaleY * 65536);
    const int bits = std::max(BitWriter::SignedBits(sx), BitWriter::SignedBits(sy));
    w.Bits(static_cast<std::uint32_t>(bits), 5);
    w.SBits(sx, bits);
    w.SBits(sy, bits);
  }
  w.Bits(0, 1);  // no rotation
  const int bits = std::max({BitWriter::SignedBits(tx), BitWriter::SignedBits(ty), 1});
  w.Bits(static_cast<std::uint32_t>(bits), 5);
  w.SBits(tx, bits);
  w.SBits(ty, bits);
  return w.Data();
}

// A colour transform with alpha: multipliers in 8.8 (256 = unchanged), no additions.
inline Bytes ColorTransformRecord(int mulR, int mulG, int mulB, int mulA) {
  BitWriter w;
  w.Bits(0, 1);  // no add terms
  w.Bits(1, 1);  // mult terms
  const int bits = std::max({BitWriter::SignedBits(mulR), BitWriter::SignedBits(mulG), BitWriter::SignedBits(mulB),
                             BitWriter::SignedBits(mulA)});
  w.Bits(static_cast<std::uint32_t>(bits), 4);
  for (int v : {mulR, mulG, mulB, mulA}) w.SBits(v, bits);
  return w.Data();
}

inline Bytes Tag(std::uint16_t code, const Bytes& body) {
  Bytes out;
  if (body.size() < 0x3F) {
    PutU16(out, static_cast<std::uint16_t>((code << 6) | body.size()));
  } else {
    PutU16(out, static_cast<std::uint16_t>((code << 6) | 0x3F));
    PutU32(out, static_cast<std::uint32_t>(body.size()));
  }
  PutBytes(out, body);
  return out;
}

inline Bytes ShowFrame() { return Tag(1, {}); }
inline Bytes End() { return Tag(0, {}); }
inline Bytes SetBackgroundColor(std::uint8_t r, std::uint8_t g, std::uint8_t b) { return Tag(9, {r, g, b}); }
inline Bytes FileAttributes(bool as3) { return Tag(69, {static_cast<std::uint8_t>(as3 ? 0x08 : 0), 0, 0, 0}); }
inline Bytes FrameLabel(const std::string& label) {
  Bytes body;
  PutString(body, label);
  return Tag(43, body);
}

// DefineShape (1) of a solid rectangle from (x, y) of width w and height h (twips).
inline Bytes DefineRectangle(std::uint16_t id, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h,
                             std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  Bytes body;
  PutU16(body, id);
  PutBytes(body, RectRecord(x, x + w, y, y + h));
  PutU8(body, 1);     // one fill style
  PutU8(body, 0x00);  // solid
  PutU8(body, r);
  PutU8(body, g);
  PutU8(body, b);
  PutU8(body, 0);     // no line styles
  BitWriter bits;
  bits.Bits(1, 4);    // fill bits
  bits.Bits(0, 4);    // line bits
  // Move to (x, y) with fill style 1.
  bits.Bits(0, 1);
  bits.Bits(0b00101, 5);  // move-to, fill style 1
  const int moveBits = std::max(BitWriter::SignedBits(x), BitWriter::SignedBits(y));
  bits.Bits(static_cast<std::uint32_t>(moveBits), 5);
  bits.SBits(x, moveBits);
  bits.SBits(y, moveBits);
  bits.Bits(1, 1);
  const std::int32_t edges[4][2] = {{w, 0}, {0, h}, {-w, 0}, {0, -h}};
  for (const auto& edge : edges) {
    bits.Bits(1, 1);  // edge
    bits.Bits(1, 1);  // straight
    const int n = std::max({BitWriter::SignedBits(edge[0]), BitWriter::SignedBits(edge[1]), 2});
    bits.Bits(static_cast<std::uint32_t>(n - 2), 4);
    bits.Bits(1, 1);  // general line
    bits.SBits(edge[0], n);
    bits.SBits(edge[1], n);
  }
  bits.Bits(0, 6);  // end of shape
  PutBytes(body, bits.Data());
  return Tag(2, body);
}

struct Place {
  std::uint16_t depth = 1;
  int character = -1;  // -1: none (a move)
  bool move = false;
  bool hasMatrix = false;
  std::int32_t x = 0, y = 0;
  double scaleX = 1, scaleY = 1;
  int alphaMul = -1;   // 8.8 multiplier of alpha, -1 for none
  std::string name;
  int clipDepth = -1;
  int ratio = -1;
};

inline Bytes PlaceObject2(const Place& p) {
  Bytes body;
  std::uint8_t flags = 0;
  if (p.move) flags |= 0x01;
  if (p.character >= 0) flags |= 0x02;
  if (p.hasMatrix) flags |= 0x04;
  if (p.alphaMul >= 0) flags |= 0x08;
  if (p.ratio >= 0) flags |= 0x10;
  if (!p.name.empty()) flags |= 0x20;
  if (p.clipDepth >= 0) flags |= 0x40;
  PutU8(body, flags);
  PutU16(body, p.depth);
  if (p.character >= 0) PutU16(body, static_cast<std::uint16_t>(p.character));
  if (p.hasMatrix) PutBytes(body, MatrixRecord(p.x, p.y, p.scaleX, p.scaleY));
  if (p.alphaMul >= 0) PutBytes(body, ColorTransformRecord(256, 256, 256, p.alphaMul));
  if (p.ratio >= 0) PutU16(body, static_cast<std::uint16_t>(p.ratio));
  if (!p.name.empty()) PutString(body, p.name);
  if (p.clipDepth >= 0) PutU16(body, static_cast<std::uint16_t>(p.clipDepth));
  return Tag(26, body);
}

// tags, then one frame placing character (named name) at depth 1, and the movie's end.
inline Bytes WithOneFramePlacing(Bytes tags, std::uint16_t character, const std::string& name) {
  Place place;
  place.character = character;
  place.name = name;
  PutBytes(tags, PlaceObject2(place));
  PutBytes(tags, ShowFrame());
  PutBytes(tags, End());
  return tags;
}

inline Bytes RemoveObject2(std::uint16_t depth) {
  Bytes body;
  PutU16(body, depth);
  return Tag(28, body);
}

inline Bytes DefineSprite(std::uint16_t id, std::uint16_t frames, const Bytes& tags) {
  Bytes body;
  PutU16(body, id);
  PutU16(body, frames);
  PutBytes(body, tags);
  return Tag(39, body);
}

// Action bytes, built by calls in program order.
class Actions {
 public:
  Actions& Op(std::uint8_t code) {
    bytes_.push_back(code);
    return *this;
  }
  Actions& OpWith(std::uint8_t code, const Bytes& data) {
    bytes_.push_back(code);
    PutU16(bytes_, static_cast<std::uint16_t>(data.size()));
    PutBytes(bytes_, data);
    return *this;
  }
  Actions& PushString(const std::string& s) {
    Bytes data{0};
    PutString(data, s);
    return OpWith(0x96, data);
  }
  Actions& PushNumber(double v) {
    Bytes data{6};
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    PutU32(data, static_cast<std::uint32_t>(bits >> 32));
    PutU32(data, static_cast<std::uint32_t>(bits));
    return OpWith(0x96, data);
  }
  Actions& Trace() { return Op(0x26); }
  Actions& TraceString(const std::string& s) { return PushString(s).Trace(); }
  Actions& Stop() { return Op(0x07); }
  Actions& Play() { return Op(0x06); }
  Actions& GotoFrame(std::uint16_t frame) {
    Bytes data;
    PutU16(data, frame);
    return OpWith(0x81, data);
  }
  Actions& GotoLabel(const std::string& label) {
    Bytes data;
    PutString(data, label);
    return OpWith(0x8C, data);
  }
  Actions& GetUrl(const std::string& url, const std::string& target) {
    Bytes data;
    PutString(data, url);
    PutString(data, target);
    return OpWith(0x83, data);
  }
  Actions& GetVariable() { return Op(0x1C); }
  Actions& SetVariable() { return Op(0x1D); }
  Actions& Raw(const Bytes& bytes) {
    PutBytes(bytes_, bytes);
    return *this;
  }
  Bytes Tag() const {
    Bytes body = bytes_;
    body.push_back(0);
    return vantrel::testing::Tag(12, body);
  }
  const Bytes& Data() const { return bytes_; }

 private:
  Bytes bytes_;
};

// A DefineButton2 record: states, character, depth, identity-translated matrix and an
// empty colour transform.
inline Bytes ButtonRecord(std::uint8_t states, std::uint16_t character, std::uint16_t depth) {
  Bytes out{states};
  PutU16(out, character);
  PutU16(out, depth);
  PutBytes(out, MatrixRecord(0, 0));
  PutU8(out, 0);  // colour transform: no terms (2 flag bits and 4 size bits, padded)
  return out;
}

// DefineButton2 with its records and (condition, actions) pairs.
inline Bytes DefineButton2(std::uint16_t id, const std::vector<Bytes>& records,
                           const std::vector<std::pair<std::uint16_t, Actions>>& conditions) {
  Bytes body;
  PutU16(body, id);
  PutU8(body, 0);  // not a menu
  Bytes list;
  for (const Bytes& record : records) PutBytes(list, record);
  list.push_back(0);
  PutU16(body, static_cast<std::uint16_t>(list.size() + 2));  // offset from this field
  PutBytes(body, list);
  for (std::size_t i = 0; i < conditions.size(); ++i) {
    Bytes actions = conditions[i].second.Data();
    actions.push_back(0);
    const bool last = i + 1 == conditions.size();
    PutU16(body, last ? 0 : static_cast<std::uint16_t>(actions.size() + 4));
    PutU16(body, conditions[i].first);
    PutBytes(body, actions);
  }
  return Tag(34, body);
}

// A whole movie: header, frame size (pixels), rate, frame count, then tags (add End()).
inline Bytes MakeMovie(const Bytes& tags, int width = 100, int height = 100, int frames = 1, int version = 8,
                   double frameRate = 24, bool compress = false) {
  Bytes body = RectRecord(0, width * 20, 0, height * 20);
  PutU16(body, static_cast<std::uint16_t>(frameRate * 256));
  PutU16(body, static_cast<std::uint16_t>(frames));
  PutBytes(body, tags);
  Bytes out = {static_cast<std::uint8_t>(compress ? 'C' : 'F'), 'W', 'S', static_cast<std::uint8_t>(version)};
  PutU32(out, static_cast<std::uint32_t>(body.size() + 8));
  if (!compress) {
    PutBytes(out, body);
    return out;
  }
  uLongf packedSize = compressBound(static_cast<uLong>(body.size()));
  Bytes packed(packedSize);
  compress2(packed.data(), &packedSize, body.data(), static_cast<uLong>(body.size()), 9);
  packed.resize(packedSize);
  PutBytes(out, packed);
  return out;
}

}  // namespace vantrel::testing
