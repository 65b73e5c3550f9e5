#include "robustness/mutations.h"

#include <algorithm>
#include <cstring>
#include <zlib.h>

#include "support/pe_writer.h"
#include "support/swf_writer.h"

namespace vantrel::robustness {

namespace {

using testing::Be32;
using testing::Le16;
using testing::Le32;

std::uint32_t GetLe32(const std::string& b, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(b[at + static_cast<std::size_t>(i)]);
  return v;
}

void PutLe32(std::string& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
}

void PutBe32(std::string& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * (3 - i)));
}

void PutBe24(std::string& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 3; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * (2 - i)));
}

bool IsMovie(const std::string& b) {
  return b.size() >= 8 && (b[0] == 'F' || b[0] == 'C' || b[0] == 'Z') && b[1] == 'W' && b[2] == 'S';
}

// Where the first tag of a plain movie starts (after the RECT, rate and count).
std::size_t FirstTag(const std::string& plain) {
  if (plain.size() < 9) return plain.size();
  const unsigned nbits = static_cast<std::uint8_t>(plain[8]) >> 3;
  return std::min<std::size_t>(plain.size(), 8 + (5 + 4 * nbits + 7) / 8 + 4);
}

// The offsets of the tag headers of a plain movie, at most limit of them.
std::vector<std::size_t> TagOffsets(const std::string& plain, std::size_t limit) {
  std::vector<std::size_t> offsets;
  std::size_t at = FirstTag(plain);
  while (at + 2 <= plain.size() && offsets.size() < limit) {
    offsets.push_back(at);
    const unsigned word = static_cast<std::uint8_t>(plain[at]) | (static_cast<std::uint8_t>(plain[at + 1]) << 8);
    std::uint64_t length = word & 0x3F;
    std::size_t header = 2;
    if (length == 0x3F) {
      if (at + 6 > plain.size()) break;
      length = GetLe32(plain, at + 2);
      header = 6;
    }
    at += header + length;
  }
  return offsets;
}

// The movie in the compression it came in: plain stays plain, "CWS" and "ZWS" become a
// fresh zlib stream (the length field tells the plain length).
std::string Recompressed(const std::string& original, const std::string& plain) {
  if (original.empty() || original[0] == 'F') return plain;
  std::string out = "CWS" + plain.substr(3, 5);
  PutLe32(out, 4, static_cast<std::uint32_t>(plain.size()));
  return out + testing::ZlibCompress(std::string_view(plain).substr(8), 1);
}

void FlipBits(std::string& bytes, Random& random, std::size_t from) {
  if (bytes.size() <= from) return;
  const int flips = 1 + static_cast<int>(random.Below(16));
  for (int i = 0; i < flips; ++i) {
    const std::size_t span = random.Below(2) ? std::min<std::size_t>(256, bytes.size() - from) : bytes.size() - from;
    const std::size_t at = from + random.Below(span);
    bytes[at] = static_cast<char>(bytes[at] ^ (1u << random.Below(8)));
  }
}

std::string Truncated(const std::string& bytes, Random& random) {
  static const double kFractions[] = {0.05, 0.25, 0.5, 0.75, 0.95};
  if (bytes.size() < 2) return {};
  const std::size_t pick = random.Below(6);
  if (pick == 5) return bytes.substr(0, bytes.size() - 1);
  return bytes.substr(0, static_cast<std::size_t>(bytes.size() * kFractions[pick]));
}

std::uint32_t HostileLength(Random& random, std::uint64_t real) {
  const std::uint32_t choices[] = {0, 1, 8, 0x7FFFFFFF, 0xFFFFFFFF, 0x80000000,
                                   static_cast<std::uint32_t>(real / 2), static_cast<std::uint32_t>(real * 16 + 1)};
  return choices[random.Below(std::size(choices))];
}

