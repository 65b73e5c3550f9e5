#include "player/script_host.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <optional>

#include "core/text.h"
#include "player/rounding.h"

namespace vantrel::player {

namespace {

enum class TokenKind { Name, Number, Text, Symbol, End };

struct Token {
  TokenKind kind = TokenKind::End;
  std::string text;  // the name, the string's contents, the symbol
  double number = 0;
};

struct ParseError {
  std::string message;
};

// Splits a script into tokens; a line break and ":" both end a statement and come out
// as the symbol ":".
class Lexer {
 public:
  explicit Lexer(std::string_view source) : source_(source) {}

  std::optional<ParseError> Run(std::vector<Token>& tokens) {
    while (pos_ < source_.size()) {
      const char c = source_[pos_];
      if (c == ' ' || c == '\t') {
        ++pos_;
      } else if (c == '\r' || c == '\n' || c == ':') {
        ++pos_;
        tokens.push_back({TokenKind::Symbol, ":", 0});
      } else if (c == '\'') {
        while (pos_ < source_.size() && source_[pos_] != '\n' && source_[pos_] != '\r') ++pos_;
      } else if (c == '"') {
        std::string text;
        ++pos_;
        bool closed = false;
        while (pos_ < source_.size()) {
          if (source_[pos_] == '"') {
            if (pos_ + 1 < source_.size() && source_[pos_ + 1] == '"') {
              text += '"';
              pos_ += 2;
              continue;
            }
            ++pos_;
            closed = true;
            break;
          }
          if (source_[pos_] == '\n' || source_[pos_] == '\r') break;
          text += source_[pos_++];
        }
        if (!closed) return ParseError{"Unterminated string constant"};
        tokens.push_back({TokenKind::Text, std::move(text), 0});
      } else if ((c >= '0' && c <= '9') || (c == '.' && pos_ + 1 < source_.size() && IsDigit(source_[pos_ + 1]))) {
        const std::size_t start = pos_;
        while (pos_ < source_.size() && (IsDigit(source_[pos_]) || source_[pos_] == '.')) ++pos_;
        if (pos_ < source_.size() && (source_[pos_] == 'e' || source_[pos_] == 'E')) {
          std::size_t j = pos_ + 1;
          if (j < source_.size() && (source_[j] == '+' || source_[j] == '-')) ++j;
          if (j < source_.size() && IsDigit(source_[j])) {
            pos_ = j;
            while (pos_ < source_.size() && IsDigit(source_[pos_])) ++pos_;
          }
        }
        const std::string digits(source_.substr(start, pos_ - start));
        char* end = nullptr;
        const double value = std::strtod(digits.c_str(), &end);
        if (end != digits.c_str() + digits.size() || !std::isfinite(value)) return ParseError{"Syntax error"};
        if (pos_ < source_.size() && IsNameChar(source_[pos_])) return ParseError{"Expected end of statement"};
        tokens.push_back({TokenKind::Number, digits, value});
      } else if (IsNameStart(c)) {
        const std::size_t start = pos_;
        while (pos_ < source_.size() && IsNameChar(source_[pos_])) ++pos_;
        tokens.push_back({TokenKind::Name, std::string(source_.substr(start, pos_ - start)), 0});
      } else if (c == '(' || c == ')' || c == ',' || c == '.' || c == '-' || c == '+') {
        tokens.push_back({TokenKind::Symbol, std::string(1, c), 0});
        ++pos_;
      } else {
        return ParseError{"Invalid character"};
      }
    }
    tokens.push_back({TokenKind::End, {}, 0});
    return std::nullopt;
  }

 private:
  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
  static bool IsNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
  static bool IsNameChar(char c) { return IsNameStart(c) || IsDigit(c) || c == '_'; }

