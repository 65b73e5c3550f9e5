// The Pixel Bender classes driven through the machine: what ShaderData shows of a kernel,
// how a ShaderJob takes its parameters and writes each kind of target, and its errors.
#include <gtest/gtest.h>

#include "flash/avm2/builtins/bitmap_data.h"
#include "flash/avm2/machine.h"

namespace vantrel::flash::avm2 {
namespace {

// version 1; metadata vendor "Us"; float "amount" in f1.r (default 0.25); a texture "src";
// a float4 output in f0: (amount, 0.5, 1, 1).
std::string Kernel() {
  std::string k = {'\xA5', 1, 0, 0, 0};
  k += std::string("\xA0\x0C") + "vendor" + '\0' + "Us" + '\0';
  k += std::string("\xA1\x01\x01\x01\x00\x08", 6) + "amount" + '\0';
  k += std::string("\xA2\x01") + "defaultValue" + '\0' + std::string("\x3E\x80\x00\x00", 4);
  k += std::string("\xA3\x00\x04", 3) + "src" + '\0';
  k += std::string("\xA1\x02\x04\x00\x00\x0F", 6) + "dst" + '\0';
  k += std::string("\x1D\x00\x00\x80\x01\x00\x00\x00", 8);          // mov f0.r, f1.r
  k += std::string("\x32\x00\x00\x40\x3F\x00\x00\x00", 8);          // f0.g = 0.5
  k += std::string("\x32\x00\x00\x30\x3F\x80\x00\x00", 8);          // f0.ba = 1
  return k;
}

class Shaders : public ::testing::Test {
 protected:
  gc::Heap heap;
  Machine m{heap};

