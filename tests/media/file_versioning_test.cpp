#include "media/file_versioning.h"

#include <gtest/gtest.h>

#include <span>
#include <string>

#include "support/pe_writer.h"
#include "support/temp_home.h"

namespace vantrel::media {
namespace {

using testing::BuildPeImage;
using testing::BuildVersionInfo;
using testing::ResourceShape;
using testing::StubVersion;

VersionInfo Read(const std::string& image) {
  return ReadVersionInfo(std::span(reinterpret_cast<const std::uint8_t*>(image.data()), image.size()));
}

TEST(FileVersioning, ReadsTranslationAndAllKeysInOrder) {
  const VersionInfo info = Read(BuildPeImage(BuildVersionInfo(StubVersion("SAFlashPlayer.exe"))));
  ASSERT_TRUE(info.hasResource);
  EXPECT_EQ(info.translation, "040904B0");
  ASSERT_EQ(info.values.size(), kVersionKeys.size());
  for (std::size_t i = 0; i < kVersionKeys.size(); ++i) EXPECT_EQ(info.values[i].first, kVersionKeys[i]);
  EXPECT_EQ(info.Value("OriginalFileName"), "SAFlashPlayer.exe");
  EXPECT_EQ(info.Value("FileVersion"), "9.0.28.0");
  EXPECT_TRUE(info.missingKey.empty());
}

TEST(FileVersioning, TranslationPicksTheTableAndLetterCaseOfNamesIsIgnored) {
  testing::VersionResourceFields fields = StubVersion("SwFlsh32.exe");
  fields.language = 0x0407;
  fields.codePage = 0x04E4;
  fields.tableName = "040704e4";  // lower-case digits still match "040704E4"
  for (auto& [key, value] : fields.strings) key = key == "ProductName" ? "PRODUCTNAME" : key;
  const VersionInfo info = Read(BuildPeImage(BuildVersionInfo(fields)));
  EXPECT_EQ(info.translation, "040704E4");
  EXPECT_EQ(info.values.size(), 8u);
  EXPECT_EQ(info.Value("OriginalFileName"), "SwFlsh32.exe");
}

TEST(FileVersioning, WalkStopsAtFirstMissingKey) {
  testing::VersionResourceFields fields = StubVersion("SAFlashPlayer.exe");
  std::erase_if(fields.strings, [](const auto& kv) { return kv.first == "InternalName"; });
  const VersionInfo info = Read(BuildPeImage(BuildVersionInfo(fields)));
  EXPECT_EQ(info.missingKey, "InternalName");
  EXPECT_EQ(info.values.size(), 3u);
  EXPECT_EQ(info.Value("OriginalFileName"), "");  // present in the file, but never reached

  // A table that does not match the translation has no keys at all.
  fields = StubVersion("SAFlashPlayer.exe");
  fields.tableName = "041104B0";
  EXPECT_EQ(Read(BuildPeImage(BuildVersionInfo(fields))).missingKey, "CompanyName");
}

TEST(FileVersioning, ValuesAreCutAtTheirFirstNul) {
  testing::VersionResourceFields fields = StubVersion(std::string("SAFlashPlayer.exe\0junk", 22));
  EXPECT_EQ(Read(BuildPeImage(BuildVersionInfo(fields))).Value("OriginalFileName"), "SAFlashPlayer.exe");
}

TEST(FileVersioning, BrokenImagesGiveNoResourceAndNeverHang) {
  const std::string version = BuildVersionInfo(StubVersion("SAFlashPlayer.exe"));
  EXPECT_FALSE(Read(BuildPeImage(version, ResourceShape::NoResource)).hasResource);
  EXPECT_FALSE(Read(BuildPeImage(version, ResourceShape::LoopingTypes)).hasResource);
  EXPECT_FALSE(Read(BuildPeImage(version, ResourceShape::LoopingNames)).hasResource);
  EXPECT_FALSE(Read(BuildPeImage(version, ResourceShape::DataOutside)).hasResource);
  EXPECT_FALSE(Read("").hasResource);
  EXPECT_FALSE(Read("MZ").hasResource);
  EXPECT_FALSE(Read("This is plain text, not an executable at all. " + std::string(200, 'x')).hasResource);

  // Every truncation of a good image reads without touching bytes past its end (the
  // sanitizer build checks that) and never reports more than the whole image has.
  const std::string image = BuildPeImage(version);
  for (std::size_t cut = 0; cut < image.size(); cut += 7) {
    const VersionInfo info = Read(image.substr(0, cut));
    EXPECT_LE(info.values.size(), 8u);
  }
}

TEST(FileVersioning, ReadsFromFileAndReportsFileVersionAndOriginalName) {
  const testing::TempHome home;
  const std::string path =
      home.WriteFile("stub.exe", BuildPeImage(BuildVersionInfo(StubVersion("SAFlashPlayer.exe"))) + std::string(5000, 'm'));
  std::string original;
  EXPECT_EQ(FileVersioning(path, original), "9.0.28.0");
  EXPECT_EQ(original, "SAFlashPlayer.exe");
  EXPECT_EQ(FileVersioning(home.Path() + "missing.exe", original), "");
  EXPECT_EQ(original, "");
  EXPECT_EQ(FileVersioning(home.Path(), original), "");  // a folder
}

}  // namespace
}  // namespace vantrel::media
