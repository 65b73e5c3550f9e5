#include "flash/swf/movie_loader.h"

#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "flash/swf/stream.h"

namespace vantrel::flash {

namespace {

constexpr std::size_t kChunk = 64 * 1024;

void SetError(std::string* error, std::string text) {
  if (error) *error = std::move(text);
}

// Inflates a zlib stream into out, never past limit bytes. Returns false when the stream
// is broken before anything came out.
bool InflateZlib(std::span<const std::uint8_t> in, std::size_t limit, std::vector<std::uint8_t>& out,
                 std::string* error) {
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) {
    SetError(error, "zlib could not start");
    return false;
  }
  stream.next_in = const_cast<Bytef*>(in.data());
  stream.avail_in = static_cast<uInt>(std::min<std::size_t>(in.size(), 0xFFFFFFFFu));
  int result = Z_OK;
  while (out.size() < limit) {
    const std::size_t start = out.size();
    const std::size_t want = std::min(kChunk, limit - start);
    out.resize(start + want);
    stream.next_out = out.data() + start;
    stream.avail_out = static_cast<uInt>(want);
    result = inflate(&stream, Z_NO_FLUSH);
    out.resize(start + (want - stream.avail_out));
    if (result != Z_OK) break;
    if (stream.avail_in == 0 && stream.avail_out != 0) break;
  }
  inflateEnd(&stream);
  if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR && out.empty()) {
    SetError(error, std::string("compressed data is broken (") + (stream.msg ? stream.msg : "zlib") + ")");
    return false;
  }
  return true;
}

// ZWS: after the 8-byte header come the compressed length (4 bytes) and the five bytes
// of LZMA properties, then raw LZMA data without an end marker.
bool InflateLzma(std::span<const std::uint8_t> in, std::size_t limit, std::vector<std::uint8_t>& out,
                 std::string* error) {
  if (in.size() < 9) {
    SetError(error, "compressed data is broken (LZMA header missing)");
    return false;
  }
  const std::uint8_t* props = in.data() + 4;
  lzma_options_lzma options{};
  lzma_filter filters[2];
  filters[0].id = LZMA_FILTER_LZMA1;
  filters[0].options = &options;
  filters[1].id = LZMA_VLI_UNKNOWN;
  filters[1].options = nullptr;
  // Decode the properties by hand: lc/lp/pb byte and the dictionary size.
  const std::uint8_t lclppb = props[0];
  if (lclppb >= 9 * 5 * 5) {
    SetError(error, "compressed data is broken (LZMA properties)");
    return false;
  }
  if (lzma_lzma_preset(&options, 6)) {
    SetError(error, "LZMA could not start");
    return false;
  }
  options.lc = lclppb % 9;
  options.lp = (lclppb / 9) % 5;
  options.pb = lclppb / 45;
  std::uint32_t dictSize = 0;
  for (int i = 0; i < 4; ++i) dictSize |= static_cast<std::uint32_t>(props[1 + i]) << (8 * i);
  // The dictionary never needs to be larger than the output we allow.
  const auto ceiling = static_cast<std::uint32_t>(std::min<std::size_t>(limit, 1u << 28));
  options.dict_size = std::max<std::uint32_t>(std::min(dictSize, ceiling), LZMA_DICT_SIZE_MIN);

  lzma_stream stream = LZMA_STREAM_INIT;
  if (lzma_raw_decoder(&stream, filters) != LZMA_OK) {
    SetError(error, "LZMA could not start");
    return false;
  }
  stream.next_in = in.data() + 9;
  stream.avail_in = in.size() - 9;
  lzma_ret result = LZMA_OK;
  while (out.size() < limit) {
    const std::size_t start = out.size();
    const std::size_t want = std::min(kChunk, limit - start);
    out.resize(start + want);
    stream.next_out = out.data() + start;
    stream.avail_out = want;
    result = lzma_code(&stream, LZMA_RUN);
    out.resize(start + (want - stream.avail_out));
    if (result != LZMA_OK) break;
    if (stream.avail_in == 0 && stream.avail_out != 0) break;
  }
  lzma_end(&stream);
  if (result != LZMA_OK && result != LZMA_STREAM_END && out.empty()) {
    SetError(error, "compressed data is broken (LZMA)");
    return false;
  }
  return true;
}

}  // namespace

bool DecompressMovie(std::span<const std::uint8_t> file, MovieHeader& header, std::vector<std::uint8_t>& body,
                     std::string* error) {
  body.clear();
  if (file.size() < 8) {
    SetError(error, "file is too short to be a movie");
    return false;
  }
  const char first = static_cast<char>(file[0]);
  if ((first != 'F' && first != 'C' && first != 'Z') || file[1] != 'W' || file[2] != 'S') {
    SetError(error, "not a Flash movie");
    return false;
  }
  std::memcpy(header.signature, file.data(), 3);
  header.version = file[3];
  header.fileLength = static_cast<std::uint32_t>(file[4]) | (static_cast<std::uint32_t>(file[5]) << 8) |
                      (static_cast<std::uint32_t>(file[6]) << 16) | (static_cast<std::uint32_t>(file[7]) << 24);
  // The header's length counts the 8 header bytes; a smaller or absurd value still lets
  // us read what is there, up to our own ceiling.
  std::size_t limit = header.fileLength > 8 ? header.fileLength - 8 : 0;
  limit = std::min(limit, kMaxMovieBytes);
  const auto rest = file.subspan(8);
  if (first == 'F') {
    const std::size_t take = limit == 0 ? std::min(rest.size(), kMaxMovieBytes) : std::min(rest.size(), limit);
    body.assign(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(take));
    return true;
  }
  if (limit == 0) limit = kMaxMovieBytes;
  if (first == 'C') return InflateZlib(rest, limit, body, error);
  return InflateLzma(rest, limit, body, error);
}

std::span<const std::uint8_t> MovieBodyTags(std::span<const std::uint8_t> body) {
  SwfStream stream(body);
  stream.ReadRect();
  stream.AlignBits();
  stream.Skip(4);  // frame rate and count
  if (stream.Overrun()) return {};
  return stream.Rest();
}

std::shared_ptr<Movie> ReadMovie(std::span<const std::uint8_t> file, DefinitionReader* definitions,
                                 std::string* error) {
  auto movie = std::make_shared<Movie>();
  std::vector<std::uint8_t> body;
  if (!DecompressMovie(file, movie->header, body, error)) return nullptr;
  movie->fileSize = file.size();
  SwfStream stream(body);
  movie->header.frameSize = stream.ReadRect();
  movie->header.frameRate = stream.U16() / 256.0;  // unsigned 8.8
  movie->header.frameCount = stream.U16();
  if (stream.Overrun()) {
    SetError(error, "movie header is cut short");
    return nullptr;
  }
  ParseMovieTags(stream.Rest(), *movie, definitions);
  return movie;
}

}  // namespace vantrel::flash