std::string MovieHeader(const std::string& movie, Random& random) {
  std::string out = movie;
  std::string plain = PlainMovie(movie);
  switch (random.Below(6)) {
    case 0: out[3] = static_cast<char>(random.Below(256)); return out;
    case 1: PutLe32(out, 4, HostileLength(random, movie.size())); return out;
    case 2: out[0] = "FCZ"[random.Below(3)]; return out;
    default: break;
  }
  if (plain.size() < 13) {
    PutLe32(out, 4, 0xFFFFFFFF);
    return out;
  }
  const std::size_t tags = FirstTag(plain);
  std::string head = plain.substr(0, 8);
  std::string rest = plain.substr(tags - 4);  // rate, count, tags
  std::string rect;
  switch (random.Below(3)) {
    case 0: rect = testing::SwfRect(0, 1310700, 0, 1310700); break;                 // 65535 px square
    case 1: rect = std::string("\xF8", 1) + std::string(16, '\xFF'); break;         // 31-bit fields, all ones
    default: rect = testing::SwfRect(0, 327700, 0, 20); break;                      // 16385 x 1
  }
  if (random.Below(2)) {
    rest[0] = 0;  // a rate of 0
    rest[2] = rest[3] = '\xFF';  // 65535 frames
  }
  std::string changed = head + rect + rest;
  PutLe32(changed, 4, static_cast<std::uint32_t>(changed.size()));
  return Recompressed(movie, changed);
}

std::string MovieTagLength(const std::string& movie, Random& random) {
  std::string plain = PlainMovie(movie);
  const std::vector<std::size_t> offsets = TagOffsets(plain, 400);
  if (offsets.empty()) return Truncated(movie, random);
  const std::size_t at = offsets[random.Below(offsets.size())];
  const unsigned word = static_cast<std::uint8_t>(plain[at]) | (static_cast<std::uint8_t>(plain[at + 1]) << 8);
  if ((word & 0x3F) == 0x3F && at + 6 <= plain.size()) {
    PutLe32(plain, at + 2, HostileLength(random, plain.size() - at));
  } else {
    const unsigned length = static_cast<unsigned>(random.Below(64));
    const unsigned changed = (word & ~0x3Fu) | length;
    plain[at] = static_cast<char>(changed & 0xFF);
    plain[at + 1] = static_cast<char>(changed >> 8);
  }
  return Recompressed(movie, plain);
}

std::string MovieRecompressed(const std::string& movie, Random& random) {
  std::string plain = PlainMovie(movie);
  if (plain.empty()) plain = movie;
  FlipBits(plain, random, FirstTag(plain));
  std::string out = Recompressed(plain[0] == 'F' && movie[0] != 'F' ? movie : "C", plain);
  // Now and then the length field says less than the data holds.
  if (random.Below(3) == 0 && out.size() >= 8) PutLe32(out, 4, static_cast<std::uint32_t>(plain.size() / 2));
  return out;
}

std::string VideoHeader(const std::string& video, Random& random) {
  std::string out = video;
  if (out.size() < 9) return out + std::string(9, '\xFF');
  switch (random.Below(3)) {
    case 0: PutBe32(out, 5, HostileLength(random, video.size())); return out;
    case 1: out[4] = static_cast<char>(random.Below(256)); return out;
    default: break;
  }
  // A tag's data size (3 bytes after its type byte), found by walking the tags.
  std::vector<std::size_t> tags;
  std::size_t at = 9 + 4;
  while (at + 11 <= out.size() && tags.size() < 200) {
    tags.push_back(at);
    const std::size_t size = (static_cast<std::uint8_t>(out[at + 1]) << 16) | (static_cast<std::uint8_t>(out[at + 2]) << 8) |
                             static_cast<std::uint8_t>(out[at + 3]);
    at += 11 + size + 4;
  }
  if (tags.empty()) return out;
  const std::uint32_t sizes[] = {0, 1, 0xFFFFFF, 0x7FFFF};
  PutBe24(out, tags[random.Below(tags.size())] + 1, sizes[random.Below(std::size(sizes))]);
  return out;
}

