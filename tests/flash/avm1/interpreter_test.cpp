// The interpreter on its own: scope chains, calls without C++ recursion, exceptions,
// and the limits that hold whatever a script does.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace vantrel::flash::avm1