  std::string_view source_;
  std::size_t pos_ = 0;
};

// One parsed call: the operation's name and its argument slots (an empty slot is an
// argument left out, as in `Name 1, , 3`).
struct Call {
  std::string name;
  std::vector<std::optional<ScriptValue>> arguments;
};

class Parser {
 public:
  Parser(const std::vector<Token>& tokens, std::string_view object) : tokens_(tokens), object_(object) {}

  bool AtEnd() const { return Peek().kind == TokenKind::End; }

  // Skips statement separators; false when nothing is left.
  bool NextStatement() {
    while (IsSymbol(":")) ++pos_;
    return !AtEnd();
  }

  std::optional<ParseError> Statement(Call& call) {
    bool callKeyword = false;
    if (Peek().kind == TokenKind::Name && core::EqualsNoCase(Peek().text, "Call")) {
      ++pos_;
      callKeyword = true;
    }
    if (Peek().kind != TokenKind::Name) return ParseError{"Syntax error"};
    call.name = tokens_[pos_++].text;
    if (IsSymbol(".")) {
      if (!core::EqualsNoCase(call.name, object_)) return ParseError{"Object required: '" + call.name + "'"};
      ++pos_;
      if (Peek().kind != TokenKind::Name) return ParseError{"Syntax error"};
      call.name = tokens_[pos_++].text;
    }
    if (StatementEnds()) return std::nullopt;
    if (IsSymbol("(")) {
      ++pos_;
      if (IsSymbol(")")) {
        ++pos_;
      } else {
        if (auto error = ArgumentList(call)) return error;
        if (!IsSymbol(")")) return ParseError{"Expected ')'"};
        ++pos_;
      }
      if (!StatementEnds()) return ParseError{"Expected end of statement"};
      return std::nullopt;
    }
    if (callKeyword) return ParseError{"Expected end of statement"};
    if (auto error = ArgumentList(call)) return error;
    if (!StatementEnds()) return ParseError{"Expected end of statement"};
    return std::nullopt;
  }

 private:
  const Token& Peek() const { return tokens_[pos_]; }
  bool IsSymbol(std::string_view symbol) const {
    return Peek().kind == TokenKind::Symbol && Peek().text == symbol;
  }
  bool StatementEnds() const { return AtEnd() || IsSymbol(":"); }

  std::optional<ParseError> ArgumentList(Call& call) {
    while (true) {
      if (IsSymbol(",")) {
        call.arguments.emplace_back(std::nullopt);
        ++pos_;
        continue;
      }
      ScriptValue value;
      if (auto error = Value(value)) return error;
      call.arguments.emplace_back(std::move(value));
      if (!IsSymbol(",")) return std::nullopt;
      ++pos_;
      if (StatementEnds() || IsSymbol(")")) {
        call.arguments.emplace_back(std::nullopt);
        return std::nullopt;
      }
    }
  }

  std::optional<ParseError> Value(ScriptValue& value) {
    double sign = 1;
    bool signed_ = false;
    while (IsSymbol("-") || IsSymbol("+")) {
      if (Peek().text == "-") sign = -sign;
      signed_ = true;
      ++pos_;
    }
    const Token& token = Peek();
    if (token.kind == TokenKind::Number) {
      value = ScriptValue::Of(sign * token.number);
    } else if (token.kind == TokenKind::Text && !signed_) {
      value = ScriptValue::Of(token.text);
    } else if (token.kind == TokenKind::Name && core::EqualsNoCase(token.text, "True")) {
      value = signed_ ? ScriptValue::Of(-sign) : ScriptValue::OfBool(true);
    } else if (token.kind == TokenKind::Name && core::EqualsNoCase(token.text, "False")) {
      value = signed_ ? ScriptValue::Of(0.0) : ScriptValue::OfBool(false);
    } else if (token.kind == TokenKind::Name) {
      return ParseError{"Variable is undefined: '" + token.text + "'"};
    } else {
      return ParseError{"Syntax error"};
    }
    ++pos_;
    return std::nullopt;
  }

