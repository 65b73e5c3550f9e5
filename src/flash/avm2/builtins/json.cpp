// JSON: parse with an optional reviver, stringify with a replacer (function or list of
// names), indentation and toJSON. Sealed objects give their public variables, constants
// and getters; dynamic ones their enumerable properties in the order they were made.
#include <cmath>
#include <unordered_set>

#include "flash/avm2/builtins/support.h"
#include "flash/script/string_utils.h"

namespace vantrel::flash::avm2 {

namespace {

[[noreturn]] void Invalid(Machine& m) { m.ThrowError("SyntaxError", 1132, "Invalid JSON parse input."); }

class Parser {
 public:
  Parser(Machine& m, std::u16string text) : m_(m), s_(std::move(text)) {}

  Value Document() {
    Value v = Parse(0);
    Space();
    if (pos_ != s_.size()) Invalid(m_);
    return v;
  }

 private:
  void Space() {
    while (pos_ < s_.size() && (s_[pos_] == u' ' || s_[pos_] == u'\t' || s_[pos_] == u'\n' || s_[pos_] == u'\r')) ++pos_;
  }
  bool Take(char16_t c) {
    Space();
    if (pos_ < s_.size() && s_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  void Word(const char16_t* word) {
    for (; *word; ++word, ++pos_)
      if (pos_ >= s_.size() || s_[pos_] != *word) Invalid(m_);
  }
  std::u16string String() {
    std::u16string out;
    ++pos_;  // the opening quote
    for (;;) {
      if (pos_ >= s_.size()) Invalid(m_);
      const char16_t c = s_[pos_++];
      if (c == u'"') return out;
      if (c < 0x20) Invalid(m_);
      if (c != u'\\') {
        out += c;
        continue;
      }
      if (pos_ >= s_.size()) Invalid(m_);
      const char16_t e = s_[pos_++];
      switch (e) {
        case u'"': out += u'"'; break;
        case u'\\': out += u'\\'; break;
        case u'/': out += u'/'; break;
        case u'b': out += u'\b'; break;
        case u'f': out += u'\f'; break;
        case u'n': out += u'\n'; break;
        case u'r': out += u'\r'; break;
        case u't': out += u'\t'; break;
        case u'u': {
          if (pos_ + 4 > s_.size()) Invalid(m_);
          char16_t unit = 0;
          for (int i = 0; i < 4; ++i) {
            const char16_t h = s_[pos_++];
            int d = h >= u'0' && h <= u'9' ? h - u'0' : h >= u'a' && h <= u'f' ? h - u'a' + 10 : h >= u'A' && h <= u'F' ? h - u'A' + 10 : -1;
            if (d < 0) Invalid(m_);
            unit = static_cast<char16_t>(unit * 16 + d);
          }
          out += unit;
          break;
        }
        default: Invalid(m_);
      }
    }
  }
  Value Number() {
    const std::size_t start = pos_;
    auto digits = [&] {
      const std::size_t from = pos_;
      while (pos_ < s_.size() && s_[pos_] >= u'0' && s_[pos_] <= u'9') ++pos_;
      if (pos_ == from) Invalid(m_);
    };
    if (s_[pos_] == u'-') ++pos_;
    if (pos_ < s_.size() && s_[pos_] == u'0') ++pos_;
    else digits();
    if (pos_ < s_.size() && s_[pos_] == u'.') {
      ++pos_;
      digits();
    }
    if (pos_ < s_.size() && (s_[pos_] == u'e' || s_[pos_] == u'E')) {
      ++pos_;
      if (pos_ < s_.size() && (s_[pos_] == u'+' || s_[pos_] == u'-')) ++pos_;
      digits();
    }
    return Value::Number(std::strtod(script::Utf8FromUnits(s_.substr(start, pos_ - start)).c_str(), nullptr));
  }
  Value Parse(int depth) {
    if (depth > 4096) Invalid(m_);
    Space();
    if (pos_ >= s_.size()) Invalid(m_);
    const char16_t c = s_[pos_];
    if (c == u'{') {
      ++pos_;
      Object* o = m_.NewObject();
      if (Take(u'}')) return Value::Obj(o);
      do {
        Space();
        if (pos_ >= s_.size() || s_[pos_] != u'"') Invalid(m_);
        const std::string key = script::Utf8FromUnits(String());
        if (!Take(u':')) Invalid(m_);
        const Value v = Parse(depth + 1);
        if (Object::Property* p = o->FindOwn(key)) p->value = v;
        else o->SetOwn(key, v);
      } while (Take(u','));
      if (!Take(u'}')) Invalid(m_);
      return Value::Obj(o);
    }
    if (c == u'[') {
      ++pos_;
      std::vector<Value> elements;
      if (Take(u']')) return Value::Obj(m_.NewArray());
      do elements.push_back(Parse(depth + 1));
      while (Take(u','));
      if (!Take(u']')) Invalid(m_);
      return Value::Obj(m_.NewArray(std::move(elements)));
    }
    if (c == u'"') return m_.StrValue(script::Utf8FromUnits(String()));
    if (c == u't') return Word(u"true"), Value::Bool(true);
    if (c == u'f') return Word(u"false"), Value::Bool(false);
    if (c == u'n') return Word(u"null"), Value::Null();
    if (c == u'-' || (c >= u'0' && c <= u'9')) return Number();
    Invalid(m_);
  }

  Machine& m_;
  std::u16string s_;
  std::size_t pos_ = 0;
};

// The own names JSON walks: array indices, or enumerable dynamic properties.
std::vector<std::string> Keys(Machine& m, const Value& v) {
  std::vector<std::string> keys;
  Object* o = v.AsObject();
  if (!o) return keys;
  if (o->kind == ObjectKind::Array) {
    const auto& elements = static_cast<ArrayObject*>(o)->elements;
    for (std::size_t i = 0; i < elements.size(); ++i) keys.push_back(std::to_string(i));
  }
  for (const auto& p : o->properties)
    if (!p.removed && p.enumerable) keys.push_back(p.name);
  (void)m;
  return keys;
}

Value Revive(Machine& m, const Value& reviver, const Value& holder, const std::string& key) {
  const Value value = m.GetPublic(holder, key);
  if (Object* o = value.AsObject()) {
    for (const std::string& k : Keys(m, value)) {
      const Value revived = Revive(m, reviver, value, k);
      if (revived.IsUndefined()) {
        const Multiname name = m.PublicName(k);
        m.DeleteProperty(value, name);
      } else {
        m.SetPublic(value, k, revived);
      }
    }
    (void)o;
  }
  const Value args[2] = {m.StrValue(key), value};
  return m.Call(reviver, holder, args, 2);
}

Value Parse(Machine& m, const Value&, const Value* args, int argc) {
  const Value text = Arg(args, argc, 0);
  if (text.IsNullish()) Invalid(m);
  Value result = Parser(m, script::Utf16Units(m.ToString(text))).Document();
  const Value reviver = Arg(args, argc, 1);
  if (!IsCallable(reviver)) return result;
  Object* root = m.NewObject();
  root->SetOwn("", result);
  return Revive(m, reviver, Value::Obj(root), "");
}

std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
          out += buffer;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

class Writer {
 public:
  Writer(Machine& m, Value replacer, std::vector<std::string> allowed, bool hasAllowed, std::string gap)
      : m_(m), replacer_(replacer), allowed_(std::move(allowed)), hasAllowed_(hasAllowed), gap_(std::move(gap)) {}

  // False when the value writes nothing (undefined, functions).
  bool Write(const Value& holder, const std::string& key, Value value, std::string& out) {
    if (Object* o = value.AsObject(); o && o->kind != ObjectKind::Function && o->kind != ObjectKind::Class) {
      // A sealed object without toJSON has none (reading it would be an error).
      const Multiname toJsonName = m_.PublicName("toJSON");
      const Value toJson = m_.HasProperty(value, toJsonName) ? m_.GetProperty(value, toJsonName) : Value();
      if (IsCallable(toJson)) {
        const Value k = m_.StrValue(key);
        value = m_.Call(toJson, value, &k, 1);
      }
    }
    if (IsCallable(replacer_)) {
      const Value args[2] = {m_.StrValue(key), value};
      value = m_.Call(replacer_, holder, args, 2);
    }
    if (Object* o = value.AsObject()) {
      if (o->kind == ObjectKind::Number || o->kind == ObjectKind::String || o->kind == ObjectKind::Boolean)
        value = static_cast<NativeObject*>(o)->a;
    }
    switch (value.type) {
      case Value::Type::Null: out += "null"; return true;
      case Value::Type::Boolean: out += value.boolean ? "true" : "false"; return true;
      case Value::Type::Number: out += std::isfinite(value.number) ? NumberToString(value.number) : "null"; return true;
      case Value::Type::String: out += Quote(value.string->Text()); return true;
      case Value::Type::Object: break;
      default: return false;
    }
    Object* o = value.object;
    // A class is an object like any other: its public static variables and getters
    // ("length", "prototype") are written.
    if (o->kind == ObjectKind::Function) return false;
    if (!stack_.insert(o).second) m_.ThrowTypeError(1129, "Cyclic structure cannot be converted to JSON string.");
    const Machine::WalkDepth walk(m_);  // a chain of nested objects ends in #1023, not a crash
    const std::string outer = indent_;
    indent_ += gap_;
    if (o->kind == ObjectKind::Array || o->kind == ObjectKind::Vector) {
      std::vector<Value> items;
      if (o->kind == ObjectKind::Array) items = static_cast<ArrayObject*>(o)->elements;
      else items = static_cast<NativeObject*>(o)->list;
      out += '[';
      for (std::size_t i = 0; i < items.size(); ++i) {
        if (i) out += ',';
        if (!gap_.empty()) out += "\n" + indent_;
        if (!Write(value, std::to_string(i), items[i], out)) out += "null";
      }
      if (!gap_.empty() && !items.empty()) out += "\n" + outer;
      out += ']';
    } else {
      out += '{';
      bool any = false;
      for (const std::string& k : Names(o)) {
        std::string piece = Quote(k) + (gap_.empty() ? ":" : ": ");
        if (!Write(value, k, m_.GetPublic(value, k), piece)) continue;
        if (any) out += ',';
        if (!gap_.empty()) out += "\n" + indent_;
        out += piece;
        any = true;
      }
      if (!gap_.empty() && any) out += "\n" + outer;
      out += '}';
    }
    indent_ = outer;
    stack_.erase(o);
    return true;
  }

 private:
  // Public variables and constants of the class, then its getters, then the enumerable
  // dynamic properties (or only the replacer's names when it gave a list).
  std::vector<std::string> Names(Object* o) {
    if (hasAllowed_) return allowed_;
    std::vector<std::string> names;
    if (o->cls && o->cls != m_.objectClass && o->traits) {
      std::vector<std::pair<std::uint32_t, std::string>> slots;
      std::vector<std::string> getters;
      for (const auto& [id, list] : o->traits->bindings) {
        for (const Binding& b : list) {
          if (b.ns != m_.PublicNs()) continue;
          if (b.kind == Binding::Kind::Slot || b.kind == Binding::Kind::Const) slots.emplace_back(b.slot, m_.NameText(id));
          else if (b.kind == Binding::Kind::Accessor && b.getter) getters.push_back(m_.NameText(id));
        }
      }
      if (o->kind == ObjectKind::Class) getters.push_back("prototype");  // every class's getter
      std::sort(slots.begin(), slots.end());
      std::sort(getters.begin(), getters.end());
      for (auto& s : slots) names.push_back(s.second);
      for (auto& g : getters) names.push_back(g);
    }
    for (const auto& p : o->properties)
      if (!p.removed && p.enumerable) names.push_back(p.name);
    return names;
  }

  Machine& m_;
  Value replacer_;
  std::vector<std::string> allowed_;
  bool hasAllowed_;
  std::string gap_, indent_;
  std::unordered_set<Object*> stack_;
};

Value Stringify(Machine& m, const Value&, const Value* args, int argc) {
  const Value replacer = Arg(args, argc, 1);
  std::vector<std::string> allowed;
  bool hasAllowed = false;
  if (!replacer.IsNull() && (argc > 1)) {
    Object* r = replacer.AsObject();
    if (r && r->kind == ObjectKind::Array) {
      hasAllowed = true;
      for (const Value& v : static_cast<ArrayObject*>(r)->elements) {
        const std::string name = m.ToString(v);
        if (std::find(allowed.begin(), allowed.end(), name) == allowed.end()) allowed.push_back(name);
      }
    } else if (!IsCallable(replacer)) {
      m.ThrowTypeError(1131, "Replacer argument to JSON stringifier must be an array or a two parameter function.");
    }
  }
  std::string gap;
  Value space = Arg(args, argc, 2);
  if (Object* o = space.AsObject(); o && (o->kind == ObjectKind::Number || o->kind == ObjectKind::String))
    space = static_cast<NativeObject*>(o)->a;
  if (space.IsNumber()) {
    const double n = std::isnan(space.number) ? 0 : std::min(10.0, std::trunc(space.number));
    if (n >= 1) gap.assign(static_cast<std::size_t>(n), ' ');
  } else if (space.IsString()) {
    const std::u16string units = script::Utf16Units(space.string->Text());
    gap = script::Utf8FromUnits(std::u16string_view(units).substr(0, 10));
  }
  Writer writer(m, IsCallable(replacer) ? replacer : Value(), std::move(allowed), hasAllowed, gap);
  Object* holder = m.NewObject();
  holder->SetOwn("", Arg(args, argc, 0));
  std::string out;
  // A function alone gives null; undefined gives undefined.
  if (!writer.Write(Value::Obj(holder), "", Arg(args, argc, 0), out))
    return Arg(args, argc, 0).IsObject() ? Value::Null() : Value();
  return m.StrValue(out);
}

}  // namespace

void InstallJson(Machine& m) {
  ClassObject* c = m.DefineClass("", "JSON", m.objectClass);
  c->isFinal = true;
  static const Member kJsonMembers[] = {
      {"parse", Parse, nullptr, kStatic, 0, 2},
      {"stringify", Stringify, nullptr, kStatic, 0, 3},
  };
  Install(m, c, kJsonMembers);
}

}  // namespace vantrel::flash::avm2
