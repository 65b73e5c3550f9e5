// flash.geom arithmetic and the text forms the player prints.
#include <cmath>
#include <initializer_list>
#include <vector>

#include <gtest/gtest.h>

#include "script_fixture.h"

namespace vantrel::flash::avm1::testing {
namespace {

struct GeomFixture : ScriptFixture {
  Object* New(const char* name, std::initializer_list<double> numbers) {
    std::vector<Value> args;
    for (const double n : numbers) args.push_back(Value::Number(n));
    return NewWith(name, args);
  }
  Object* NewWith(const char* name, const std::vector<Value>& args) {
    const Value geom = machine.GetMember(machine.GetMember(Value::Obj(rt.global), "flash"), "geom");
    Object* ctor = machine.GetMember(geom, name).AsObject();
    EXPECT_NE(ctor, nullptr) << name;
    return ctor ? machine.Construct(ctor, args) : nullptr;
  }
  Value Static(const char* className, const char* method, const std::vector<Value>& args) {
    const Value geom = machine.GetMember(machine.GetMember(Value::Obj(rt.global), "flash"), "geom");
    return machine.CallMethod(machine.GetMember(geom, className), method, args);
  }
  Value Call(const Value& target, const char* method, const std::vector<Value>& args = {}) {
    return machine.CallMethod(target, method, args);
  }
  Value Call(Object* target, const char* method, const std::vector<Value>& args = {}) {
    return Call(Value::Obj(target), method, args);
  }
  std::string Say(const Value& v) { return machine.ToString(v); }
  std::string Say(Object* o) { return machine.ToString(Value::Obj(o)); }
};

TEST(GeomTest, PointArithmetic) {
  GeomFixture f;
  EXPECT_EQ(f.Say(f.New("Point", {})), "(x=0, y=0)");
  Object* p = f.New("Point", {1, 2});
  EXPECT_EQ(f.Say(f.Call(p, "add", {Value::Obj(f.New("Point", {3, 4}))})), "(x=4, y=6)");
  EXPECT_EQ(f.Say(f.Call(p, "subtract", {Value()})), "(x=NaN, y=NaN)");
  EXPECT_EQ(f.Say(p), "(x=1, y=2)");
  EXPECT_TRUE(f.machine.ToBoolean(f.Call(p, "equals", {Value::Obj(f.New("Point", {1, 2}))})));
  Object* plain = f.machine.NewObject();
  f.machine.Set(plain, "x", Value::Number(1));
  f.machine.Set(plain, "y", Value::Number(2));
  EXPECT_FALSE(f.machine.ToBoolean(f.Call(p, "equals", {Value::Obj(plain)})));

  EXPECT_EQ(f.Say(f.Static("Point", "distance", {Value::Obj(f.New("Point", {-100, 200})),
                                                  Value::Obj(f.New("Point", {100, 200}))})),
            "200");
  EXPECT_TRUE(f.Static("Point", "distance", {Value::Obj(plain), Value::Obj(p)}).IsUndefined());
  EXPECT_EQ(f.Say(f.Static("Point", "interpolate", {Value::Obj(f.New("Point", {-100, -200})),
                                                     Value::Obj(f.New("Point", {100, 200})), Value::Number(-1)})),
            "(x=300, y=600)");
  EXPECT_EQ(f.Say(f.Static("Point", "polar", {Value::Number(5), Value::Number(std::atan(0.75))})), "(x=4, y=3)");

  Object* n = f.New("Point", {100, 200});
  f.Call(n, "normalize", {Value::Number(-5)});
  EXPECT_EQ(f.Say(n), "(x=-2.23606797749979, y=-4.47213595499958)");
  Object* zero = f.New("Point", {});
  f.Call(zero, "normalize", {Value::Number(10)});
  EXPECT_EQ(f.Say(zero), "(x=0, y=0)");
  f.Call(zero, "offset", {Value::Number(500)});
  EXPECT_EQ(f.Say(zero), "(x=500, y=NaN)");
  EXPECT_EQ(f.Say(f.machine.GetMember(Value::Obj(f.New("Point", {0, -200})), "length")), "200");
}

TEST(GeomTest, MatrixArithmetic) {
  GeomFixture f;
  EXPECT_EQ(f.Say(f.New("Matrix", {})), "(a=1, b=0, c=0, d=1, tx=0, ty=0)");
  EXPECT_EQ(f.Say(f.New("Matrix", {1, 2})), "(a=1, b=2, c=undefined, d=undefined, tx=undefined, ty=undefined)");

  Object* m = f.New("Matrix", {11, 13, 17, 19, 23, 29});
  f.Call(m, "concat", {Value::Obj(f.New("Matrix", {3, 0, 0, 5, 0, 0}))});
  EXPECT_EQ(f.Say(m), "(a=33, b=65, c=51, d=95, tx=69, ty=145)");
  f.Call(m, "translate", {Value::Number(7), Value::Number(9)});
  EXPECT_EQ(f.Say(m), "(a=33, b=65, c=51, d=95, tx=76, ty=154)");

  Object* inv = f.New("Matrix", {2, 3, 5, 7, 9, 11});
  f.Call(inv, "invert");
  EXPECT_EQ(f.Say(inv), "(a=-7, b=3, c=5, d=-2, tx=8, ty=-5)");

  Object* s = f.New("Matrix", {2, 0, 0, 2, 100, 100});
  f.Call(s, "scale", {Value::Number(7), Value::Number(11)});
  EXPECT_EQ(f.Say(s), "(a=14, b=0, c=0, d=22, tx=700, ty=1100)");

  Object* box = f.New("Matrix", {});
  f.Call(box, "createBox", {Value::Number(2), Value::Number(3)});
  EXPECT_EQ(f.Say(box), "(a=NaN, b=NaN, c=NaN, d=NaN, tx=0, ty=0)");
  f.Call(box, "createGradientBox", {Value::Number(200), Value::Number(300)});
  EXPECT_EQ(f.Say(box), "(a=0.1220703125, b=0, c=0, d=0.18310546875, tx=100, ty=150)");

  Object* t = f.New("Matrix", {2, 3, 5, 7, 11, 13});
  EXPECT_EQ(f.Say(f.Call(t, "transformPoint", {Value::Obj(f.New("Point", {1, 1}))})), "(x=18, y=23)");
  EXPECT_EQ(f.Say(f.Call(t, "deltaTransformPoint", {Value::Obj(f.New("Point", {1, 1}))})), "(x=7, y=10)");
  // Clones copy whatever the fields hold.
  f.machine.Set(t, "c", Value::Obj(f.machine.NewObject()));
  EXPECT_EQ(f.Say(f.Call(t, "clone")), "(a=2, b=3, c=[object Object], d=7, tx=11, ty=13)");
}

TEST(GeomTest, RectangleArithmetic) {
  GeomFixture f;
  Object* r = f.New("Rectangle", {1, 3, 5, 7});
  EXPECT_EQ(f.Say(r), "(x=1, y=3, w=5, h=7)");
  EXPECT_EQ(f.Say(f.machine.GetMember(Value::Obj(r), "bottomRight")), "(x=6, y=10)");
  EXPECT_TRUE(f.machine.ToBoolean(f.Call(r, "contains", {Value::Number(1), Value::Number(3)})));
  EXPECT_FALSE(f.machine.ToBoolean(f.Call(r, "contains", {Value::Number(6), Value::Number(3)})));
  // Comparisons with NaN answer undefined, as the script language's `<` does.
  EXPECT_TRUE(f.Call(r, "contains", {Value::Number(4), Value::Number(NAN)}).IsUndefined());
  EXPECT_TRUE(f.Call(r, "contains", {}).IsUndefined());
  EXPECT_TRUE(f.Call(r, "containsRectangle", {}).IsUndefined());
  EXPECT_TRUE(f.machine.ToBoolean(f.Call(f.New("Rectangle", {1, 2, NAN, 1}), "isEmpty")));
  EXPECT_EQ(f.Say(f.Call(r, "union", {})), "(x=NaN, y=NaN, w=NaN, h=NaN)");
  EXPECT_TRUE(f.machine.ToBoolean(f.Call(r, "containsRectangle", {Value::Obj(f.New("Rectangle", {2, 4, 1, 1}))})));

  Object* other = f.New("Rectangle", {4, 0, 10, 5});
  EXPECT_TRUE(f.machine.ToBoolean(f.Call(r, "intersects", {Value::Obj(other)})));
  EXPECT_EQ(f.Say(f.Call(r, "intersection", {Value::Obj(other)})), "(x=4, y=3, w=2, h=2)");
  EXPECT_EQ(f.Say(f.Call(r, "union", {Value::Obj(other)})), "(x=1, y=0, w=13, h=10)");
  EXPECT_EQ(f.Say(f.Call(r, "intersection", {Value::Obj(f.New("Rectangle", {100, 100, 1, 1}))})),
            "(x=0, y=0, w=0, h=0)");

  f.Call(r, "inflate", {Value::Number(1), Value::Number(2)});
  EXPECT_EQ(f.Say(r), "(x=0, y=1, w=7, h=11)");
  f.machine.Set(r, "right", Value::Number(20));
  f.machine.Set(r, "left", Value::Number(10));
  EXPECT_EQ(f.Say(r), "(x=10, y=1, w=10, h=11)");
  f.Call(r, "setEmpty");
  EXPECT_TRUE(f.machine.ToBoolean(f.Call(r, "isEmpty")));
  EXPECT_EQ(f.Say(f.NewWith("Rectangle", {Value::Number(1)})), "(x=1, y=undefined, w=undefined, h=undefined)");
}

TEST(GeomTest, ColorTransformArithmetic) {
  GeomFixture f;
  Object* ct = f.New("ColorTransform", {1000, 1000, 1000, 1000, 1000.1, 1000.1, 1000.1, 1000.1});
  f.Call(ct, "concat", {Value::Obj(f.New("ColorTransform", {0.25, 0.25, 0.25, 0.25, 35, 50, 65, 80}))});
  EXPECT_EQ(f.Say(ct),
            "(redMultiplier=250, greenMultiplier=250, blueMultiplier=250, alphaMultiplier=250, redOffset=36000.1, "
            "greenOffset=51000.1, blueOffset=66000.1, alphaOffset=81000.1)");
  // Concatenating something that is no colour transform changes nothing.
  f.Call(ct, "concat", {Value::Obj(f.machine.NewObject())});
  EXPECT_EQ(f.Say(f.machine.GetMember(Value::Obj(ct), "redMultiplier")), "250");

  Object* tint = f.New("ColorTransform", {});
  f.machine.Set(tint, "rgb", Value::Number(0xFF1900));
  EXPECT_EQ(f.Say(f.machine.GetMember(Value::Obj(tint), "rgb")), "16718080");
  EXPECT_EQ(f.Say(tint),
            "(redMultiplier=0, greenMultiplier=0, blueMultiplier=0, alphaMultiplier=1, redOffset=255, "
            "greenOffset=25, blueOffset=0, alphaOffset=0)");
  // The prototype's members enumerate, most recent first, as the player lists them.
  const Value proto = f.machine.GetMember(f.machine.GetMember(Value::Obj(tint), "constructor"), "prototype");
  EXPECT_EQ(f.machine.Enumerate(proto.AsObject()),
            (std::vector<std::string>{"toString", "concat", "rgb", "blueOffset", "greenOffset", "redOffset",
                                      "alphaOffset", "blueMultiplier", "greenMultiplier", "redMultiplier",
                                      "alphaMultiplier"}));
  f.machine.Set(tint, "redMultiplier", f.Str("x"));
  EXPECT_EQ(f.Say(f.machine.GetMember(Value::Obj(tint), "redMultiplier")), "NaN");
}

}  // namespace
}  // namespace vantrel::flash::avm1::testing
