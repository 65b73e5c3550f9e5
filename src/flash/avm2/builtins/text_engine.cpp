// flash.text.engine's descriptions of text: FontDescription, ElementFormat and the
// justifiers (TextJustifier, SpaceJustifier, EastAsianJustifier), with the classes of
// named values their properties take. A property that takes one of a list of words
// refuses any other with ArgumentError #2008; the constructors set their properties
// through the setters in the order of their parameters.
#include <cmath>
#include <initializer_list>

#include "flash/avm2/builtins/record_object.h"
#include "flash/avm2/builtins/support.h"

namespace vantrel::flash::avm2 {

namespace {

// A property: its name, its type ('w' one of words, 's' any String, 'n' Number,
// 'b' Boolean, 'o' an object or null), its default and whether scripts may set it.
struct Field {
  const char* name;
  char type;
  double number = 0;
  const char* text = nullptr;
  std::initializer_list<const char*> words = {};
  bool writable = true;
};

const std::initializer_list<const char*> kBaselines = {"roman", "ascent", "descent", "ideographicTop", "ideographicCenter",
                                                       "ideographicBottom"};
const std::initializer_list<const char*> kAlignmentBaselines = {"roman", "ascent", "descent", "ideographicTop",
                                                                "ideographicCenter", "ideographicBottom",
                                                                "useDominantBaseline"};
const std::initializer_list<const char*> kLineJustifications = {"unjustified", "allButLast", "allIncludingLast",
                                                                "allButMandatoryBreak"};

const Field kFontDescriptionFields[] = {
    {"fontName", 's', 0, "_serif"},
    {"fontWeight", 'w', 0, "normal", {"normal", "bold"}},
    {"fontPosture", 'w', 0, "normal", {"normal", "italic"}},
    {"fontLookup", 'w', 0, "device", {"device", "embeddedCFF"}},
    {"renderingMode", 'w', 0, "cff", {"normal", "cff"}},
    {"cffHinting", 'w', 0, "horizontalStem", {"none", "horizontalStem"}},
    {"locked", 'b'},
};
const Field kElementFormatFields[] = {
    {"fontDescription", 'o'},
    {"fontSize", 'n', 12},
    {"color", 'u', 0},
    {"alpha", 'n', 1},
    {"textRotation", 'w', 0, "auto", {"rotate0", "rotate90", "rotate180", "rotate270", "auto"}},
    {"dominantBaseline", 'w', 0, "roman", kBaselines},
    {"alignmentBaseline", 'w', 0, "useDominantBaseline", kAlignmentBaselines},
    {"baselineShift", 'n', 0},
    {"kerning", 'w', 0, "on", {"on", "off", "auto"}},
    {"trackingRight", 'n', 0},
    {"trackingLeft", 'n', 0},
    {"locale", 's', 0, "en"},
    {"breakOpportunity", 'w', 0, "auto", {"auto", "all", "any", "none"}},
    {"digitCase", 'w', 0, "default", {"default", "lining", "oldStyle"}},
    {"digitWidth", 'w', 0, "default", {"default", "proportional", "tabular"}},
    {"ligatureLevel", 'w', 0, "common", {"none", "minimum", "common", "uncommon", "exotic"}},
    {"typographicCase", 'w', 0, "default",
     {"default", "title", "caps", "smallCaps", "uppercase", "lowercase", "capsAndSmallCaps"}},
    {"locked", 'b'},
};
// The justifiers start with TextJustifier's two properties; its locale is set only by
// the constructor.
const Field kTextJustifierFields[] = {
    {"locale", 's', 0, "en", {}, false},
    {"lineJustification", 'w', 0, "unjustified", kLineJustifications},
};
const Field kSpaceJustifierFields[] = {
    {"locale", 's', 0, "en", {}, false},
    {"lineJustification", 'w', 0, "unjustified", kLineJustifications},
    {"letterSpacing", 'b'},
    {"minimumSpacing", 'n', 0.5},
    {"optimumSpacing", 'n', 1},
    {"maximumSpacing", 'n', 1.5},
};
const Field kEastAsianJustifierFields[] = {
    {"locale", 's', 0, "ja", {}, false},
    {"lineJustification", 'w', 0, "allButLast", kLineJustifications},
    {"justificationStyle", 'w', 0, "pushInKinsoku", {"prioritizeLeastAdjustment", "pushInKinsoku", "pushOutOnly"}},
    {"composeTrailingIdeographicSpaces", 'b'},
};

struct EngineClass {
  const char* name;
  const char* base;  // "" for Object
  int constructorArgs;  // the fields the constructor takes, in order from the first
  std::span<const Field> fields;
  int ownFrom;  // the first field this class declares (the ones before are its base's)
};

enum Kind { kFontDescription, kElementFormat, kTextJustifier, kSpaceJustifier, kEastAsianJustifier };

const EngineClass kClasses[] = {
    {"FontDescription", "", 6, kFontDescriptionFields, 0},
    {"ElementFormat", "", 17, kElementFormatFields, 0},
    {"TextJustifier", "", 2, kTextJustifierFields, 0},
    {"SpaceJustifier", "flash.text.engine.TextJustifier", 3, kSpaceJustifierFields, 2},
    {"EastAsianJustifier", "flash.text.engine.TextJustifier", 3, kEastAsianJustifierFields, 2},
};

Value Default(Machine& m, const Field& f) {
  switch (f.type) {
    case 'w':
    case 's': return m.StrValue(f.text);
    case 'b': return Value::Bool(f.number != 0);
    case 'n':
    case 'u': return Value::Number(f.number);
    default: return Value::Null();
  }
}

template <int K>
Object* Allocate(Machine& m, ClassObject*) {
  auto* o = m.heap.Make<RecordObject>(ObjectKind::Other, nullptr, nullptr);
  for (const Field& f : kClasses[K].fields) o->fields.push_back(Default(m, f));
  return o;
}

// The receiver as an object of class kind (or of a class made from it).
RecordObject& Self(Machine& m, const Value& self, int kind) {
  auto* o = self.IsObject() ? dynamic_cast<RecordObject*>(self.object) : nullptr;
  if (!o || !m.IsInstance(self, m.FindClass(std::string("flash.text.engine.") + kClasses[kind].name)))
    m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(self) + " to flash.text.engine." +
                               kClasses[kind].name + ".");
  return *o;
}

// The tags of the accessors: the class's kind times 32 plus the field's index.
Value GetField(Machine& m, const Value& self, const Value*, int) {
  const int tag = NativeTag(m);
  return Self(m, self, tag / 32).fields[static_cast<std::size_t>(tag % 32)];
}

Value Converted(Machine& m, const Field& f, const Value& v) {
  switch (f.type) {
    case 'w': {
      const std::string word = v.IsNullish() ? std::string() : m.ToString(v);
      for (const char* accepted : f.words)
        if (!v.IsNullish() && word == accepted) return m.StrValue(word);
      m.ThrowError("ArgumentError", 2008, std::string("Parameter ") + f.name + " must be one of the accepted values.", true);
    }
    case 's': return v.IsNullish() ? Value::Null() : m.StrValue(m.ToString(v));
    case 'b': return Value::Bool(m.ToBoolean(v));
    case 'n': return Value::Number(m.ToNumber(v));
    case 'u': return Value::Number(m.ToUint32(v));
    default: return v.IsUndefined() ? Value::Null() : v;
  }
}

Value SetField(Machine& m, const Value& self, const Value* args, int argc) {
  const int tag = NativeTag(m);
  const Field& f = kClasses[tag / 32].fields[static_cast<std::size_t>(tag % 32)];
  RecordObject& o = Self(m, self, tag / 32);
  o.fields[static_cast<std::size_t>(tag % 32)] = Converted(m, f, Arg(args, argc, 0));
  return Value();
}

// The constructor gives each argument (or its default) to the property's setter, first
// to last; a property without a setter takes its value directly.
template <int K>
Value Construct(Machine& m, const Value& self, const Value* args, int argc) {
  const EngineClass& c = kClasses[K];
  if (K == kTextJustifier && self.IsObject() && self.object->cls == m.FindClass("flash.text.engine.TextJustifier"))
    m.ThrowError("ArgumentError", 2012, "TextJustifier class cannot be instantiated.");
  RecordObject& o = Self(m, self, K);
  for (int i = 0; i < c.constructorArgs; ++i) {
    const Field& f = c.fields[static_cast<std::size_t>(i)];
    const Value v = i < argc ? args[i] : Default(m, f);
    if (f.writable) m.SetPublic(self, f.name, v);
    else o.fields[static_cast<std::size_t>(i)] = Converted(m, f, v);
  }
  return Value();
}

// clone(): an unlocked copy with the same values.
template <int K>
Value Clone(Machine& m, const Value& self, const Value*, int) {
  const RecordObject& from = Self(m, self, K);
  const Value copy = Value::Obj(m.ConstructClass(self.object->cls, nullptr, 0));
  RecordObject& to = Self(m, copy, K);
  to.fields = from.fields;
  const auto& fields = kClasses[K].fields;
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (std::string(fields[i].name) == "locked") to.fields[i] = Value::Bool(false);
  return copy;
}

template <int K>
ClassObject* Define(Machine& m, bool final, Native clone) {
  const EngineClass& c = kClasses[K];
  ClassObject* base = *c.base ? m.FindClass(c.base) : m.objectClass;
  ClassObject* cls = m.DefineClass("flash.text.engine", c.name, base, Construct<K>);
  cls->allocate = Allocate<K>;
  cls->isFinal = final;
  std::vector<Member> members;
  for (std::size_t i = static_cast<std::size_t>(c.ownFrom); i < c.fields.size(); ++i) {
    const Field& f = c.fields[i];
    members.push_back({f.name, GetField, f.writable ? SetField : nullptr, kAccessor, K * 32 + static_cast<int>(i)});
  }
  if (clone) members.push_back({"clone", clone, nullptr, 0, 0});
  Install(m, cls, members);
  return cls;
}

// The classes of named values.
struct Words {
  const char* name;
  std::initializer_list<TextConstant> constants;
};
const Words kWordClasses[] = {
    {"FontWeight", {{"BOLD", "bold"}, {"NORMAL", "normal"}}},
    {"FontPosture", {{"ITALIC", "italic"}, {"NORMAL", "normal"}}},
    {"FontLookup", {{"DEVICE", "device"}, {"EMBEDDED_CFF", "embeddedCFF"}}},
    {"RenderingMode", {{"CFF", "cff"}, {"NORMAL", "normal"}}},
    {"CFFHinting", {{"HORIZONTAL_STEM", "horizontalStem"}, {"NONE", "none"}}},
    {"TextBaseline",
     {{"ASCENT", "ascent"}, {"DESCENT", "descent"}, {"IDEOGRAPHIC_BOTTOM", "ideographicBottom"},
      {"IDEOGRAPHIC_CENTER", "ideographicCenter"}, {"IDEOGRAPHIC_TOP", "ideographicTop"}, {"ROMAN", "roman"},
      {"USE_DOMINANT_BASELINE", "useDominantBaseline"}}},
    {"Kerning", {{"AUTO", "auto"}, {"OFF", "off"}, {"ON", "on"}}},
    {"BreakOpportunity", {{"ALL", "all"}, {"ANY", "any"}, {"AUTO", "auto"}, {"NONE", "none"}}},
    {"DigitCase", {{"DEFAULT", "default"}, {"LINING", "lining"}, {"OLD_STYLE", "oldStyle"}}},
    {"DigitWidth", {{"DEFAULT", "default"}, {"PROPORTIONAL", "proportional"}, {"TABULAR", "tabular"}}},
    {"LigatureLevel",
     {{"COMMON", "common"}, {"EXOTIC", "exotic"}, {"MINIMUM", "minimum"}, {"NONE", "none"}, {"UNCOMMON", "uncommon"}}},
    {"TypographicCase",
     {{"CAPS", "caps"}, {"CAPS_AND_SMALL_CAPS", "capsAndSmallCaps"}, {"DEFAULT", "default"}, {"LOWERCASE", "lowercase"},
      {"SMALL_CAPS", "smallCaps"}, {"TITLE", "title"}, {"UPPERCASE", "uppercase"}}},
    {"TextRotation",
     {{"AUTO", "auto"}, {"ROTATE_0", "rotate0"}, {"ROTATE_180", "rotate180"}, {"ROTATE_270", "rotate270"},
      {"ROTATE_90", "rotate90"}}},
    {"LineJustification",
     {{"ALL_BUT_LAST", "allButLast"}, {"ALL_BUT_MANDATORY_BREAK", "allButMandatoryBreak"},
      {"ALL_INCLUDING_LAST", "allIncludingLast"}, {"UNJUSTIFIED", "unjustified"}}},
    {"JustificationStyle",
     {{"PRIORITIZE_LEAST_ADJUSTMENT", "prioritizeLeastAdjustment"}, {"PUSH_IN_KINSOKU", "pushInKinsoku"},
      {"PUSH_OUT_ONLY", "pushOutOnly"}}},
    {"TextLineValidity",
     {{"INVALID", "invalid"}, {"POSSIBLY_INVALID", "possiblyInvalid"}, {"STATIC", "static"}, {"VALID", "valid"}}},
    {"TabAlignment", {{"CENTER", "center"}, {"DECIMAL", "decimal"}, {"END", "end"}, {"START", "start"}}},
    {"TextLineCreationResult",
     {{"COMPLETE", "complete"}, {"EMERGENCY", "emergency"}, {"INSUFFICIENT_WIDTH", "insufficientWidth"},
      {"SUCCESS", "success"}}},
};

}  // namespace

void InstallTextEngine(Machine& m) {
  for (const Words& w : kWordClasses) {
    ClassObject* cls = m.DefineClass("flash.text.engine", w.name, m.objectClass, Nothing);
    cls->isFinal = true;
    Install(m, cls, std::span<const TextConstant>(w.constants.begin(), w.constants.size()));
  }
  Define<kFontDescription>(m, true, Clone<kFontDescription>);
  Define<kElementFormat>(m, true, Clone<kElementFormat>);
  Define<kTextJustifier>(m, false, nullptr);
  Define<kSpaceJustifier>(m, true, Clone<kSpaceJustifier>);
  Define<kEastAsianJustifier>(m, true, Clone<kEastAsianJustifier>);
}

}  // namespace vantrel::flash::avm2
