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
// int's methods take whole numbers in int's range only; uint's valueOf (not its
// toString) takes only uint's.
double Self(Machine& m, const Value& self, int tag, const char* method) {
  static const char* names[] = {"Number", "int", "uint"};
  const bool fits = tag == 0 || (tag == 1 && m.IsInstance(self, m.intClass)) ||
                    (tag == 2 && (std::string(method) != "valueOf" || m.IsInstance(self, m.uintClass)));
  if (self.IsNumber() && fits) return self.number;
  if (self.IsObject() && (self.object == m.numberClass->prototype || self.object == m.intClass->prototype ||
                          self.object == m.uintClass->prototype))
    return 0;
  m.ThrowTypeError(1004, std::string("Method ") + names[tag] + ".prototype." + method + " was invoked on an incompatible object.");
}

// The classes a method of Number, int or uint serves (its tag).
enum NumberClass { kNumber = 0, kInt = 1, kUint = 2 };

Value ToStringMethod(Machine& m, const Value& self, const Value* args, int argc) {
  const int tag = NativeTag(m);
  const double d = Self(m, self, tag, "toString");
  const double radix = NumArg(m, args, argc, 0, 10);
  if (radix < 2 || radix > 36 || std::isnan(radix))
    m.ThrowError("RangeError", 1003, "The radix argument must be between 2 and 36; got " + NumberToString(radix) + ".");
  return m.StrValue(NumberToRadix(d, static_cast<int>(radix)));
}
Value ValueOf(Machine& m, const Value& self, const Value*, int) { return Value::Number(Self(m, self, NativeTag(m), "valueOf")); }

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

// The formatting methods name Number in their errors whichever class they serve.
const Member kNumberMembers[] = {
    {"toFixed", ToFixed, nullptr, kPrototype, kNumber, 1},
    {"toPrecision", ToPrecision, nullptr, kPrototype, kNumber, 1},
    {"toExponential", ToExponential, nullptr, kPrototype, kNumber, 1},
    {"toString", ToStringMethod, nullptr, kPrototype, kNumber, 1},
    {"toLocaleString", ToStringMethod, nullptr, kPrototype, kNumber},
    {"valueOf", ValueOf, nullptr, kPrototype, kNumber},
};
const Member kIntMembers[] = {
    {"toFixed", ToFixed, nullptr, kPrototype, kInt, 1},
    {"toPrecision", ToPrecision, nullptr, kPrototype, kInt, 1},
    {"toExponential", ToExponential, nullptr, kPrototype, kInt, 1},
    {"toLocaleString", ToStringMethod, nullptr, kPrototype, kInt},
    {"toString", ToStringMethod, nullptr, kPrototype, kInt, 1},
    {"valueOf", ValueOf, nullptr, kPrototype, kInt},
};
const Member kUintMembers[] = {
    {"toFixed", ToFixed, nullptr, kPrototype, kUint, 1},
    {"toPrecision", ToPrecision, nullptr, kPrototype, kUint, 1},
    {"toExponential", ToExponential, nullptr, kPrototype, kUint, 1},
    {"toLocaleString", ToStringMethod, nullptr, kPrototype, kUint},
    {"toString", ToStringMethod, nullptr, kPrototype, kUint, 1},
    {"valueOf", ValueOf, nullptr, kPrototype, kUint},
};
const Constant kNumberConstants[] = {
    {"length", 1},
    {"MAX_VALUE", DBL_MAX},
    {"MIN_VALUE", 4.9406564584124654e-324},
    {"NaN", NAN},
    {"NEGATIVE_INFINITY", -INFINITY},
    {"POSITIVE_INFINITY", INFINITY},
};
const Constant kIntConstants[] = {
    {"length", 1},
    {"MAX_VALUE", 2147483647},
    {"MIN_VALUE", -2147483648.0},
};
const Constant kUintConstants[] = {
    {"length", 1},
    {"MAX_VALUE", 4294967295.0},
    {"MIN_VALUE", 0},
};

const Member kMathMembers[] = {
    {"abs", Abs, nullptr, kStatic, 0},     {"acos", Acos, nullptr, kStatic, 0},   {"asin", Asin, nullptr, kStatic, 0},
    {"atan", Atan, nullptr, kStatic, 0},   {"atan2", Atan2, nullptr, kStatic, 0}, {"ceil", Ceil, nullptr, kStatic, 0},
    {"cos", Cos, nullptr, kStatic, 0},     {"exp", Exp, nullptr, kStatic, 0},     {"floor", Floor, nullptr, kStatic, 0},
    {"log", Log, nullptr, kStatic, 0},     {"max", Max, nullptr, kStatic, 0},     {"min", Min, nullptr, kStatic, 0},
    {"pow", Pow, nullptr, kStatic, 0},     {"random", Random, nullptr, kStatic, 0}, {"round", Round, nullptr, kStatic, 0},
    {"sin", Sin, nullptr, kStatic, 0},     {"sqrt", Sqrt, nullptr, kStatic, 0},   {"tan", Tan, nullptr, kStatic, 0},
};
const Constant kMathConstants[] = {
    {"E", M_E},         {"LN10", M_LN10},   {"LN2", M_LN2},         {"LOG10E", M_LOG10E},
    {"LOG2E", M_LOG2E}, {"PI", M_PI},       {"SQRT1_2", M_SQRT1_2}, {"SQRT2", M_SQRT2},
};

}  // namespace

void InstallNumbers(Machine& m) {
  m.numberClass = m.DefineClass("", "Number", m.objectClass);
  m.intClass = m.DefineClass("", "int", m.objectClass);
  m.uintClass = m.DefineClass("", "uint", m.objectClass);
  m.numberClass->callHandler = m.NativeMethod("Number", NumberCall);
  m.intClass->callHandler = m.NativeMethod("int", IntCall);
  m.uintClass->callHandler = m.NativeMethod("uint", UintCall);
  for (ClassObject* c : {m.numberClass, m.intClass, m.uintClass}) c->isFinal = true;
  Install(m, m.numberClass, kNumberMembers);
  Install(m, m.intClass, kIntMembers);
  Install(m, m.uintClass, kUintMembers);
  Install(m, m.numberClass, kNumberConstants);
  Install(m, m.intClass, kIntConstants);
  Install(m, m.uintClass, kUintConstants);
}

void InstallMath(Machine& m) {
  ClassObject* math = m.DefineClass("", "Math", m.objectClass);
  math->isFinal = true;
  Install(m, math, kMathMembers);
  Install(m, math, kMathConstants);
}

}  // namespace vantrel::flash::avm2