  Value New(const std::string& cls, std::vector<Value> args = {}) {
    return Value::Obj(m.ConstructClass(m.FindClass(cls), args.data(), static_cast<int>(args.size())));
  }
  Value Bytes(const std::string& bytes) {
    const Value b = New("flash.utils.ByteArray");
    static_cast<NativeObject*>(b.object)->text = bytes;
    return b;
  }
  Value Num(double d) { return Value::Number(d); }
  std::string Str(const Value& v) { return m.ToString(v); }
  std::string ErrorOf(const std::function<void()>& fn) {
    try {
      fn();
    } catch (const Thrown& thrown) {
      const std::string text = m.ErrorText(thrown.value);
      return text.substr(0, text.find('\n'));  // the message line, not the stack
    }
    return "";
  }
};

TEST_F(Shaders, ShaderDataShowsTheKernel) {
  const Value shader = New("flash.display.Shader", {Bytes(Kernel())});
  const Value data = m.GetPublic(shader, "data");
  EXPECT_EQ(Str(m.GetPublic(data, "vendor")), "Us");
  const Value amount = m.GetPublic(data, "amount");
  EXPECT_EQ(m.QualifiedClassName(amount), "flash.display::ShaderParameter");
  EXPECT_EQ(Str(m.GetPublic(amount, "type")), "float");
  EXPECT_EQ(Str(m.GetPublic(amount, "value")), "0.25");
  EXPECT_EQ(Str(m.GetPublic(amount, "defaultValue")), "0.25");
  const Value src = m.GetPublic(data, "src");
  EXPECT_EQ(m.ToNumber(m.GetPublic(src, "channels")), 4);
  EXPECT_TRUE(m.GetPublic(src, "input").IsNull());
  EXPECT_TRUE(m.GetPublic(data, "dst").IsUndefined()) << "outputs are not shown";

  // The player's errors for bytecode it refuses (EOFError keeps the name "Error").
  EXPECT_EQ(ErrorOf([&] { New("flash.display.ShaderData", {Bytes("")}); }),
            "ArgumentError: Error #2004: One of the parameters is invalid.");
  EXPECT_EQ(ErrorOf([&] { New("flash.display.Shader", {Bytes(Kernel().substr(0, 28))}); }),
            "Error: Error #2030: End of file was encountered.");
}

TEST_F(Shaders, JobWritesBitmapsVectorsAndByteArrays) {
  const Value shader = New("flash.display.Shader", {Bytes(Kernel())});
  const Value bitmap = New("flash.display.BitmapData", {Num(2), Num(1)});
  m.CallPublic(New("flash.display.ShaderJob", {shader, bitmap}), "start", {Value::Bool(true)});
  // 0.25 and 0.5 of 255 round to 64 and 128.
  EXPECT_EQ(m.ToUint32(m.CallPublic(bitmap, "getPixel32", {Num(1), Num(0)})), 0xFF4080FFu);

  const Value data = m.GetPublic(shader, "data");
  m.SetPublic(m.GetPublic(data, "amount"), "value", Value::Obj(m.NewArray({m.StrValue("1")})));
  const Value vector = Value::Obj(m.ConstructClass(ApplyVector(m, m.numberClass), nullptr, 0));
  m.CallPublic(New("flash.display.ShaderJob", {shader, vector, Num(1), Num(1)}), "start", {Value::Bool(true)});
  EXPECT_EQ(Str(vector), "1,0.5,1,1");

  // A parameter without a value is 0; one the script replaced by something else is its default.
  m.SetPublic(m.GetPublic(data, "amount"), "value", Value::Null());
  const Value bytes = New("flash.utils.ByteArray");
  m.SetPublic(bytes, "endian", m.StrValue("littleEndian"));
  m.CallPublic(New("flash.display.ShaderJob", {shader, bytes, Num(1), Num(1)}), "start", {Value::Bool(true)});
  EXPECT_EQ(static_cast<NativeObject*>(bytes.object)->text.substr(0, 8), std::string("\0\0\0\0\0\0\0\x3F", 8));
  m.SetPublic(data, "amount", Num(7));
  m.CallPublic(New("flash.display.ShaderJob", {shader, bitmap}), "start", {Value::Bool(true)});
  EXPECT_EQ(m.ToUint32(m.CallPublic(bitmap, "getPixel", {Num(0), Num(0)})), 0x4080FFu);

  // Only bitmaps, byte arrays and number vectors take a job's pixels.
  EXPECT_EQ(ErrorOf([&] { m.CallPublic(New("flash.display.ShaderJob", {shader, Value::Obj(m.NewObject())}), "start", {Value::Bool(true)}); }),
            "ArgumentError: Error #2004: One of the parameters is invalid.");
}

TEST_F(Shaders, ParameterValuesMustBeNumbers) {
  const Value shader = New("flash.display.Shader", {Bytes(Kernel())});
  const Value amount = m.GetPublic(m.GetPublic(shader, "data"), "amount");
  const Value bitmap = New("flash.display.BitmapData", {Num(1), Num(1)});
  for (const Value bad : {Value::Bool(true), Value::Null(), m.StrValue("x"), Value::Obj(m.NewArray({Num(1)}))}) {
    m.SetPublic(amount, "value", Value::Obj(m.NewArray({bad})));
    EXPECT_EQ(ErrorOf([&] { m.CallPublic(New("flash.display.ShaderJob", {shader, bitmap}), "start", {Value::Bool(true)}); }),
              "ArgumentError: Error #2004: One of the parameters is invalid.")
        << Str(bad);
  }
}

TEST_F(Shaders, BitmapDataKeepsItsSizeLimitsAndAlpha) {
  for (const auto& size : {std::pair{0.0, 1.0}, {8192.0, 1.0}, {5000.0, 5000.0}}) {
    EXPECT_EQ(ErrorOf([&] { New("flash.display.BitmapData", {Num(size.first), Num(size.second)}); }),
              "ArgumentError: Error #2015: Invalid BitmapData.")
        << size.first << "x" << size.second;
  }
  const Value opaque = New("flash.display.BitmapData", {Num(2), Num(2), Value::Bool(false), Num(0x80123456)});
  EXPECT_EQ(m.ToUint32(m.CallPublic(opaque, "getPixel32", {Num(0), Num(0)})), 0xFF123456u);
  const Value clear = New("flash.display.BitmapData", {Num(2), Num(2), Value::Bool(true), Num(0)});
  m.CallPublic(clear, "setPixel32", {Num(1), Num(1), Num(0x80FF0000)});
  m.CallPublic(clear, "setPixel", {Num(1), Num(1), Num(0x00FF00)});  // keeps the alpha
  EXPECT_EQ(m.ToUint32(m.CallPublic(clear, "getPixel32", {Num(1), Num(1)})), 0x8000FF00u);
  EXPECT_EQ(m.ToUint32(m.CallPublic(clear, "getPixel32", {Num(5), Num(0)})), 0u) << "outside";
}

TEST_F(Shaders, AJobStartedWithoutWaitingCompletesLater) {
  const Value shader = New("flash.display.Shader", {Bytes(Kernel())});
  const Value bitmap = New("flash.display.BitmapData", {Num(1), Num(1), Value::Bool(true), Num(0)});
  const Value job = New("flash.display.ShaderJob", {shader, bitmap});
  static Value heard;
  heard = Value();
  m.CallPublic(job, "addEventListener",
               {m.StrValue("complete"), Value::Obj(m.NewNativeFunction("listener", [](Machine&, const Value&, const Value* a, int) {
                  heard = a[0];
                  return Value();
                }))});
  m.CallPublic(job, "start", {});
  EXPECT_TRUE(heard.IsUndefined()) << "the event comes after start() returns";
  ASSERT_EQ(m.timers.size(), 1u);
  const Machine::Timer timer = m.timers.front();
  m.Call(timer.function, Value::Null(), timer.args.data(), static_cast<int>(timer.args.size()));
  ASSERT_TRUE(heard.IsObject());
  EXPECT_EQ(m.QualifiedClassName(heard), "flash.events::ShaderEvent");
  EXPECT_EQ(m.GetPublic(heard, "bitmapData").object, bitmap.object);
  heard = Value();
}

}  // namespace
}  // namespace vantrel::flash::avm2
