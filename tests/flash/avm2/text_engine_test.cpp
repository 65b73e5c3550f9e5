// flash.text.engine's descriptions of text: defaults, the words a property accepts, the
// order in which a constructor checks its arguments, and clone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "flash/avm2/machine.h"
#include "script_error.h"

namespace vantrel::flash::avm2 {
namespace {

class TextEngine : public ::testing::Test {
 protected:
  gc::Heap heap;
  Machine m{heap};
  Value Make(const std::string& name, std::vector<Value> args = {}) {
    return Value::Obj(m.ConstructClass(m.FindClass("flash.text.engine." + name), args.data(), static_cast<int>(args.size())));
  }
  std::string Get(const Value& v, const std::string& name) { return m.ToString(m.GetPublic(v, name)); }
};

TEST_F(TextEngine, DescriptionsStartWithTheDocumentedDefaults) {
  const Value fd = Make("FontDescription");
  EXPECT_EQ(Get(fd, "fontName"), "_serif");
  EXPECT_EQ(Get(fd, "renderingMode"), "cff");
  EXPECT_EQ(Get(fd, "cffHinting"), "horizontalStem");
  const Value ef = Make("ElementFormat");
  EXPECT_EQ(Get(ef, "fontSize"), "12");
  EXPECT_EQ(Get(ef, "alignmentBaseline"), "useDominantBaseline");
  EXPECT_EQ(Get(ef, "ligatureLevel"), "common");
  EXPECT_EQ(Get(Make("EastAsianJustifier"), "locale"), "ja");
  EXPECT_EQ(Get(Make("SpaceJustifier", {m.StrValue("fr")}), "locale"), "fr");
  EXPECT_EQ(Get(Value::Obj(m.FindClass("flash.text.engine.TextBaseline")), "IDEOGRAPHIC_TOP"), "ideographicTop");
}

// A word property takes only its words (null is none of them); the constructor sets its
// properties first to last, so the first bad argument (kerning, before typographicCase)
// is the one named.
TEST_F(TextEngine, WordPropertiesRefuseOtherWordsInParameterOrder) {
  const Value fd = Make("FontDescription");
  m.SetPublic(fd, "fontWeight", m.StrValue("bold"));
  EXPECT_EQ(Get(fd, "fontWeight"), "bold");
  EXPECT_EQ(ScriptErrorOf(m, [&] { m.SetPublic(fd, "fontWeight", m.StrValue("heavy")); }),
            "ArgumentError: Error #2008: Parameter fontWeight must be one of the accepted values.");
  EXPECT_NE(ScriptErrorOf(m, [&] { m.SetPublic(fd, "fontPosture", Value::Null()); }), "");
  std::vector<Value> args = {Value::Null(), Value::Number(12), Value::Number(0), Value::Number(1)};
  for (const char* word : {"auto", "roman", "useDominantBaseline", "0", "bad", "0", "0", "en", "auto", "default",
                           "default", "common", "bad"})
    args.push_back(m.StrValue(word));
  const std::string error = ScriptErrorOf(m, [&] { Make("ElementFormat", args); });
  EXPECT_NE(error.find("Parameter kerning"), std::string::npos) << error;
}

TEST_F(TextEngine, CloneCopiesTheValuesUnlocked) {
  const Value fd = Make("FontDescription", {m.StrValue("Arial"), m.StrValue("bold")});
  m.SetPublic(fd, "locked", Value::Bool(true));
  const Value copy = m.CallPublic(fd, "clone");
  EXPECT_EQ(Get(copy, "fontName"), "Arial");
  EXPECT_EQ(Get(copy, "fontWeight"), "bold");
  EXPECT_EQ(Get(copy, "locked"), "false");
  const Value sj = Make("SpaceJustifier");
  m.SetPublic(sj, "maximumSpacing", Value::Number(2));
  const Value sjCopy = m.CallPublic(sj, "clone");
  EXPECT_EQ(Get(sjCopy, "maximumSpacing"), "2");
  EXPECT_TRUE(m.IsInstance(sjCopy, m.FindClass("flash.text.engine.TextJustifier")));
  EXPECT_NE(ScriptErrorOf(m, [&] { Make("TextJustifier", {m.StrValue("en"), m.StrValue("unjustified")}); }), "");
}

}  // namespace
}  // namespace vantrel::flash::avm2
