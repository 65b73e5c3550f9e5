// Compressed movies: the cache names of converted copies, and the plain ("FWS") copy of
// a zlib ("CWS") or LZMA ("ZWS") compressed movie.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "media/media_context.h"
#include "media/media_record.h"

namespace vantrel::media {

// A header-only copy keeps this many bytes of the body: enough for the movie header and
// the short tag walk.
inline constexpr std::size_t kHeaderOnlyBody = 10001;

// A copy whose data ends before its length field says is padded with zeros, but with
// no more than this many: a header that claims gigabytes costs a megabyte. Fuzzing builds
// pad less, so that a million inputs do not write a terabyte; the bound holds the same way.
#ifdef VANTREL_FUZZ_LIMITS
inline constexpr std::size_t kMaxCopyPadding = 1u << 12;
#else
inline constexpr std::size_t kMaxCopyPadding = 1u << 20;
#endif

// Result codes of UncompressData and WritePlainMovie, as zlib numbers them.
inline constexpr int kUncompressOk = 0;
inline constexpr int kUncompressMemoryError = -4;
inline constexpr int kUncompressDataError = -3;   // damaged data: "Movie Corrupted"
inline constexpr int kUncompressBufferError = -5; // the stream ends early, or runs past the length

// The cache file name for path.
// flatten: ":\" becomes "@", then "\\", "//", "\" and "/" each become "#"; cachePath is
// put in front unless bare; suffix is appended. "/home/a/intro.swf" with ".tmp" gives
// cachePath + "#home#a#intro.swf.tmp". A flattened name too long for the file system
// keeps its tail behind a hash of the whole name, so distinct paths stay distinct.
// Not flatten: path without its last extension (only the part after the last separator
// when bare), then suffix.
std::string CachePathFor(std::string_view cachePath, std::string_view path, std::string_view suffix,
                         bool flatten, bool bare);

// "Movie Corrupted" for a data error, else the code in decimal ("-5").
std::string UncompressErrorText(int code);

// Inflates the zlib stream source into destination, which is first sized to expectedSize
// and zero-filled. Returns true when the stream ends within expectedSize bytes (code 0);
// false otherwise, with code -3 for damaged data and -5 for a stream that ends early or
// does not fit. What was decompressed stays in destination. An empty source returns true
// and leaves destination untouched.
bool UncompressData(std::span<const std::uint8_t> source, std::vector<std::uint8_t>& destination,
                    int& resultCode, std::size_t expectedSize);

// Writes the plain copy of the compressed movie ("CWS" or "ZWS") at sourcePath to
// targetPath: the 8-byte header with "FWS" in front, then the decompressed body, cut to
// bodyLimit bytes when bodyLimit is not 0 and padded with zeros towards the length field
// (at most kMaxCopyPadding bytes of them).
// The target is written under a temporary name and renamed, so it is never half written;
// the source is only read. Returns "" when the copy was written, with resultCode telling
// whether the data decompressed cleanly (a damaged movie still gets its partial copy);
// otherwise the reason nothing was written.
std::string WritePlainMovie(const std::string& sourcePath, const std::string& targetPath, std::size_t bodyLimit,
                            int& resultCode);

// Whether the movie record describes ends early (a truncated or damaged file): its
// top-level tags (from record.HeaderEnd) do not reach their End tag within the data
// there is, the plain file's bytes or what a compressed one decompresses to (in
// memory, nothing written). available receives the length of that data, claimed the
// length the header names. Videos, and movies past 256 MB, are not checked (false).
bool MovieEndsEarly(const MediaRecord& record, std::uint64_t& available, std::uint64_t& claimed);

// Writes the plain copy of the compressed movie record.MoviePath into the cache under
// CachePathFor(record.SourcePath, ".tmp", flatten) and returns its path. Header only: a
// copy already there is reused while it is current (CacheCopyIsCurrent), else the body is cut to 10001 bytes; record.HeaderPath
// becomes the copy. Full: record.SourcePath becomes the compressed file and
// record.MoviePath the copy. Damaged data sets context.LastError ("Movie Corrupted" or
// the code) and still returns the partial copy. "" when nothing could be written
// (context.Error says why).
std::string DecompressFlash(MediaContext& context, MediaRecord& record, bool headerOnly);

}  // namespace vantrel::media
