#include "support/pe_writer.h"

#include <cstdio>

namespace vantrel::testing {

namespace {

void Put16(std::string& out, std::size_t at, std::uint32_t v) {
  out[at] = static_cast<char>(v & 0xFF);
  out[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& out, std::size_t at, std::uint32_t v) {
  Put16(out, at, v & 0xFFFF);
  Put16(out, at + 2, v >> 16);
}
void Append16(std::string& out, std::uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}
void Append32(std::string& out, std::uint32_t v) {
  Append16(out, v & 0xFFFF);
  Append16(out, v >> 16);
}
void Pad4(std::string& out) {
  while (out.size() % 4) out += '\0';
}
std::string Wide(const std::string& text) {
  std::string out;
  for (char c : text) Append16(out, static_cast<unsigned char>(c));
  Append16(out, 0);
  return out;
}

// One version node: header, key, value, children; wLength covers all but trailing padding.
std::string Block(const std::string& key, const std::string& value, std::uint16_t valueLength, std::uint16_t type,
                  const std::vector<std::string>& children) {
  std::string out(6, '\0');
  out += Wide(key);
  Pad4(out);
  out += value;
  for (const std::string& child : children) {
    Pad4(out);
    out += child;
  }
  Put16(out, 0, static_cast<std::uint32_t>(out.size()));
  Put16(out, 2, valueLength);
  Put16(out, 4, type);
  return out;
}

}  // namespace

VersionResourceFields StubVersion(const std::string& originalFileName) {
  VersionResourceFields fields;
  fields.strings = {{"CompanyName", "Fixture Works"},      {"FileDescription", "Projector stub"},
                  {"FileVersion", "9.0.28.0"},           {"InternalName", "stub"},
                  {"LegalCopyright", "Public domain"},   {"OriginalFileName", originalFileName},
                  {"ProductName", "Projector stub"},     {"ProductVersion", "9.0.28.0"}};
  return fields;
}

std::string BuildVersionInfo(const VersionResourceFields& fields) {
  std::vector<std::string> strings;
  for (const auto& [key, value] : fields.strings) {
    const std::string wide = Wide(value);
    strings.push_back(Block(key, wide, static_cast<std::uint16_t>(wide.size() / 2), 1, {}));
  }
  std::string name = fields.tableName;
  if (name.empty()) {
    char digits[9];
    std::snprintf(digits, sizeof digits, "%04X%04X", fields.language, fields.codePage);
    name = digits;
  }
  std::vector<std::string> top = {Block("StringFileInfo", "", 0, 1, {Block(name, "", 0, 1, strings)})};
  if (fields.withTranslation) {
    std::string translation;
    Append16(translation, fields.language);
    Append16(translation, fields.codePage);
    top.push_back(Block("VarFileInfo", "", 0, 1, {Block("Translation", translation, 4, 0, {})}));
  }
  std::string fixed(52, '\0');
  Put32(fixed, 0, 0xFEEF04BD);
  Put32(fixed, 4, 0x00010000);
  return Block("VS_VERSION_INFO", fixed, 52, 0, top);
}

std::string BuildPeImage(const std::string& versionInfo, ResourceShape shape) {
  constexpr std::uint32_t kPe = 0x40, kOptional = kPe + 24, kOptionalSize = 224;
  constexpr std::uint32_t kSectionTable = kOptional + kOptionalSize, kRaw = 0x200, kRva = 0x1000;
  std::string image(kRaw, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  Put32(image, 0x3C, kPe);
  image.replace(kPe, 4, std::string("PE\0\0", 4));
  Put16(image, kPe + 4, 0x14C);   // i386
  Put16(image, kPe + 6, 1);       // one section
  Put16(image, kPe + 20, kOptionalSize);
  Put16(image, kPe + 22, 0x0102);
  Put16(image, kOptional, 0x10B);  // PE32
  Put32(image, kOptional + 92, 16);

  // Resource tree: root -> type 16 -> name 1 -> language -> data entry -> VS_VERSIONINFO.
  std::string rsrc;
  auto directory = [&](std::uint32_t id, std::uint32_t target) {
    std::string d(16, '\0');
    Put16(d, 14, 1);
    Append32(d, id);
    Append32(d, target);
    return d;
  };
  std::uint32_t typeTarget = 0x80000000u | 0x18, nameTarget = 0x80000000u | 0x30;
  if (shape == ResourceShape::LoopingTypes) typeTarget = 0x80000000u;
  if (shape == ResourceShape::LoopingNames) nameTarget = 0x80000000u | 0x18;
  rsrc += directory(16, typeTarget);
  rsrc += directory(1, nameTarget);
  rsrc += directory(0x0409, 0x48);
  std::string entry(16, '\0');
  Put32(entry, 0, shape == ResourceShape::DataOutside ? 0x7FFFFFF0u : kRva + 0x58);
  Put32(entry, 4, static_cast<std::uint32_t>(versionInfo.size()));
  rsrc += entry;
  rsrc.resize(0x58, '\0');
  rsrc += versionInfo;
  while (rsrc.size() % 0x200) rsrc += '\0';

  if (shape != ResourceShape::NoResource) {
    Put32(image, kOptional + 96 + 16, kRva);
    Put32(image, kOptional + 96 + 20, static_cast<std::uint32_t>(rsrc.size()));
  }
  image.replace(kSectionTable, 6, ".rsrc\0", 6);
  Put32(image, kSectionTable + 8, static_cast<std::uint32_t>(rsrc.size()));
  Put32(image, kSectionTable + 12, kRva);
  Put32(image, kSectionTable + 16, static_cast<std::uint32_t>(rsrc.size()));
  Put32(image, kSectionTable + 20, kRaw);
  return image + rsrc;
}

std::string AppendMovie(const std::string& stub, const std::string& movie) {
  std::string out = stub + movie + std::string("\x56\x34\x12\xFA", 4);
  Append32(out, static_cast<std::uint32_t>(movie.size()));
  return out;
}

std::string FakeMovie(std::size_t length, std::uint8_t version, char first) {
  std::string movie(length, '\0');
  for (std::size_t i = 8; i < length; ++i) movie[i] = static_cast<char>((i * 7 + 3) & 0xFF);
  if (length >= 3) {
    movie[0] = first;
    movie[1] = 'W';
    movie[2] = 'S';
  }
  if (length >= 4) movie[3] = static_cast<char>(version);
  if (length >= 8) Put32(movie, 4, static_cast<std::uint32_t>(length));
  return movie;
}

}  // namespace vantrel::testing