std::string ProjectorMutant(const std::string& exe, Random& random, std::string& kind) {
  std::string out = exe;
  if (out.size() < 72) return Truncated(exe, random);
  const std::uint32_t length = GetLe32(out, out.size() - 4);
  const bool marker = std::memcmp(out.data() + out.size() - 8, "\x56\x34\x12\xFA", 4) == 0;
  switch (random.Below(4)) {
    case 0:
      kind = "header";
      PutLe32(out, out.size() - 4, HostileLength(random, out.size()));
      return out;
    case 1:
      kind = "header";
      PutLe32(out, 0x3C, random.Below(2) ? 0xFFFFFFF0u : static_cast<std::uint32_t>(out.size() - 4));
      return out;
    case 2:
      kind = "header";
      out[out.size() - 8 + random.Below(4)] ^= 0x10;
      return out;
    default: break;
  }
  // The movie inside, damaged and put back with its new length.
  if (!marker || length + 8ull > out.size()) return Truncated(exe, random);
  const std::size_t start = out.size() - length - 8;
  const std::string movie = exe.substr(start, length);
  std::string damaged = random.Below(2) ? MovieTagLength(movie, random) : MovieHeader(movie, random);
  kind = "embedded";
  return exe.substr(0, start) + damaged + "\x56\x34\x12\xFA" + Le32(static_cast<std::uint32_t>(damaged.size()));
}

std::string PictureHeader(const std::string& png, Random& random) {
  std::string out = png;
  if (out.size() < 33) return Truncated(png, random);
  // Chunks after the 8-byte signature: length, type, data, CRC. One length or the IHDR
  // size becomes hostile; the CRC is made right so the damage gets past the check.
  std::vector<std::size_t> chunks;
  for (std::size_t at = 8; at + 12 <= out.size() && chunks.size() < 64;) {
    chunks.push_back(at);
    const std::uint64_t length = (static_cast<std::uint64_t>(static_cast<std::uint8_t>(out[at])) << 24) |
                                 (static_cast<std::uint8_t>(out[at + 1]) << 16) |
                                 (static_cast<std::uint8_t>(out[at + 2]) << 8) | static_cast<std::uint8_t>(out[at + 3]);
    at += 12 + length;
  }
  if (random.Below(2) && out.compare(12, 4, "IHDR") == 0) {
    PutBe32(out, 16, random.Below(2) ? 65535 : 0x7FFFFFFF);
    PutBe32(out, 20, random.Below(2) ? 65535 : 1);
    const std::uint32_t crc = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(out.data() + 12), 17));
    PutBe32(out, 29, crc);
    return out;
  }
  PutBe32(out, chunks[random.Below(chunks.size())], HostileLength(random, out.size()));
  return out;
}

}  // namespace

std::uint64_t Random::Next() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

std::string PlainMovie(const std::string& movie) {
  if (!IsMovie(movie)) return {};
  if (movie[0] == 'F') return movie;
  const std::uint32_t length = GetLe32(movie, 4);
  if (length < 8 || length > (256u << 20)) return {};
  std::string body(length - 8, '\0');
  if (movie[0] == 'C') {
    uLongf size = body.size();
    if (uncompress(reinterpret_cast<Bytef*>(body.data()), &size, reinterpret_cast<const Bytef*>(movie.data() + 8),
                   movie.size() - 8) != Z_OK)
      return {};
    body.resize(size);
  } else {
    return {};  // LZMA bodies are damaged as they are
  }
  return "FWS" + movie.substr(3, 5) + body;
}

std::vector<Mutant> Mutate(const std::string& original, FileKind kind, std::uint64_t seed, int count) {
  std::vector<Mutant> out;
  Random random(seed);
  for (int i = 0; i < count; ++i) {
    Mutant mutant;
    const int pick = static_cast<int>((seed + static_cast<std::uint64_t>(i)) % 5);
    if (pick == 0) {
      mutant.kind = "truncate";
      mutant.bytes = Truncated(original, random);
    } else if (pick == 1) {
      mutant.kind = "bitflip";
      mutant.bytes = original;
      FlipBits(mutant.bytes, random, 0);
    } else if (kind == FileKind::Movie) {
      mutant.kind = pick == 2 ? "header" : pick == 3 ? "taglength" : "recompress";
      mutant.bytes = pick == 2   ? MovieHeader(original, random)
                     : pick == 3 ? MovieTagLength(original, random)
                                 : MovieRecompressed(original, random);
    } else if (kind == FileKind::Video) {
      mutant.kind = "header";
      mutant.bytes = VideoHeader(original, random);
    } else if (kind == FileKind::Projector) {
      mutant.bytes = ProjectorMutant(original, random, mutant.kind);
    } else {
      mutant.kind = "header";
      mutant.bytes = PictureHeader(original, random);
    }
    out.push_back(std::move(mutant));
  }
  return out;
}

