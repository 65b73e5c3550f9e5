#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "core/options.h"
#include "core/text.h"
#include "support/temp_home.h"

namespace vantrel::core {
namespace {

TEST(OptionsStore, MissingFileGivesEveryDefault) {
  testing::TempHome home;
  OptionsStore store(OptionsStore::DefaultFilePath());
  EXPECT_EQ(store.FilePath(), home.Path() + ".config/Vantrel/options.conf");
  EXPECT_EQ(store.ReadTextOption("View", "Quality"), "High");
  EXPECT_EQ(store.ReadNumberOption("View", "ScaleMode"), 2);
  EXPECT_TRUE(store.ReadBoolOption("System", "OneInstance"));
  EXPECT_FALSE(store.ReadBoolOption("System", "RemoveProjectors"));
  EXPECT_EQ(store.ReadNumberOption("Generator", "Width"), 120);
  EXPECT_EQ(store.ReadTextOption("Recent", "MyFlash"), home.Path() + "Documents/My Flash/");
  EXPECT_EQ(store.ReadTextOption("Decompiler", "Destination"), home.Path() + "Documents/My Flash/");
  EXPECT_FALSE(std::filesystem::exists(store.FilePath())) << "reading never creates the file";
}

TEST(OptionsStore, ReadsAcceptEitherStoredType) {
  testing::TempHome home;
  OptionsStore store(home.Path() + "opts.conf");
  ASSERT_TRUE(store.WriteNumber("Playback", "NonStop", 1));
  ASSERT_TRUE(store.WriteText("Sound", "Volume", "75"));
  ASSERT_TRUE(store.WriteText("View", "Playlist", "False"));
  ASSERT_TRUE(store.WriteText("Sound", "Pan", "left"));
  ASSERT_TRUE(store.WriteNumber("Window", "hWnd", 12345));
  EXPECT_TRUE(store.ReadBool("Playback", "NonStop", false));
  EXPECT_EQ(store.ReadNumber("Sound", "Volume", 100), 75);
  EXPECT_FALSE(store.ReadBool("View", "Playlist", true));
  EXPECT_EQ(store.ReadNumber("Sound", "Pan", 0), 0) << "an unconvertible text gives the default";
  EXPECT_EQ(store.ReadText("Window", "hWnd", "0"), "12345");
  EXPECT_EQ(store.ReadText("window", "HWND", "0"), "12345") << "names ignore letter case";
  EXPECT_EQ(store.ReadText("Window", "Missing", "dflt"), "dflt");
}

TEST(OptionsStore, ValuesSurviveARoundTripThroughTheFile) {
  testing::TempHome home;
  const std::string path = home.Path() + "opts.conf";
  {
    OptionsStore store(path);
    store.WriteText("Favorites", "My \"odd\" = key\\", "line\nbreak\ttab");
    store.WriteText("Recent", "", "/home/x/My Flash/");
    store.WriteNumber("Update", "Usage", -7);
  }
  OptionsStore again(path);
  EXPECT_EQ(again.ReadText("Favorites", "My \"odd\" = key\\", ""), "line\nbreak\ttab");
  EXPECT_EQ(again.ReadText("Recent", "", ""), "/home/x/My Flash/");
  EXPECT_EQ(again.ReadNumber("Update", "Usage", 0), -7);
  EXPECT_EQ(again.SectionValues("Favorites").size(), 1u);
  ASSERT_TRUE(again.DeleteKey("Favorites", "my \"odd\" = KEY\\"));
  EXPECT_TRUE(again.SectionValues("Favorites").empty());
}

TEST(OptionsStore, ChangesByAnotherInstanceAreSeen) {
  testing::TempHome home;
  const std::string path = home.Path() + "opts.conf";
  OptionsStore first(path);
  OptionsStore second(path);
  first.WriteText("Window", "hWnd", "42");
  EXPECT_EQ(second.ReadText("Window", "hWnd", "0"), "42");
  second.WriteText("Window", "hWnd", "0");
  EXPECT_EQ(first.ReadText("Window", "hWnd", "x"), "0");
}

TEST(OptionsStore, CorruptFilesGiveDefaultsForWhatIsBroken) {
  testing::TempHome home;
  const std::string path = home.WriteFile("opts.conf",
                                          "[View]\n\"Quality\"=\"Low\"\n"
                                          "garbage line\n\"ScaleMode\"=dword:zz\n"
                                          "[Sound\n\"Volume\"=dword:5\n"
                                          "[System]\n\"CacheMode\"=dword:3\n\"Tips\"=\"unterminated\n");
  OptionsStore store(path);
  EXPECT_EQ(store.ReadTextOption("View", "Quality"), "Low");
  EXPECT_EQ(store.ReadNumberOption("View", "ScaleMode"), 2);
  EXPECT_EQ(store.ReadNumberOption("System", "CacheMode"), 3);
  EXPECT_TRUE(store.ReadBoolOption("System", "Tips"));
  EXPECT_EQ(store.ReadNumberOption("Sound", "Volume"), 100) << "a value under a broken section header is dropped";

  const std::string binary = home.WriteFile("bin.conf", std::string("\0\xff[\x01]\n\"\\", 8));
  OptionsStore garbage(binary);
  EXPECT_EQ(garbage.ReadTextOption("View", "Quality"), "High");
  EXPECT_TRUE(garbage.WriteText("View", "Quality", "Medium")) << "a corrupt file is replaced on write";
  EXPECT_EQ(OptionsStore(binary).ReadTextOption("View", "Quality"), "Medium");
}

// A number written with decimals (by hand, or by another program) reads rounded half
// away from zero, as a numeric conversion rounds: on both sides of zero.
TEST(OptionsStore, DecimalNumbersRoundHalfAwayFromZero) {
  testing::TempHome home;
  const std::string path = home.WriteFile("decimals.conf",
                                          "[Sound]\n\"Volume\"=dword:12.6\n\"Balance\"=dword:-12.6\n"
                                          "\"Low\"=dword:-12.4\n\"Half\"=dword:-2.5\n\"Up\"=dword:2.5\n");
  OptionsStore store(path);
  EXPECT_EQ(store.ReadNumber("Sound", "Volume", 0), 13);
  EXPECT_EQ(store.ReadNumber("Sound", "Balance", 0), -13);
  EXPECT_EQ(store.ReadNumber("Sound", "Low", 0), -12);
  EXPECT_EQ(store.ReadNumber("Sound", "Half", 0), -3);
  EXPECT_EQ(store.ReadNumber("Sound", "Up", 0), 3);
}

TEST(OptionTable, EveryEntryIsUniqueAndTyped) {
  std::set<std::string> seen;
  for (const OptionDef& option : OptionTable()) {
    const std::string name = UpperAscii(option.section) + "/" + UpperAscii(option.key);
    EXPECT_TRUE(seen.insert(name).second) << "duplicate " << name;
    if (option.kind == OptionKind::Bool && option.rule == DefaultRule::Fixed) {
      EXPECT_TRUE(option.defaultText == "True" || option.defaultText == "False") << name;
    }
  }
  ASSERT_NE(FindOption("system", "genericprojectors"), nullptr);
  EXPECT_EQ(FindOption("System", "GenericProjectors")->defaultText, "True");
  EXPECT_EQ(FindOption("Nope", "Quality"), nullptr);
}

}  // namespace
}  // namespace vantrel::core
