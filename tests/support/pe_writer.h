// Builds small Windows PE images with a version resource, and projectors around them,
// for the projector and version-reader tests.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vantrel::testing {

struct VersionResourceFields {
  std::uint16_t language = 0x0409;
  std::uint16_t codePage = 0x04B0;
  bool withTranslation = true;
  // The string table's name; "" means the eight digits of language and code page.
  std::string tableName;
  // Key/value pairs in the order written (ASCII).
  std::vector<std::pair<std::string, std::string>> strings;
};

// The eight keys with the values of a generic projector stub, OriginalFileName given.
VersionResourceFields StubVersion(const std::string& originalFileName);

// The VS_VERSIONINFO block.
std::string BuildVersionInfo(const VersionResourceFields& fields);

enum class ResourceShape {
  Normal,
  NoResource,     // no resource directory at all
  LoopingTypes,   // the RT_VERSION entry points back at the root directory
  LoopingNames,   // the name directory's entry points at itself
  DataOutside,    // the data entry points past the end of the file
};

// A PE32 image with one ".rsrc" section holding versionInfo as resource 16/1/language.
std::string BuildPeImage(const std::string& versionInfo, ResourceShape shape = ResourceShape::Normal);

// stub + movie + 56 34 12 FA + the movie length (32-bit little-endian).
std::string AppendMovie(const std::string& stub, const std::string& movie);

// A small plain movie of the given length ("FWS", version, length field = length).
std::string FakeMovie(std::size_t length, std::uint8_t version = 10, char first = 'F');

}  // namespace vantrel::testing