namespace {

// Action bytes for the hostile scripts.
std::string Op(std::uint8_t code, const std::string& data = {}) {
  std::string out(1, static_cast<char>(code));
  if (code >= 0x80) out += Le16(static_cast<std::uint32_t>(data.size())) + data;
  return out;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> HostileFiles() {
  std::vector<std::pair<std::string, std::string>> files;
  const std::string mp3 = std::string("\xFF\xFB\x90\x64", 4) + std::string(60, '\x11');
  testing::SwfWriter small(8, 100, 100, 12, 1);
  small.Tag(14, Le16(3) + std::string("\x2F", 1) + Le32(1152) + Le16(0) + mp3).ShowFrame().End();
  // Compressed movies whose headers claim 4 GiB.
  files.emplace_back("declares-4gib.swf", testing::SwfWriter(small).LengthField(0xFFFFFFFF).Compressed());
  files.emplace_back("declares-4gib-lzma.swf", testing::SwfWriter(small).LengthField(0xFFFFFFFF).CompressedLzma());
  files.emplace_back("declares-2gib-plain.swf", testing::SwfWriter(small).LengthField(0x80000000).Plain());
  // Frames far larger than any screen.
  testing::SwfWriter wide(8, 100, 100, 12, 2);
  wide.Rect(testing::SwfRect(0, 1310700, 0, 1310700)).BackgroundColor(10, 20, 30).ShowFrame().ShowFrame().End();
  files.emplace_back("frame-65535.swf", wide.Compressed());
  files.emplace_back("frame-16385.swf", testing::SwfWriter(wide).Rect(testing::SwfRect(0, 327700, 0, 327700)).Plain());
  // A decompression bomb: 64 MiB of zeros after the End tag, honestly declared.
  testing::SwfWriter bomb(8, 100, 100, 12, 1);
  bomb.ShowFrame().End().Raw(std::string(64u << 20, '\0'));
  files.emplace_back("bomb-64mib.swf", bomb.Compressed());
  // Thousands of nested sprites and frames, each tiny.
  std::string nested = Le16(1) + Le16(1) + testing::SwfTag(1, "") + testing::SwfTag(0, "");
  for (int depth = 2; depth <= 2000; ++depth)
    nested = Le16(static_cast<std::uint32_t>(depth)) + Le16(1) + testing::SwfTag(39, nested, true) + testing::SwfTag(0, "");
  files.emplace_back("nested-sprites.swf",
                     testing::SwfWriter(8, 100, 100, 12, 1).Tag(39, nested, true).ShowFrame().End().Compressed());
  testing::SwfWriter frames(8, 100, 100, 120, 65535);
  for (int i = 0; i < 65535; ++i) frames.ShowFrame();
  files.emplace_back("frames-65535.swf", frames.End().Compressed());
  // A lossless bitmap declaring 65535 x 65535 pixels with a few bytes of data.
  files.emplace_back("bitmap-65535.swf", testing::SwfWriter(8, 100, 100, 12, 1)
                                             .Tag(36, Le16(1) + "\x05" + Le16(65535) + Le16(65535) +
                                                          testing::ZlibCompress(std::string(64, '\xFF')))
                                             .ShowFrame()
                                             .End()
                                             .Plain());
  // A video whose data offset and first tag size point far past the end.
  std::string flv = std::string("FLV\x01\x01", 5) + Be32(0xFFFFFFF0) + Be32(0);
  files.emplace_back("offset-past-end.flv", flv);
  std::string flv2 = std::string("FLV\x01\x01", 5) + Be32(9) + Be32(0) + "\x09" + testing::Be24(0xFFFFFF) +
                     std::string(7, '\0') + "\x22" + std::string(16, '\x55');
  files.emplace_back("tag-past-end.flv", flv2);
  // A goto loop within one tick: the tick's budget ends it. (Scripts that take all
  // memory are tested with a lowered budget in the engine's tests: at the default
  // budget each run would take half a gigabyte.)
  testing::SwfWriter pingPong(8, 100, 100, 12, 2);
  pingPong.Tag(12, Op(0x81, Le16(1)) + Op(0x06) + std::string(1, '\0')).ShowFrame();
  pingPong.Tag(12, Op(0x81, Le16(0)) + Op(0x06) + std::string(1, '\0')).ShowFrame().End();
  files.emplace_back("script-goto-loop.swf", pingPong.Compressed());
  // A projector whose trailer claims almost 4 GiB of movie.
  std::string stub = "MZ" + std::string(62, '\0');
  files.emplace_back("length-past-start.exe", stub + small.Plain() + "\x56\x34\x12\xFA" + Le32(0xFFFFFFF0));
  files.emplace_back("movie-claims-4gib.exe", [&] {
    const std::string movie = testing::SwfWriter(small).LengthField(0xFFFFFFFF).Compressed();
    return stub + movie + "\x56\x34\x12\xFA" + Le32(static_cast<std::uint32_t>(movie.size()));
  }());
  return files;
}

std::vector<std::pair<std::string, std::string>> SeedFiles() {
  std::vector<std::pair<std::string, std::string>> files;
  const std::string mp3 = std::string("\xFF\xFB\x90\x64", 4) + std::string(40, '\x11');
  const std::string jpeg = std::string("\xFF\xD8\xFF\xDB\x00\x04\x00\x00\xFF\xD9", 10);
  testing::SwfWriter movie(8, 320, 240, 24, 2);
  movie.FileAttributes(0x10)
      .Metadata("<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><dc:title>t</dc:title></rdf:RDF>")
      .BackgroundColor(10, 20, 30)
      .Tag(8, std::string("\xFF\xD8\xFF\xDB", 4) + jpeg)
      .Tag(6, Le16(1) + jpeg)
      .Tag(21, Le16(2) + std::string("\xFF\xD9\xFF\xD8", 4) + jpeg)
      .Tag(35, Le16(3) + Le32(static_cast<std::uint32_t>(jpeg.size())) + jpeg + testing::ZlibCompress("\xFF\x80"))
      .Tag(36, Le16(4) + "\x05" + Le16(1) + Le16(1) + testing::ZlibCompress("\xFF\x10\x20\x30"))
      .Tag(14, Le16(5) + "\x2F" + Le32(1152) + Le16(0) + mp3)
      .Tag(18, std::string("\x00\x20\x00\x00", 4))
      .Tag(19, std::string("\x40\x02\x00\x00", 4) + mp3)
      .Tag(39, Le16(6) + Le16(1) + testing::SwfTag(1, "") + testing::SwfTag(0, ""))
      .Tag(60, Le16(7) + Le16(1) + Le16(16) + Le16(16) + std::string("\x00\x02", 2))
      .Tag(61, Le16(7) + Le16(0) + std::string("\x00\x00\x80\x01\x00", 5))
      .ShowFrame()
      .ShowFrame()
      .End();
  files.emplace_back("movie-plain.swf", movie.Plain());
  files.emplace_back("movie-zlib.swf", movie.Compressed());
  files.emplace_back("movie-lzma.swf", movie.CompressedLzma());
  files.emplace_back("video.flv", testing::FlvWriter()
                                      .Script(0, testing::FlvMetaData({{"duration", testing::AmfValue::Number(2)},
                                                                       {"width", testing::AmfValue::Number(176)},
                                                                       {"height", testing::AmfValue::Number(144)},
                                                                       {"framerate", testing::AmfValue::Number(12)},
                                                                       {"title", testing::AmfValue::String("t")}}))
                                      .Video(0, testing::H263VideoData(2))
                                      .Audio(0, std::string("\x2F", 1) + mp3)
                                      .Video(83, testing::ScreenVideoData(64, 48))
                                      .Bytes());
  const std::string stub = testing::BuildPeImage(testing::BuildVersionInfo(testing::StubVersion("SAFlashPlayer.exe")));
  files.emplace_back("projector-plain.exe", testing::AppendMovie(stub, movie.Plain()));
  files.emplace_back("projector-zlib.exe", testing::AppendMovie(stub, movie.Compressed()));
  files.emplace_back("stub.exe", stub);
  return files;
}

}  // namespace vantrel::robustness
