// Arrays as the player keeps them: elements are properties of the array object, with
// holes, a creation order shared with the named properties, attributes, and a length
// of their own.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "flash/avm1/builtins/data_support.h"
#include "script_fixture.h"

namespace vantrel::flash::avm1 {
namespace {

class Arrays : public ::testing::Test, public testing::ScriptFixture {
 protected:
  Object* Make(std::initializer_list<Value> items = {}) { return machine.NewArray(std::vector<Value>(items)); }
  Value Call(Object* self, const char* method, std::initializer_list<Value> args = {}) {
    const std::vector<Value> list(args);
    return machine.CallMethod(Value::Obj(self), method, list);
  }
  void Flags(Object* self, const char* names, int set) {
    const std::vector<Value> args{Value::Obj(self), Str(names), Num(set), Num(0)};
    machine.CallFunction(Global("ASSetPropFlags"), Value(), args);
  }
  // for..in order, comma separated.
  std::string Keys(Object* o) {
    std::string out;
    for (const std::string& name : machine.Enumerate(o)) out += (out.empty() ? "" : ",") + name;
    return out;
  }
  double Length(Object* o) { return machine.Get(o, "length").number; }
  std::string Joined(Object* o) { return Text(Call(o, "join")); }
  bool Own(Object* o, const char* name) { return Call(o, "hasOwnProperty", {Str(name)}).boolean; }
};

TEST_F(Arrays, HolesHaveALengthButNoElement) {
  Object* a = Make();
  machine.Set(a, "5", Str("x"));
  EXPECT_EQ(Length(a), 6);
  EXPECT_FALSE(Own(a, "2"));
  EXPECT_TRUE(Own(a, "5"));
  EXPECT_FALSE(machine.Has(a, "2"));
  EXPECT_EQ(Joined(a), "undefined,undefined,undefined,undefined,undefined,x");
  EXPECT_EQ(Keys(a), "5");

  // new Array(n) is all holes; new Array(-1) keeps its length.
  Object* sized = machine.Construct(Global("Array").AsObject(), std::vector<Value>{Num(3)});
  EXPECT_EQ(Length(sized), 3);
  EXPECT_EQ(Keys(sized), "");
  Object* negative = machine.Construct(Global("Array").AsObject(), std::vector<Value>{Num(-1)});
  EXPECT_EQ(Length(negative), -1);
  EXPECT_EQ(Joined(negative), "");

  // A hole reads through the prototype (Array.prototype is an array itself); an
  // element does not, and methods read only the array's own elements.
  Object* proto = machine.Get(Global("Array").AsObject(), "prototype").AsObject();
  machine.Set(proto, "2", Str("inherited"));
  EXPECT_EQ(Text(machine.Get(a, "2")), "inherited");
  EXPECT_EQ(Text(machine.Get(a, "5")), "x");
  EXPECT_EQ(Joined(a), "undefined,undefined,undefined,undefined,undefined,x");
  EXPECT_EQ(Keys(sized), "2");
}

TEST_F(Arrays, ElementsAndNamedPropertiesEnumerateNewestFirst) {
  Object* a = machine.Construct(Global("Array").AsObject(), std::vector<Value>{Num(16)});
  machine.Set(a, "1", Value());
  machine.Set(a, "0", Str("e0"));
  machine.Set(a, "foo", Str("foo"));
  machine.Set(a, "5", Str("e5"));
  EXPECT_EQ(Keys(a), "5,foo,0,1");
  // Overwriting keeps a property's place; deleting and setting again moves it to the front.
  machine.Set(a, "0", Str("again"));
  EXPECT_EQ(Keys(a), "5,foo,0,1");
  EXPECT_TRUE(Call(a, "pop").IsUndefined());
  EXPECT_EQ(Length(a), 15);
  Call(a, "shift");  // every element below the length is made again, in index order
  EXPECT_EQ(Keys(a), "13,12,11,10,9,8,7,6,5,4,3,2,1,0,foo");
  // An array up the prototype chain lends its elements, listed before the object's own.
  Object* o = machine.NewObject();
  o->proto = Make({Str("p0"), Str("p1")});
  machine.Set(o, "own", Num(1));
  EXPECT_EQ(Text(machine.Get(o, "1")), "p1");
  EXPECT_EQ(Keys(o), "1,0,own");
}

TEST_F(Arrays, LengthCutsAndWrapsLikeThePlayer) {
  Object* a = Make({Str("a"), Str("b"), Str("c")});
  machine.Set(a, "length", Num(1));
  EXPECT_EQ(Keys(a), "0");
  machine.Set(a, "length", Num(3));
  EXPECT_EQ(Joined(a), "a,undefined,undefined");
  EXPECT_EQ(Keys(a), "0");

  // Index-like names past an int read modulo 2^32 move the length but stay names.
  machine.Set(a, "3", Str("d"));
  machine.Set(a, "-5", Str("neg"));
  machine.Set(a, "2147483648", Str("big"));
  EXPECT_EQ(Length(a), 4);
  machine.Set(a, "2147483647", Str("max"));
  EXPECT_EQ(Length(a), -2147483648.0);  // the deletion cut every element below the old length
  EXPECT_EQ(Keys(a), "2147483647,2147483648,-5");
  machine.Set(a, "2147483648", Str("again"));  // -2^31 is at the length now
  EXPECT_EQ(Length(a), -2147483647.0);
  machine.Set(a, "4294967296", Str("wraps to 0"));
  EXPECT_EQ(Length(a), 1);
  machine.Set(a, "4294967295", Str("wraps to -1"));
  EXPECT_EQ(Length(a), 1);
  // Cutting a length that reached far removes the far elements kept as names.
  machine.Set(a, "length", Num(0));
  machine.Set(a, "20000000", Str("far"));
  EXPECT_EQ(Length(a), 20000001);
  machine.Set(a, "length", Num(5));
  EXPECT_FALSE(Own(a, "20000000"));
  EXPECT_TRUE(Own(a, "2147483648"));
}

TEST_F(Arrays, DeletingElementsHonoursDontDelete) {
  Object* a = Make({Num(1), Num(2), Num(3)});
  Flags(a, "1", kDontDelete);
  machine.Set(a, "length", Num(0));
  EXPECT_EQ(Length(a), 0);
  EXPECT_EQ(Keys(a), "1");  // it outlives the length
  EXPECT_EQ(Text(machine.Get(a, "1")), "2");
  Call(a, "push", {Num(9)});
  EXPECT_EQ(Joined(a), "9");
}

TEST_F(Arrays, MovingMethodsRecreateWhatTheyMove) {
  // reverse: each pair is deleted and created again low index first; holes become
  // undefined elements, a middle hole stays one.
  Object* sparse = Make();
  machine.Set(sparse, "6", Num(4));
  Call(sparse, "reverse");
  EXPECT_EQ(Keys(sparse), "4,2,5,1,6,0");
  EXPECT_EQ(Joined(sparse), "4,undefined,undefined,undefined,undefined,undefined,undefined");

  // An element that refuses deletion keeps its place, a read-only one its value.
  Object* fixed = Make({Num(1), Num(2), Num(3), Num(4), Num(5)});
  Flags(fixed, "1", kDontDelete | kReadOnly);
  Call(fixed, "reverse");
  EXPECT_EQ(Joined(fixed), "5,2,3,2,1");
  EXPECT_EQ(Keys(fixed), "3,4,0,2,1");

  // shift re-creates from the front, unshift from the back, then the new ones.
  Object* hidden = Make({Num(1), Num(2), Num(3)});
  Flags(hidden, "1", kDontEnum | kDontDelete);
  Call(hidden, "shift");
  EXPECT_EQ(Joined(hidden), "2,3");
  EXPECT_EQ(Keys(hidden), "0");
  Object* front = Make({Num(1), Num(2), Num(3)});
  Flags(front, "0", kDontDelete | kReadOnly);
  EXPECT_EQ(Call(front, "unshift", {Num(42), Num(43), Num(44)}).number, 6);
  EXPECT_EQ(Joined(front), "1,43,44,1,2,3");
  EXPECT_EQ(Keys(front), "2,1,3,4,5,0");
}

TEST_F(Arrays, ListsFilledByTheEngineStayArrays) {
  // Engine code appends to the element vector directly (listener lists, child nodes).
  Object* a = Make({Num(1)});
  machine.Set(a, "name", Str("n"));
  a->Array()->elements.push_back(Num(2));
  EXPECT_EQ(Length(a), 2);
  EXPECT_EQ(Keys(a), "1,name,0");
  a->Array()->elements.clear();
  EXPECT_EQ(Length(a), 0);
  EXPECT_EQ(Call(a, "push", {Num(7)}).number, 1);
  EXPECT_EQ(Joined(a), "7");
}

TEST_F(Arrays, StoredArraysKeepTheirHoles) {
  Object* a = machine.Construct(Global("Array").AsObject(), std::vector<Value>{Num(8)});
  machine.Set(a, "0", Str("first"));
  machine.Set(a, "5", Str("sixth"));
  data::AmfWriter writer(machine);
  writer.WriteValue(Value::Obj(a));
  data::AmfReader reader(machine, writer.Bytes());
  const auto copy = reader.ReadValue();
  ASSERT_TRUE(copy && copy->IsObject());
  Object* b = copy->AsObject();
  EXPECT_EQ(Length(b), 8);
  EXPECT_EQ(Keys(b), "5,0");
  EXPECT_FALSE(Own(b, "3"));
}

TEST_F(Arrays, DenseArraysStayCompact) {
  Object* a = Make();
  for (int i = 0; i < 100000; ++i) machine.Set(a, std::to_string(i), Num(i));
  EXPECT_EQ(Length(a), 100000);
  EXPECT_LE(a->Array()->Bytes(), 2 * 100000 * (sizeof(Value) + sizeof(std::uint32_t)));
  // A far index is a hole run, not a copy of the whole range.
  Object* far = machine.Construct(Global("Array").AsObject(), std::vector<Value>{Num(1 << 30)});
  EXPECT_EQ(Length(far), 1 << 30);
  EXPECT_LT(far->Array()->Bytes(), 1024u);
  const std::vector<std::string> keys = machine.Enumerate(a);
  ASSERT_EQ(keys.size(), 100000u);
  EXPECT_EQ(keys.front(), "99999");
}

TEST_F(Arrays, FarElementsCostOneEntryEach) {
  Object* a = Make();
  machine.Set(a, "15000000", Str("far"));
  machine.Set(a, "n", Num(1));
  machine.Set(a, "5", Str("near"));
  EXPECT_LT(a->Array()->Bytes(), 4096u);
  EXPECT_EQ(Length(a), 15000001);
  EXPECT_EQ(Text(machine.Get(a, "15000000")), "far");
  EXPECT_TRUE(Own(a, "15000000"));
  EXPECT_FALSE(Own(a, "14999999"));
  EXPECT_EQ(Keys(a), "5,n,15000000");

  // Attributes hold on a far element, and a shorter length cuts it unless it refuses.
  Flags(a, "15000000", 4);  // read-only
  machine.Set(a, "15000000", Str("changed"));
  EXPECT_EQ(Text(machine.Get(a, "15000000")), "far");
  machine.Set(a, "14000000", Num(2));
  Flags(a, "14000000", 2);  // cannot be deleted
  machine.Set(a, "length", Num(10));
  EXPECT_EQ(Keys(a), "14000000,5,n");
  EXPECT_EQ(Length(a), 10);
  EXPECT_FALSE(a->Array()->Remove(14000000));
  EXPECT_TRUE(a->Array()->Remove(5));

  // Filled from the top down, the run from 0 takes over the far elements it reaches:
  // each keeps its value, its creation order and its attributes.
  Object* b = Make();
  const int top = 200000;
  machine.Set(b, std::to_string(top), Str("top"));
  Flags(b, std::to_string(top).c_str(), 4);
  for (int i = top - 1; i >= 0; --i) machine.Set(b, std::to_string(i), Num(i));
  for (int i = top; i >= 0; --i) machine.Set(b, std::to_string(i), Num(-i));  // all but the top take it
  EXPECT_EQ(Length(b), top + 1);
  EXPECT_EQ(Text(machine.Get(b, std::to_string(top))), "top");
  EXPECT_EQ(machine.Get(b, "123456").number, -123456);
  const std::vector<std::string> keys = machine.Enumerate(b);
  ASSERT_EQ(keys.size(), static_cast<std::size_t>(top + 1));
  EXPECT_EQ(keys.front(), "0");
  EXPECT_EQ(keys.back(), std::to_string(top));
  for (int i = 0; i < 300000; ++i) machine.Set(b, std::to_string(i), Num(i));
  EXPECT_EQ(Text(machine.Get(b, std::to_string(top))), "top");
  EXPECT_EQ(Length(b), 300000);
  EXPECT_EQ(machine.Get(b, "299999").number, 299999);
}

}  // namespace
}  // namespace vantrel::flash::avm1
