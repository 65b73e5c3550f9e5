// Number, int and uint (one value type: numbers that are whole and in range are ints),
// and Math.
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <random>

#include "flash/avm2/builtins/support.h"

namespace vantrel::flash::avm2 {

namespace {

// The number a method of Number/int/uint was called on (tag names the class).
double Self(Machine& m, const Value& self, int tag, const char* method) {
  static const char* names[] = {"Number", "int", "uint"};
  if (self.IsNumber()) return self.number;
  if (self.IsObject() && (self.object == m.numberClass->prototype || self.object == m.intClass->prototype ||
                          self.object == m.uintClass->prototype))
    return 0;
  m.ThrowTypeError(1004, std::string("Method ") + names[tag] + ".prototype." + method + " was invoked on an incompatible object.");
}

Value ToStringMethod(Machine& m, const Value& self, const Value* args, int argc) {
  const int tag = 0;
  const double d = Self(m, self, tag, "toString");
  const double radix = NumArg(m, args, argc, 0, 10);
  if (radix < 2 || radix > 36 || std::isnan(radix))
    m.ThrowError("RangeError", 1003, "The radix argument must be between 2 and 36; got " + NumberToString(radix) + ".");
  return m.StrValue(NumberToRadix(d, static_cast<int>(radix)));
}
Value IntToString(Machine& m, const Value& self, const Value* args, int argc) {
  const double d = Self(m, self, 1, "toString");
  const double radix = NumArg(m, args, argc, 0, 10);
  if (radix < 2 || radix > 36 || std::isnan(radix))
    m.ThrowError("RangeError", 1003, "The radix argument must be between 2 and 36; got " + NumberToString(radix) + ".");
  return m.StrValue(NumberToRadix(d, static_cast<int>(radix)));
}
Value UintToString(Machine& m, const Value& self, const Value* args, int argc) {
  const double d = Self(m, self, 2, "toString");
  const double radix = NumArg(m, args, argc, 0, 10);
  if (radix < 2 || radix > 36 || std::isnan(radix))
    m.ThrowError("RangeError", 1003, "The radix argument must be between 2 and 36; got " + NumberToString(radix) + ".");
  return m.StrValue(NumberToRadix(d, static_cast<int>(radix)));
}
Value ValueOf(Machine& m, const Value& self, const Value*, int) { return Value::Number(Self(m, self, 0, "valueOf")); }
Value IntValueOf(Machine& m, const Value& self, const Value*, int) { return Value::Number(Self(m, self, 1, "valueOf")); }
Value UintValueOf(Machine& m, const Value& self, const Value*, int) { return Value::Number(Self(m, self, 2, "valueOf")); }

// The three formatting methods share one range message.
[[noreturn]] void DigitsOutOfRange(Machine& m) {
  m.ThrowError("RangeError", 1002,
               "Number.toPrecision has a range of 1 to 21. Number.toFixed and Number.toExponential have a range of 0 to "
               "20. Specified value is not within expected range.");
}

Value ToFixed(Machine& m, const Value& self, const Value* args, int argc) {
  const double d = Self(m, self, 0, "toFixed");
  const double digits = NumArg(m, args, argc, 0, 0);
  if (digits < 0 || digits > 20) DigitsOutOfRange(m);
  if (std::isnan(d) || std::isinf(d) || std::fabs(d) >= 1e21) return m.StrValue(NumberToString(d));
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.*f", static_cast<int>(digits), d);
  std::string text = buffer;
  if (text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
  return m.StrValue(text);
}

Value ToPrecision(Machine& m, const Value& self, const Value* args, int argc) {
  const double d = Self(m, self, 0, "toPrecision");
  if (argc == 0 || args[0].IsNullish()) return m.StrValue(NumberToString(d));
  const double p = m.ToNumber(args[0]);
  if (p < 1 || p > 21) DigitsOutOfRange(m);
  if (std::isnan(d) || std::isinf(d)) return m.StrValue(NumberToString(d));
  const int precision = static_cast<int>(p);
  // Zero prints with as many zeros after the point as digits were asked for.
  if (d == 0) return m.StrValue("0." + std::string(static_cast<std::size_t>(precision), '0'));
  const int exponent = d == 0 ? 0 : static_cast<int>(std::floor(std::log10(std::fabs(d))));
  char buffer[400];
  if (exponent >= precision) {
    std::snprintf(buffer, sizeof buffer, "%.*e", precision - 1, d);
    std::string text = buffer;
    // "1.5e+02" with the exponent's digits unpadded.
    const std::size_t e = text.find('e');
    std::string mantissa = text.substr(0, e);
    const int exp = std::atoi(text.c_str() + e + 1);
    return m.StrValue(mantissa + "e" + (exp < 0 ? "-" : "+") + std::to_string(std::abs(exp)));
  }
  std::snprintf(buffer, sizeof buffer, "%.*f", std::max(0, precision - 1 - exponent), d);
  return m.StrValue(buffer);
}

Value ToExponential(Machine& m, const Value& self, const Value* args, int argc) {
  const double d = Self(m, self, 0, "toExponential");
  const double digits = NumArg(m, args, argc, 0, 0);
  if (digits < 0 || digits > 20) DigitsOutOfRange(m);
  if (std::isnan(d) || std::isinf(d)) return m.StrValue(NumberToString(d));
  const int count = static_cast<int>(digits);
  // The player's zero is a tiny number: 1e-15 without digits, zeros with an exponent of -16 with them.
  if (d == 0) return m.StrValue(count == 0 ? "1e-15" : "0." + std::string(static_cast<std::size_t>(count), '0') + "e-16");
  // The digits are the exact value's, cut (not rounded) after the asked number.
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.40e", d);
  std::string text = buffer;
  const std::size_t e = text.find('e');
  const int exp = std::atoi(text.c_str() + e + 1);
  const std::size_t point = text.find('.');
  std::string mantissa = text.substr(0, count == 0 ? point : point + 1 + static_cast<std::size_t>(count));
  return m.StrValue(mantissa + "e" + (exp < 0 ? "-" : "+") + std::to_string(std::abs(exp)));
}

Value NumberCall(Machine& m, const Value&, const Value* args, int argc) { return Value::Number(argc ? m.ToNumber(args[0]) : 0); }
Value IntCall(Machine& m, const Value&, const Value* args, int argc) { return Value::Number(argc ? m.ToInt32(args[0]) : 0); }
Value UintCall(Machine& m, const Value&, const Value* args, int argc) { return Value::Number(argc ? m.ToUint32(args[0]) : 0); }

// Math: tag picks the function.
Value MathOne(Machine& m, const Value&, const Value* args, int argc, double (*fn)(double)) {
  return Value::Number(fn(NumArg(m, args, argc, 0, std::nan(""))));
}
#define MATH1(NAME, EXPR) \
  Value NAME(Machine& m, const Value& s, const Value* a, int n) { return MathOne(m, s, a, n, [](double x) { return EXPR; }); }
MATH1(Abs, std::fabs(x))
MATH1(Acos, std::acos(x))
MATH1(Asin, std::asin(x))
MATH1(Atan, std::atan(x))
MATH1(Ceil, std::ceil(x))
MATH1(Cos, std::cos(x))
MATH1(Exp, std::exp(x))
MATH1(Floor, std::floor(x))
MATH1(Log, std::log(x))
MATH1(Sin, std::sin(x))
MATH1(Sqrt, std::sqrt(x))
MATH1(Tan, std::tan(x))
MATH1(Round, (std::isnan(x) || std::isinf(x)) ? x : (x < 0 && x >= -0.5) ? -0.0 : std::floor(x + 0.5))
#undef MATH1

Value Atan2(Machine& m, const Value&, const Value* args, int argc) {
  return Value::Number(std::atan2(NumArg(m, args, argc, 0, std::nan("")), NumArg(m, args, argc, 1, std::nan(""))));
}
Value Pow(Machine& m, const Value&, const Value* args, int argc) {
  const double x = NumArg(m, args, argc, 0, std::nan("")), y = NumArg(m, args, argc, 1, std::nan(""));
  if (std::isnan(y)) return Value::Number(std::nan(""));
  if ((x == 1 || x == -1) && std::isinf(y)) return Value::Number(std::nan(""));
  return Value::Number(std::pow(x, y));
}
Value Max(Machine& m, const Value&, const Value* args, int argc) {
  double r = -INFINITY;
  for (int i = 0; i < argc; ++i) {
    const double d = m.ToNumber(args[i]);
    if (std::isnan(d)) return Value::Number(d);
    if (d > r || (d == 0 && r == 0 && !std::signbit(d))) r = d;
  }
  return Value::Number(r);
}
Value Min(Machine& m, const Value&, const Value* args, int argc) {
  double r = INFINITY;
  for (int i = 0; i < argc; ++i) {
    const double d = m.ToNumber(args[i]);
    if (std::isnan(d)) return Value::Number(d);
    if (d < r || (d == 0 && r == 0 && std::signbit(d))) r = d;
  }
  return Value::Number(r);
}
Value Random(Machine&, const Value&, const Value*, int) {
  static std::mt19937_64 generator(12345);
  return Value::Number(std::uniform_real_distribution<double>(0.0, 1.0)(generator));
}

}  // namespace

void InstallNumbers(Machine& m) {
  m.numberClass = m.DefineClass("", "Number", m.objectClass);
  m.intClass = m.DefineClass("", "int", m.objectClass);
  m.uintClass = m.DefineClass("", "uint", m.objectClass);
  m.numberClass->callHandler = m.NativeMethod("Number", NumberCall);
  m.intClass->callHandler = m.NativeMethod("int", IntCall);
  m.uintClass->callHandler = m.NativeMethod("uint", UintCall);
  for (ClassObject* c : {m.numberClass, m.intClass, m.uintClass}) {
    c->isFinal = true;
    m.AddMethod(c->prototype, "toFixed", ToFixed);
    m.AddMethod(c->prototype, "toPrecision", ToPrecision);
    m.AddMethod(c->prototype, "toExponential", ToExponential);
    m.AddConstant(c, "length", Value::Number(1));
  }
  m.AddMethod(m.numberClass->prototype, "toString", ToStringMethod);
  m.AddMethod(m.numberClass->prototype, "toLocaleString", ToStringMethod);
  m.AddMethod(m.intClass->prototype, "toLocaleString", IntToString);
  m.AddMethod(m.uintClass->prototype, "toLocaleString", UintToString);
  m.AddMethod(m.numberClass->prototype, "valueOf", ValueOf);
  m.AddMethod(m.intClass->prototype, "toString", IntToString);
  m.AddMethod(m.intClass->prototype, "valueOf", IntValueOf);
  m.AddMethod(m.uintClass->prototype, "toString", UintToString);
  m.AddMethod(m.uintClass->prototype, "valueOf", UintValueOf);
  m.AddConstant(m.numberClass, "MAX_VALUE", Value::Number(DBL_MAX));
  m.AddConstant(m.numberClass, "MIN_VALUE", Value::Number(4.9406564584124654e-324));
  m.AddConstant(m.numberClass, "NaN", Value::Number(std::nan("")));
  m.AddConstant(m.numberClass, "NEGATIVE_INFINITY", Value::Number(-INFINITY));
  m.AddConstant(m.numberClass, "POSITIVE_INFINITY", Value::Number(INFINITY));
  m.AddConstant(m.intClass, "MAX_VALUE", Value::Number(2147483647));
  m.AddConstant(m.intClass, "MIN_VALUE", Value::Number(-2147483648.0));
  m.AddConstant(m.uintClass, "MAX_VALUE", Value::Number(4294967295.0));
  m.AddConstant(m.uintClass, "MIN_VALUE", Value::Number(0));
}

void InstallMath(Machine& m) {
  ClassObject* math = m.DefineClass("", "Math", m.objectClass);
  math->isFinal = true;
  struct Entry {
    const char* name;
    Native fn;
  };
  static const Entry functions[] = {{"abs", Abs}, {"acos", Acos}, {"asin", Asin}, {"atan", Atan}, {"atan2", Atan2},
                                    {"ceil", Ceil}, {"cos", Cos}, {"exp", Exp}, {"floor", Floor}, {"log", Log},
                                    {"max", Max}, {"min", Min}, {"pow", Pow}, {"random", Random}, {"round", Round},
                                    {"sin", Sin}, {"sqrt", Sqrt}, {"tan", Tan}};
  for (const Entry& e : functions) m.AddTraitMethod(math, e.name, e.fn, true);
  m.AddConstant(math, "E", Value::Number(M_E));
  m.AddConstant(math, "LN10", Value::Number(M_LN10));
  m.AddConstant(math, "LN2", Value::Number(M_LN2));
  m.AddConstant(math, "LOG10E", Value::Number(M_LOG10E));
  m.AddConstant(math, "LOG2E", Value::Number(M_LOG2E));
  m.AddConstant(math, "PI", Value::Number(M_PI));
  m.AddConstant(math, "SQRT1_2", Value::Number(M_SQRT1_2));
  m.AddConstant(math, "SQRT2", Value::Number(M_SQRT2));
}

}  // namespace vantrel::flash::avm2
