// The statement interpreter behind "/exec" commands and tip actions: it calls the
// player's public operations by name.
//
// Statements: `Name`, `Name arg, arg`, `Name(arg, arg)`, `Call Name(arg)`, each
// optionally prefixed by an object name (`Player.Name ...`); several statements may be
// joined with ":"; "'" starts a comment. Arguments are numbers (with an optional sign,
// decimals with a point), "strings" (a doubled quote stands for one quote) and the
// words True and False. Names and words are matched without regard to case.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::player {

enum class ScriptType : std::uint8_t { Number, Text, Boolean };

struct ScriptValue {
  ScriptType type = ScriptType::Number;
  double number = 0;
  std::string text;
  bool boolean = false;

  static ScriptValue Of(double value) { return {ScriptType::Number, value, {}, false}; }
  static ScriptValue Of(std::string value) { return {ScriptType::Text, 0, std::move(value), false}; }
  static ScriptValue OfBool(bool value) { return {ScriptType::Boolean, 0, {}, value}; }
};

// What an operation receives: the arguments already converted to its parameter types.
class ScriptArgs {
 public:
  explicit ScriptArgs(std::vector<ScriptValue> values) : values_(std::move(values)) {}
  std::size_t Count() const { return values_.size(); }
  double Number(std::size_t i) const { return values_.at(i).number; }
  std::int32_t Whole(std::size_t i) const;  // rounded halves to even, held to 32 bits
  const std::string& Text(std::size_t i) const { return values_.at(i).text; }
  bool Boolean(std::size_t i) const { return values_.at(i).boolean; }

 private:
  std::vector<ScriptValue> values_;
};

struct ScriptParameter {
  ScriptType type;
  bool optional = false;
  ScriptValue fallback{};  // used when an optional argument is left out
};

class ScriptHost {
 public:
  using Operation = std::function<void(const ScriptArgs&)>;

  // objectName is the name statements may put in front of an operation ("Player").
  explicit ScriptHost(std::string objectName = "Player") : object_(std::move(objectName)) {}

  // Makes an operation callable under name. A later call with the same name replaces it.
  void Add(std::string_view name, std::vector<ScriptParameter> parameters, Operation operation);
  bool Has(std::string_view name) const;

  // Runs script. Returns "" when every statement ran, else the description of the
  // first error (statements after it do not run), for example
  // "Object doesn't support this property or method: 'Nonsense'",
  // "Wrong number of arguments or invalid property assignment: 'SetQuality'",
  // "Type mismatch: 'GoToFrame'", "Syntax error", "Unterminated string constant".
  std::string Execute(std::string_view script);

 private:
  struct Entry {
    std::string name;  // as registered, for messages
    std::vector<ScriptParameter> parameters;
    Operation operation;
  };

  std::string object_;
  std::map<std::string, Entry> operations_;  // key: upper-case name
};

}  // namespace vantrel::player
