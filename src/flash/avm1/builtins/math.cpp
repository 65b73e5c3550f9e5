// Math: the functions and constants. Every function converts its first two arguments
// (valueOf runs for both, as in the player), whatever it uses.
#include <cmath>
#include <limits>
#include <random>

#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/native_support.h"

namespace vantrel::flash::avm1 {

namespace {

struct Numbers {
  double a, b;
};

Numbers Convert(Call& call) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  Numbers n{nan, nan};
  if (call.Count() > 0) n.a = ArgNumber(call, 0);
  if (call.Count() > 1) n.b = ArgNumber(call, 1);
  return n;
}

template <double (*F)(double)>
Value Unary(Call& call) {
  return Value::Number(F(Convert(call).a));
}

double Abs(double x) { return std::fabs(x); }
double Sin(double x) { return std::sin(x); }
double Cos(double x) { return std::cos(x); }
double Tan(double x) { return std::tan(x); }
double Exp(double x) { return std::exp(x); }
double Log(double x) { return std::log(x); }
double Sqrt(double x) { return std::sqrt(x); }
double Floor(double x) { return std::floor(x); }
double Ceil(double x) { return std::ceil(x); }
double Atan(double x) { return std::atan(x); }
double Asin(double x) { return std::asin(x); }
double Acos(double x) { return std::acos(x); }
// Halves go up: round(-12.5) is -12.
double Round(double x) { return std::floor(x + 0.5); }

Value Min(Call& call) {
  if (call.Count() == 0) return Value::Number(std::numeric_limits<double>::infinity());
  const Numbers n = Convert(call);
  if (std::isnan(n.a) || std::isnan(n.b)) return Value::Number(std::numeric_limits<double>::quiet_NaN());
  return Value::Number(n.b < n.a ? n.b : n.a);
}

Value Max(Call& call) {
  if (call.Count() == 0) return Value::Number(-std::numeric_limits<double>::infinity());
  const Numbers n = Convert(call);
  if (std::isnan(n.a) || std::isnan(n.b)) return Value::Number(std::numeric_limits<double>::quiet_NaN());
  return Value::Number(n.b > n.a ? n.b : n.a);
}

Value Atan2(Call& call) {
  const Numbers n = Convert(call);
  return Value::Number(std::atan2(n.a, n.b));
}

Value Pow(Call& call) {
  const Numbers n = Convert(call);
  return Value::Number(std::pow(n.a, n.b));
}

Value Random(Call& call) {
  Convert(call);
  // One generator per thread, seeded from the system: scripts expect a new sequence
  // on every run.
  thread_local std::mt19937_64 engine{std::random_device{}()};
  return Value::Number(std::uniform_real_distribution<double>(0.0, 1.0)(engine));
}

// ASnative(200, n) for an n without a function: converts its arguments like the others
// and answers NaN.
Value Unknown(Call& call) {
  Convert(call);
  return Value::Number(std::numeric_limits<double>::quiet_NaN());
}

constexpr std::uint16_t kMethod = kDontEnum | kDontDelete | kReadOnly;

const Member kMembers[] = {
    {"abs", Unary<Abs>, nullptr, kMethod, 200, 0},      {"min", Min, nullptr, kMethod, 200, 1},
    {"max", Max, nullptr, kMethod, 200, 2},             {"sin", Unary<Sin>, nullptr, kMethod, 200, 3},
    {"cos", Unary<Cos>, nullptr, kMethod, 200, 4},      {"atan2", Atan2, nullptr, kMethod, 200, 5},
    {"tan", Unary<Tan>, nullptr, kMethod, 200, 6},      {"exp", Unary<Exp>, nullptr, kMethod, 200, 7},
    {"log", Unary<Log>, nullptr, kMethod, 200, 8},      {"sqrt", Unary<Sqrt>, nullptr, kMethod, 200, 9},
    {"round", Unary<Round>, nullptr, kMethod, 200, 10}, {"random", Random, nullptr, kMethod, 200, 11},
    {"floor", Unary<Floor>, nullptr, kMethod, 200, 12}, {"ceil", Unary<Ceil>, nullptr, kMethod, 200, 13},
    {"atan", Unary<Atan>, nullptr, kMethod, 200, 14},   {"asin", Unary<Asin>, nullptr, kMethod, 200, 15},
    {"acos", Unary<Acos>, nullptr, kMethod, 200, 16},   {"pow", Pow, nullptr, kMethod, 200, 17},
};

}  // namespace

void InstallMath(Runtime& rt) {
  Object* math = rt.MakeObject();
  // The constants come first, in this order, as in the player (for..in shows it).
  constexpr std::uint16_t kConstant = kDontEnum | kDontDelete | kReadOnly;
  math->Define("SQRT2", Value::Number(std::sqrt(2.0)), kConstant);
  math->Define("SQRT1_2", Value::Number(std::sqrt(0.5)), kConstant);
  math->Define("PI", Value::Number(std::acos(-1.0)), kConstant);
  math->Define("LOG2E", Value::Number(1.0 / std::log(2.0)), kConstant);
  math->Define("LOG10E", Value::Number(1.0 / std::log(10.0)), kConstant);
  math->Define("LN2", Value::Number(std::log(2.0)), kConstant);
  math->Define("LN10", Value::Number(std::log(10.0)), kConstant);
  math->Define("E", Value::Number(std::exp(1.0)), kConstant);
  Install(rt, math, kMembers);
  rt.RegisterNative(200, kUnknownMathNative, rt.MakeFunction(Unknown));
  rt.global->Define("Math", Value::Obj(math), kDontEnum);
}

}  // namespace vantrel::flash::avm1