  const std::vector<Token>& tokens_;
  std::string_view object_;
  std::size_t pos_ = 0;
};

std::string NumberText(double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

// Converts value to type as the script language coerces arguments; false on a type
// mismatch.
bool Coerce(const ScriptValue& value, ScriptType type, ScriptValue& out) {
  switch (type) {
    case ScriptType::Number:
      if (value.type == ScriptType::Number) {
        out = value;
        return true;
      }
      if (value.type == ScriptType::Boolean) {
        out = ScriptValue::Of(value.boolean ? -1.0 : 0.0);
        return true;
      } else {
        const std::string trimmed(value.text);
        char* end = nullptr;
        const double number = std::strtod(trimmed.c_str(), &end);
        if (trimmed.empty() || end == trimmed.c_str()) return false;
        while (*end == ' ') ++end;
        if (*end != '\0' || !std::isfinite(number)) return false;
        out = ScriptValue::Of(number);
        return true;
      }
    case ScriptType::Text:
      if (value.type == ScriptType::Text) out = value;
      else if (value.type == ScriptType::Boolean) out = ScriptValue::Of(std::string(value.boolean ? "True" : "False"));
      else out = ScriptValue::Of(NumberText(value.number));
      return true;
    case ScriptType::Boolean:
      if (value.type == ScriptType::Boolean) {
        out = value;
        return true;
      }
      if (value.type == ScriptType::Number) {
        out = ScriptValue::OfBool(value.number != 0);
        return true;
      }
      if (core::EqualsNoCase(value.text, "True")) {
        out = ScriptValue::OfBool(true);
        return true;
      }
      if (core::EqualsNoCase(value.text, "False")) {
        out = ScriptValue::OfBool(false);
        return true;
      }
      {
        ScriptValue number;
        if (!Coerce(value, ScriptType::Number, number)) return false;
        out = ScriptValue::OfBool(number.number != 0);
        return true;
      }
  }
  return false;
}

}  // namespace

std::int32_t ScriptArgs::Whole(std::size_t i) const { return RoundHalfEven(values_.at(i).number); }

void ScriptHost::Add(std::string_view name, std::vector<ScriptParameter> parameters, Operation operation) {
  operations_[core::UpperAscii(name)] = Entry{std::string(name), std::move(parameters), std::move(operation)};
}

bool ScriptHost::Has(std::string_view name) const { return operations_.count(core::UpperAscii(name)) != 0; }

std::string ScriptHost::Execute(std::string_view script) {
  std::vector<Token> tokens;
  if (auto error = Lexer(script).Run(tokens)) return error->message;
  Parser parser(tokens, object_);
  while (parser.NextStatement()) {
    Call call;
    if (auto error = parser.Statement(call)) return error->message;
    const auto found = operations_.find(core::UpperAscii(call.name));
    if (found == operations_.end()) return "Object doesn't support this property or method: '" + call.name + "'";
    const Entry& entry = found->second;
    if (call.arguments.size() > entry.parameters.size())
      return "Wrong number of arguments or invalid property assignment: '" + entry.name + "'";
    std::vector<ScriptValue> values;
    values.reserve(entry.parameters.size());
    for (std::size_t i = 0; i < entry.parameters.size(); ++i) {
      const ScriptParameter& parameter = entry.parameters[i];
      const bool given = i < call.arguments.size() && call.arguments[i].has_value();
      if (!given) {
        if (!parameter.optional)
          return "Wrong number of arguments or invalid property assignment: '" + entry.name + "'";
        values.push_back(parameter.fallback);
        continue;
      }
      ScriptValue converted;
      if (!Coerce(*call.arguments[i], parameter.type, converted)) return "Type mismatch: '" + entry.name + "'";
      values.push_back(std::move(converted));
    }
    // A copy, so an operation that re-registers names cannot pull the code from under us.
    const Operation operation = entry.operation;
    operation(ScriptArgs(std::move(values)));
  }
  return {};
}

}  // namespace vantrel::player
