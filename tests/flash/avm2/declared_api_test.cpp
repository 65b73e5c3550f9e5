// The player's declared API: the classes and members the machine makes from the
// generated table against the reference's describeType listings (when the corpus is
// there), what a member without behaviour does, and the standalone player's answers.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <sstream>

#include <gtest/gtest.h>

#include "flash/avm2/api/declared_api.h"
#include "flash/avm2/machine.h"
#include "support/temp_home.h"

namespace vantrel::flash::avm2 {
namespace {

namespace fs = std::filesystem;

class DeclaredApi : public ::testing::Test {
 protected:
  gc::Heap heap;
  Machine m{heap};

  Value Class(const std::string& name) {
    ClassObject* c = m.FindClass(name);
    EXPECT_NE(c, nullptr) << name;
    return c ? Value::Obj(c) : Value();
  }
  std::string Str(const Value& v) { return m.ToString(v); }
  // The error a call throws: its class and text ("" when it throws none).
  std::pair<std::string, std::string> ErrorOf(const std::function<void()>& fn) {
    try {
      fn();
    } catch (const Thrown& thrown) {
      return {m.QualifiedClassName(thrown.value), m.ToString(thrown.value)};
    }
    return {};
  }
  const Binding* Find(Traits& traits, const std::string& name) {
    const auto it = traits.bindings.find(m.Intern(name));
    if (it == traits.bindings.end()) return nullptr;
    for (const Binding& b : it->second)
      if (b.ns == m.PublicNs()) return &b;
    return nullptr;
  }
};

TEST_F(DeclaredApi, MembersWithoutBehaviourThrowIllegalOperationErrorNamingThemselves) {
  // A class only the table knows, its static method; a native class's missing method;
  // a native accessor's missing half.
  EXPECT_EQ(ErrorOf([&] { m.CallPublic(Class("flash.accessibility::Accessibility"), "updateProperties"); }),
            std::make_pair(std::string("flash.errors::IllegalOperationError"),
                           std::string("Error: Error #2014: flash.accessibility::Accessibility$/updateProperties() is not "
                                       "implemented.")));
  const Value shape = Value::Obj(m.ConstructClass(m.FindClass("flash.display::Shape"), nullptr, 0));
  EXPECT_EQ(ErrorOf([&] { m.SetPublic(shape, "blendShader", Value::Null()); }).second,
            "Error: Error #2014: flash.display::DisplayObject/set blendShader() is not implemented.");
  const Value dispatcher = Value::Obj(m.ConstructClass(m.FindClass("flash.events::EventDispatcher"), nullptr, 0));
  EXPECT_EQ(ErrorOf([&] { m.GetPublic(dispatcher, "toString"); }).first, "") << "toString is Object's";
  // Inherited by a native subclass made before its base gained the member.
  ClassObject* movieClip = m.FindClass("flash.display::MovieClip");
  ASSERT_NE(movieClip, nullptr);
  const Binding* tabIndex = Find(*movieClip->instanceTraits, "tabIndex");
  ASSERT_NE(tabIndex, nullptr);
  EXPECT_EQ(tabIndex->kind, Binding::Kind::Accessor);
  // Classes the table makes construct as their bases do, and implement their interfaces.
  ClassObject* activity = m.FindClass("flash.events::ActivityEvent");
  ASSERT_NE(activity, nullptr);
  Value args[3] = {m.StrValue("activity"), Value::Bool(true), Value::Bool(false)};
  const Value event = Value::Obj(m.ConstructClass(activity, args, 3));
  EXPECT_EQ(Str(m.GetPublic(event, "type")), "activity");
  EXPECT_TRUE(m.ToBoolean(m.GetPublic(event, "bubbles")));
  EXPECT_TRUE(m.IsInstance(Value::Obj(m.ConstructClass(m.FindClass("flash.display::BitmapData"),
                                                       std::array<Value, 2>{Value::Number(1), Value::Number(1)}.data(), 2)),
                           m.FindClass("flash.display::IBitmapDrawable")));
}

TEST_F(DeclaredApi, ConstantsHaveTheirDocumentedValues) {
  const std::pair<const char*, const char*> strings[] = {
      {"flash.display::StageAlign.TOP_LEFT", "TL"},       {"flash.display::StageQuality.HIGH_8X8", "8x8"},
      {"flash.display::StageScaleMode.NO_SCALE", "noScale"}, {"flash.display::InterpolationMethod.LINEAR_RGB", "linearRGB"},
      {"flash.events::Event.CONTEXT3D_CREATE", "context3DCreate"}, {"flash.events::Event.FULLSCREEN", "fullScreen"},
      {"flash.display3D::Context3DTextureFormat.BGR_PACKED", "bgrPacked565"},
      {"flash.system::Security.LOCAL_TRUSTED", "localTrusted"},    {"flash.events::MouseEvent.RIGHT_CLICK", "rightClick"},
  };
  for (const auto& [name, value] : strings) {
    const std::string text = name;
    const std::size_t dot = text.rfind('.');
    const Value v = m.GetPublic(Class(text.substr(0, dot)), text.substr(dot + 1));
    EXPECT_TRUE(v.IsString()) << name;
    EXPECT_EQ(Str(v), value) << name;
  }
  EXPECT_EQ(m.ToNumber(m.GetPublic(Class("flash.display::BitmapDataChannel"), "ALPHA")), 8);
  EXPECT_EQ(m.ToNumber(m.GetPublic(Class("flash.events::EventPhase"), "BUBBLING_PHASE")), 3);
  EXPECT_EQ(m.ToNumber(m.GetPublic(Class("flash.display::GraphicsPathCommand"), "CUBIC_CURVE_TO")), 6);
  EXPECT_EQ(m.ToNumber(m.GetPublic(Class("flash.xml::XMLNodeType"), "ELEMENT_NODE")), 1);
  EXPECT_EQ(m.ToNumber(m.GetPublic(Class("flash.ui::Keyboard"), "ENTER")), 13);
  EXPECT_EQ(m.ToNumber(m.GetPublic(Class("flash.ui::Keyboard"), "NUMPAD_7")), 103);
  EXPECT_EQ(m.ToNumber(m.GetPublic(Class("flash.ui::Keyboard"), "F12")), 123);
}

TEST_F(DeclaredApi, TheStandalonePlayerHasNoBrowserCameraOrMicrophone) {
  const Value external = Class("flash.external::ExternalInterface");
  EXPECT_FALSE(m.ToBoolean(m.GetPublic(external, "available")));
  EXPECT_TRUE(m.GetPublic(external, "objectID").IsNull());
  const std::string unavailable =
      "Error: Error #2067: The ExternalInterface is not available in this container. ExternalInterface requires "
      "Internet Explorer ActiveX, Firefox, Mozilla 1.7.5 and greater, or other browsers that support NPRuntime.";
  EXPECT_EQ(ErrorOf([&] { m.CallPublic(external, "call", {m.StrValue("f")}); }), std::make_pair(std::string("Error"), unavailable));
  EXPECT_EQ(ErrorOf([&] { m.CallPublic(external, "addCallback", {m.StrValue("f"), Value::Null()}); }).second, unavailable);
  m.SetPublic(external, "marshallExceptions", Value::Bool(true));
  EXPECT_TRUE(m.ToBoolean(m.GetPublic(external, "marshallExceptions")));

  const Value security = Class("flash.system::Security");
  EXPECT_EQ(ErrorOf([&] { m.CallPublic(security, "allowDomain", {m.StrValue("*")}); }).first, "");
  EXPECT_EQ(ErrorOf([&] { m.CallPublic(security, "loadPolicyFile", {m.StrValue("x.xml")}); }).first, "");
  EXPECT_EQ(Str(m.GetPublic(security, "sandboxType")), "localWithFile");

  const Value capabilities = Class("flash.system::Capabilities");
  EXPECT_EQ(Str(m.GetPublic(capabilities, "playerType")), "StandAlone");
  EXPECT_EQ(Str(m.GetPublic(capabilities, "os")), "Linux");
  EXPECT_EQ(Str(m.GetPublic(capabilities, "version")).substr(0, 4), "LNX ");
  EXPECT_EQ(m.ToNumber(m.GetPublic(capabilities, "screenResolutionX")), 1536);

  EXPECT_TRUE(m.CallPublic(Class("flash.media::Camera"), "getCamera").IsNull());
  EXPECT_TRUE(m.CallPublic(Class("flash.media::Microphone"), "getMicrophone").IsNull());
  EXPECT_EQ(m.ToNumber(m.GetPublic(m.GetPublic(Class("flash.media::Camera"), "names"), "length")), 0);
}

// One member of a listing: where it is (static or not), what it is and its declarer.
struct ListedMember {
  bool isStatic;
  std::string tag, name, access, type, declaredBy;
};

// The classes of a describeType listing with their members.
std::map<std::string, std::vector<ListedMember>> ReadListing(const fs::path& file) {
  std::ifstream in(file);
  std::map<std::string, std::vector<ListedMember>> classes;
  std::string line, current;
  bool inFactory = false;
  static const std::regex kType(R"re(^<type name="([^"]+)")re");
  static const std::regex kMember(R"re(^\s*<(method|accessor|constant|variable) name="([^"]+)"(.*?)/?>$)re");
  static const std::regex kAttribute(R"re((\w+)="([^"]*)")re");
  std::smatch match;
  while (std::getline(in, line)) {
    if (std::regex_search(line, match, kType)) {
      current = match[1];
      inFactory = false;
      classes[current];
    } else if (line.find("<factory") != std::string::npos) {
      inFactory = line.find("/>") == std::string::npos;
    } else if (line.find("</factory>") != std::string::npos) {
      inFactory = false;
    } else if (!current.empty() && std::regex_search(line, match, kMember)) {
      ListedMember member{!inFactory, match[1], match[2], "", "", ""};
      const std::string rest = match[3];
      for (std::sregex_iterator it(rest.begin(), rest.end(), kAttribute), end; it != end; ++it) {
        const std::string key = (*it)[1], value = (*it)[2];
        if (key == "access") member.access = value;
        if (key == "type" || key == "returnType") member.type = value;
        if (key == "declaredBy") member.declaredBy = value;
      }
      if (member.declaredBy == "Class") continue;
      classes[current].push_back(member);
    }
  }
  return classes;
}

// Every class and member of every listing is there, of its kind, declared by the class
// the listing names and typed as it says; prints declared/total per listing.
TEST_F(DeclaredApi, MatchesTheReferenceListings) {
  const std::string corpus = testing::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "the corpus (../shared/corpus) is not there";
  const fs::path root = fs::path(corpus) / "avm2" / "all_classes";
  if (!fs::exists(root)) GTEST_SKIP() << "no listings in the corpus";
  std::vector<fs::path> listings;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (entry.path().filename() == "output.txt") listings.push_back(entry.path());
  std::sort(listings.begin(), listings.end());
  ASSERT_FALSE(listings.empty());
  for (const fs::path& file : listings) {
    int total = 0, declared = 0;
    std::vector<std::string> wrong;
    for (const auto& [name, members] : ReadListing(file)) {
      ClassObject* cls = m.FindClass(name);
      ++total;
      if (!cls) {
        wrong.push_back(name + " is missing");
        continue;
      }
      ++declared;
      for (const ListedMember& member : members) {
        ++total;
        Traits& traits = member.isStatic ? *cls->staticTraits : *cls->instanceTraits;
        const Binding* b = Find(traits, member.name);
        const std::string what = name + (member.isStatic ? "$" : "") + "/" + member.name;
        // Natives may keep methods on the prototype.
        if (!b && member.tag == "method" && !member.isStatic && cls->prototype->FindOwn(member.name)) {
          ++declared;
          continue;
        }
        if (!b) {
          wrong.push_back(what + " is missing");
          continue;
        }
        bool kindOk = false;
        const MethodInfo* declarer = nullptr;
        if (member.tag == "method") {
          kindOk = b->kind == Binding::Kind::Method;
          declarer = b->method;
        } else if (member.tag == "accessor") {
          // Accessors whose only behaviour is to keep a value are variables.
          kindOk = b->kind == Binding::Kind::Slot ||
                   (b->kind == Binding::Kind::Accessor && (b->getter != nullptr) == (member.access != "writeonly") &&
                    (b->setter != nullptr) == (member.access != "readonly"));
          declarer = b->getter ? b->getter : b->setter;
        } else {
          // A native may keep a variable behind a getter and setter pair.
          kindOk = b->kind == Binding::Kind::Const || b->kind == Binding::Kind::Slot ||
                   (member.tag == "variable" && b->kind == Binding::Kind::Accessor && b->getter && b->setter);
        }
        if (!kindOk) {
          wrong.push_back(what + " is not a " + member.tag + (member.access.empty() ? "" : " " + member.access));
          continue;
        }
        if (declarer && declarer->declaringClass && !member.declaredBy.empty() &&
            declarer->declaringClass->QualifiedName() != member.declaredBy) {
          wrong.push_back(what + " is declared by " + declarer->declaringClass->QualifiedName() + ", not " +
                          member.declaredBy);
          continue;
        }
        // The table keeps the type the listing gives.
        const std::string owner = member.declaredBy.empty() ? name : member.declaredBy;
        if (const DeclaredClass* d = FindDeclaredClass(owner)) {
          bool typed = member.tag != "method" && member.tag != "accessor" && !member.declaredBy.empty();
          for (std::uint32_t i = d->firstMember; i < d->firstMember + d->memberCount; ++i) {
            const DeclaredMember& dm = DeclaredMembers()[i];
            if (dm.name == member.name && dm.isStatic == member.isStatic && dm.type == member.type) typed = true;
          }
          if (!typed && (member.tag == "method" || member.tag == "accessor")) {
            wrong.push_back(what + " is not typed " + member.type + " in the table");
            continue;
          }
        }
        ++declared;
      }
    }
    const std::string listing = fs::relative(file, root).parent_path().generic_string();
    std::cout << "[ listing  ] " << listing << ": " << declared << "/" << total << " declared\n";
    for (std::size_t i = 0; i < wrong.size() && i < 10; ++i) std::cout << "    " << wrong[i] << "\n";
    EXPECT_EQ(declared, total) << listing;
  }
}

TEST_F(DeclaredApi, FontIsThereAndANewFontStandsForNone) {
  // Embedded fonts' classes extend Font: it must exist for their movies to run.
  const Value font = Class("flash.text::Font");
  const Value made = Value::Obj(m.ConstructClass(static_cast<ClassObject*>(font.object), nullptr, 0));
  EXPECT_TRUE(m.GetPublic(made, "fontName").IsNull());
  EXPECT_TRUE(m.GetPublic(made, "fontType").IsNull());
  EXPECT_FALSE(m.ToBoolean(m.CallPublic(made, "hasGlyphs", {m.StrValue("a")})));
  EXPECT_EQ(Str(m.GetPublic(m.CallPublic(font, "enumerateFonts", {Value::Bool(false)}), "length")), "0");
  EXPECT_EQ(ErrorOf([&] { m.CallPublic(font, "registerFont", {m.StrValue("x")}); }).first, "ArgumentError");
}

}  // namespace
}  // namespace vantrel::flash::avm2

