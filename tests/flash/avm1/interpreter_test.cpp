// The interpreter on its own: scope chains, calls without C++ recursion, exceptions,
// and the limits that hold whatever a script does.
#include <gtest/gtest.h>

#include <cmath>

#include "script_fixture.h"

namespace vantrel::flash::avm1 {
namespace {

using testing::ScriptFixture;

TEST(Avm1Interpreter, ObjectsKeepPropertiesInOrderWithAttributes) {
  ScriptFixture f;
  Object* o = f.rt.MakeObject();
  f.machine.Set(o, "b", Value::Number(1));
  f.machine.Set(o, "a", Value::Number(2));
  o->Define("hidden", Value::Number(3), kDontEnum);
  const auto names = f.machine.Enumerate(o);
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[0], "a");  // most recent first, as for..in gives them
  EXPECT_EQ(names[1], "b");
  o->Define("fixed", Value::Number(4), kReadOnly);
  f.machine.Set(o, "fixed", Value::Number(5));
  EXPECT_EQ(f.machine.Get(o, "fixed").number, 4);
}

int resolveCalls = 0;
Value CountingResolve(Call&) {
  ++resolveCalls;
  return {};
}

// The conversions look valueOf and toString up without __resolve: an object without
// them converts to undefined (a number: NaN) and prints as its type.
TEST(Avm1Interpreter, ConversionsDoNotAskResolve) {
  ScriptFixture f;
  f.machine.SetDefaultVersion(8);
  Object* o = f.rt.MakeObject(nullptr);
  o->Define("__resolve", Value::Obj(f.rt.MakeFunction(CountingResolve)));
  resolveCalls = 0;
  EXPECT_TRUE(std::isnan(f.machine.ToNumber(Value::Obj(o))));
  EXPECT_EQ(f.machine.ToString(Value::Obj(o)), "[type Object]");
  EXPECT_EQ(resolveCalls, 0);
  EXPECT_TRUE(f.machine.Get(o, "other").IsUndefined());  // other lookups still ask it
  EXPECT_EQ(resolveCalls, 1);
}

}  // namespace
}  // namespace vantrel::flash::avm1
