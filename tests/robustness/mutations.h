// Deterministic hostile variants of movies, videos, projectors and pictures for the
// robustness sweep: truncations, bit flips, damaged header fields and tag lengths, and
// compressed movies whose damaged body is compressed again so the damage gets past the
// decompressor. The same file and seed always give the same variants.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel::robustness {

enum class FileKind { Movie, Video, Projector, Picture };

struct Mutant {
  std::string kind;   // "truncate", "bitflip", "header", "taglength", "recompress"
  std::string bytes;
};

// A small deterministic generator (SplitMix64).
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next();
  // A number from 0 to bound - 1 (0 when bound is 0).
  std::uint64_t Below(std::uint64_t bound) { return bound ? Next() % bound : 0; }

 private:
  std::uint64_t state_;
};

// count variants of original, cycling through the mutation kinds that fit its kind.
std::vector<Mutant> Mutate(const std::string& original, FileKind kind, std::uint64_t seed, int count);

// The plain movie of a "FWS", "CWS" or "ZWS" file (header included, "FWS" in front), or
// "" when it cannot be decompressed completely.
std::string PlainMovie(const std::string& movie);

// Files made to attack one limit each, by name: a compressed movie that declares 4 GiB,
// a 65535-pixel frame, a decompression bomb, a video and a projector whose lengths point
// far past their end, and others.
std::vector<std::pair<std::string, std::string>> HostileFiles();

// Small well-formed files, by name, as starting points for the fuzz targets: movies
// (plain, zlib, LZMA) with images, sounds and metadata, videos with metadata, and
// projectors with a version resource.
std::vector<std::pair<std::string, std::string>> SeedFiles();

}  // namespace vantrel::robustness
