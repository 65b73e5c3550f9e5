// Pixel Bender from scripts: flash.display.Shader, ShaderData (the kernel's metadata,
// parameters and inputs as dynamic properties), ShaderParameter, ShaderInput,
// ShaderPrecision, ShaderParameterType and ShaderJob (runs a kernel into a BitmapData, a
// ByteArray or a Vector.<Number>), with flash.events.ShaderEvent for jobs that finish
// later.
//
// ShaderData keeps its bytecode in its text and reads it again for each job; the objects
// of its parameters and inputs are plain properties the script may replace.
#include <bit>
#include <cmath>
#include <cstring>

#include "flash/avm2/builtins/bitmap_data.h"
#include "flash/avm2/builtins/support.h"
#include "flash/pixel_bender/pixel_bender.h"
#include "flash/script/string_utils.h"

namespace vantrel::flash::avm2 {

namespace pb = pixel_bender;

namespace {

// The classes, found once per machine by name.
ClassObject* Cls(Machine& m, const char* name) { return m.FindClass(name); }

bool IsInstanceOf(Machine& m, const Value& v, const char* className) {
  ClassObject* c = Cls(m, className);
  return c && v.IsObject() && m.IsInstance(v, c);
}

[[noreturn]] void Invalid(Machine& m) { m.ThrowError("ArgumentError", 2004, "One of the parameters is invalid."); }


NativeObject* Native(Machine& m, const Value& self, const char* className) {
  if (!IsInstanceOf(m, self, className))
    m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(self) + " to " + className + ".");
  return static_cast<NativeObject*>(self.object);
}

std::span<const std::uint8_t> BytesOf(const NativeObject* o) {
  return {reinterpret_cast<const std::uint8_t*>(o->text.data()), o->text.size()};
}

Value MetaValue(Machine& m, const pb::Value& v) {
  if (v.type == pb::Type::String) return m.StrValue(v.text);
  std::vector<Value> items;
  for (const double d : v.numbers) items.push_back(Value::Number(d));
  return Value::Obj(m.NewArray(std::move(items)));
}

// ShaderParameter and ShaderInput: a = value or input, b = type or width, c = index or
// height; an input's channel count and index follow in list.
Value ParameterConstruct(Machine&, const Value& self, const Value*, int) {
  auto* o = static_cast<NativeObject*>(self.object);
  o->a = Value::Null();
  o->b = Value();
  o->c = Value::Number(0);
  return self;
}
Value ParameterValue(Machine& m, const Value& self, const Value*, int) { return Native(m, self, "flash.display.ShaderParameter")->a; }
Value SetParameterValue(Machine& m, const Value& self, const Value* args, int argc) {
  Native(m, self, "flash.display.ShaderParameter")->a = Arg(args, argc, 0);
  return Value();
}
Value ParameterType(Machine& m, const Value& self, const Value*, int) {
  const Value t = Native(m, self, "flash.display.ShaderParameter")->b;
  return t.IsUndefined() ? Value::Null() : t;
}
Value ParameterIndex(Machine& m, const Value& self, const Value*, int) { return Native(m, self, "flash.display.ShaderParameter")->c; }

Value InputConstruct(Machine&, const Value& self, const Value*, int) {
  auto* o = static_cast<NativeObject*>(self.object);
  o->a = Value::Null();
  o->b = Value::Number(0);
  o->c = Value::Number(0);
  o->list = {Value::Number(0), Value::Number(0)};
  return self;
}
NativeObject* Input(Machine& m, const Value& self) { return Native(m, self, "flash.display.ShaderInput"); }
Value InputInput(Machine& m, const Value& self, const Value*, int) { return Input(m, self)->a; }
Value SetInputInput(Machine& m, const Value& self, const Value* args, int argc) {
  const Value v = Arg(args, argc, 0);
  if (!v.IsNullish() && !BitmapPixelsOf(v) && !IsInstanceOf(m, v, "flash.utils.ByteArray") &&
      !(v.IsObject() && v.object->kind == ObjectKind::Vector)) {
    Invalid(m);
  }
  NativeObject* o = Input(m, self);
  o->a = v.IsUndefined() ? Value::Null() : v;
  if (BitmapPixels* p = BitmapPixelsOf(v)) {
    o->b = Value::Number(p->Width());
    o->c = Value::Number(p->Height());
  }
  return Value();
}
Value InputWidth(Machine& m, const Value& self, const Value*, int) { return Input(m, self)->b; }
Value SetInputWidth(Machine& m, const Value& self, const Value* args, int argc) {
  Input(m, self)->b = Value::Number(m.ToInt32(Arg(args, argc, 0)));
  return Value();
}
Value InputHeight(Machine& m, const Value& self, const Value*, int) { return Input(m, self)->c; }
Value SetInputHeight(Machine& m, const Value& self, const Value* args, int argc) {
  Input(m, self)->c = Value::Number(m.ToInt32(Arg(args, argc, 0)));
  return Value();
}
Value InputChannels(Machine& m, const Value& self, const Value*, int) { return Input(m, self)->list.at(0); }
Value InputIndex(Machine& m, const Value& self, const Value*, int) { return Input(m, self)->list.at(1); }

// Reads bytecode into a kernel, or throws the player's error for it.
void ReadOrThrow(Machine& m, std::span<const std::uint8_t> bytes, pb::Kernel& kernel) {
  switch (pb::ReadKernel(bytes, kernel)) {
    case pb::ReadError::None:
      return;
    case pb::ReadError::EndOfFile:
      m.ThrowError("flash.errors.EOFError", 2030, "End of file was encountered.");
    case pb::ReadError::Invalid:
      Invalid(m);
  }
}

// ShaderData(byteCode): the kernel's description as properties; the bytecode in text.
Value DataConstruct(Machine& m, const Value& self, const Value* args, int argc) {
  const Value code = Arg(args, argc, 0);
  if (code.IsNullish()) m.ThrowTypeError(2007, "Parameter byteCode must be non-null.");
  if (!IsInstanceOf(m, code, "flash.utils.ByteArray")) Invalid(m);
  auto* data = static_cast<NativeObject*>(self.object);
  pb::Kernel kernel;
  ReadOrThrow(m, BytesOf(static_cast<NativeObject*>(code.object)), kernel);
  data->text = static_cast<NativeObject*>(code.object)->text;
  for (const pb::Meta& meta : kernel.meta) {
    const Value v = meta.value.type != pb::Type::String && meta.value.numbers.size() == 1
                        ? Value::Number(meta.value.numbers[0])
                        : MetaValue(m, meta.value);
    m.SetPublic(self, meta.key, v);
  }
  m.SetPublic(self, "name", m.StrValue(kernel.name));
  int index = 0;
  for (const pb::Parameter& p : kernel.parameters) {
    if (p.output || p.name == "_OutCoord") continue;
    const Value param = m.Construct(Value::Obj(Cls(m, "flash.display.ShaderParameter")), nullptr, 0);
    auto* o = static_cast<NativeObject*>(param.object);
    o->b = m.StrValue(pb::TypeName(p.type));
    o->c = Value::Number(index++);
    for (const pb::Meta& meta : p.meta) {
      const Value v = MetaValue(m, meta.value);
      m.SetPublic(param, meta.key, v);
      if (meta.key == "defaultValue") o->a = MetaValue(m, meta.value);
    }
    m.SetPublic(self, p.name, param);
  }
  for (const pb::Texture& t : kernel.textures) {
    const Value input = m.Construct(Value::Obj(Cls(m, "flash.display.ShaderInput")), nullptr, 0);
    auto* o = static_cast<NativeObject*>(input.object);
    o->list = {Value::Number(t.channels), Value::Number(t.index)};
    for (const pb::Meta& meta : t.meta) m.SetPublic(input, meta.key, MetaValue(m, meta.value));
    m.SetPublic(self, t.name, input);
  }
  return self;
}

// Shader: a = its ShaderData (or null), b = the precision hint.
Value ShaderConstruct(Machine& m, const Value& self, const Value* args, int argc) {
  auto* o = static_cast<NativeObject*>(self.object);
  o->a = Value::Null();
  o->b = m.StrValue("full");
  const Value code = Arg(args, argc, 0);
  if (!code.IsNullish()) m.SetPublic(self, "byteCode", code);
  return self;
}
NativeObject* ShaderOf(Machine& m, const Value& self) { return Native(m, self, "flash.display.Shader"); }
Value SetByteCode(Machine& m, const Value& self, const Value* args, int argc) {
  NativeObject* o = ShaderOf(m, self);
  const Value code = Arg(args, argc, 0);
  o->a = m.Construct(Value::Obj(Cls(m, "flash.display.ShaderData")), &code, 1);
  return Value();
}
Value ShaderData(Machine& m, const Value& self, const Value*, int) { return ShaderOf(m, self)->a; }
Value SetShaderData(Machine& m, const Value& self, const Value* args, int argc) {
  const Value v = Arg(args, argc, 0);
  ShaderOf(m, self)->a = v.IsUndefined() ? Value::Null() : m.Coerce(v, Cls(m, "flash.display.ShaderData"));
  return Value();
}
Value Precision(Machine& m, const Value& self, const Value*, int) { return ShaderOf(m, self)->b; }
Value SetPrecision(Machine& m, const Value& self, const Value* args, int argc) {
  const std::string hint = m.ToString(Arg(args, argc, 0));
  if (hint != "full" && hint != "fast") Invalid(m);
  ShaderOf(m, self)->b = m.StrValue(hint);
  return Value();
}

// A job's numbers for one parameter: every element a number (or a numeric string);
// anything else makes the job fail. Missing elements, and a value that is not an array,
// are zeros.
std::vector<double> ParameterNumbers(Machine& m, const pb::Parameter& p, const Value& value) {
  const std::size_t need = static_cast<std::size_t>(pb::TypeSize(p.type));
  std::vector<double> numbers(need, 0.0);
  if (value.IsNullish() || !value.IsObject() || value.object->kind != ObjectKind::Array) return numbers;
  const auto& elements = static_cast<ArrayObject*>(value.object)->elements;
  for (std::size_t i = 0; i < need && i < elements.size(); ++i) {
    const Value& e = elements[i];
    double d = 0;
    if (e.IsNumber()) {
      d = e.number;
    } else if (e.IsString()) {
      d = m.ToNumber(e);
      if (std::isnan(d)) Invalid(m);
    } else {
      Invalid(m);
    }
    numbers[i] = d;
  }
  return numbers;
}

// The floats of a ByteArray or Vector.<Number> input; the job fails when they are fewer
// than the input's pixels need.
void ReadFloatInput(Machine& m, const Value& input, pb::Image& image) {
  const std::size_t need = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) *
                           static_cast<std::size_t>(image.channels);
  std::vector<float>& out = image.pixels;
  if (input.object->kind == ObjectKind::Vector) {
    const auto& list = static_cast<NativeObject*>(input.object)->list;
    if (list.size() < need) m.ThrowError("ArgumentError", 2165, "The Shader input does not have enough data.");
    for (std::size_t i = 0; i < need; ++i) out.push_back(pb::ToFloat(m.ToNumber(list[i])));
    return;
  }
  const auto* bytes = static_cast<NativeObject*>(input.object);
  const bool little = bytes->b.IsBoolean() && bytes->b.boolean;
  if (bytes->text.size() / 4 < need) m.ThrowError("ArgumentError", 2165, "The Shader input does not have enough data.");
  for (std::size_t i = 0; i < need; ++i) {
    std::uint8_t raw[4];
    std::memcpy(raw, bytes->text.data() + i * 4, 4);
    if (!little) std::swap(raw[0], raw[3]), std::swap(raw[1], raw[2]);
    std::uint32_t bits;
    std::memcpy(&bits, raw, 4);
    out.push_back(std::bit_cast<float>(bits));
  }
}

std::uint32_t ToByte(float v) {
  if (!(v > 0)) return 0;  // NaN too
  if (v >= 1) return 255;
  return static_cast<std::uint32_t>(std::lround(v * 255.0f));
}

// ShaderJob: a = shader, b = target; width and height in list.
class ShaderJobObject : public NativeObject {
 public:
  using NativeObject::NativeObject;
  double width = 0, height = 0, progress = 0;
};

Object* AllocateJob(Machine& m, ClassObject*) { return m.heap.Make<ShaderJobObject>(ObjectKind::Display, nullptr, nullptr); }

ShaderJobObject* Job(Machine& m, const Value& self) {
  auto* o = self.IsObject() ? dynamic_cast<ShaderJobObject*>(self.object) : nullptr;
  if (!o) m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(self) + " to flash.display.ShaderJob.");
  return o;
}

Value JobConstruct(Machine& m, const Value& self, const Value* args, int argc) {
  ShaderJobObject* job = Job(m, self);
  job->a = Arg(args, argc, 0).IsUndefined() ? Value::Null() : Arg(args, argc, 0);
  job->b = Arg(args, argc, 1).IsUndefined() ? Value::Null() : Arg(args, argc, 1);
  job->width = m.ToInt32(Arg(args, argc, 2));
  job->height = m.ToInt32(Arg(args, argc, 3));
  return self;
}
Value JobShader(Machine& m, const Value& self, const Value*, int) { return Job(m, self)->a; }
Value SetJobShader(Machine& m, const Value& self, const Value* args, int argc) {
  Job(m, self)->a = Arg(args, argc, 0);
  return Value();
}
Value JobTarget(Machine& m, const Value& self, const Value*, int) { return Job(m, self)->b; }
Value SetJobTarget(Machine& m, const Value& self, const Value* args, int argc) {
  Job(m, self)->b = Arg(args, argc, 0);
  return Value();
}
Value JobWidth(Machine& m, const Value& self, const Value*, int) { return Value::Number(Job(m, self)->width); }
Value SetJobWidth(Machine& m, const Value& self, const Value* args, int argc) {
  Job(m, self)->width = m.ToInt32(Arg(args, argc, 0));
  return Value();
}
Value JobHeight(Machine& m, const Value& self, const Value*, int) { return Value::Number(Job(m, self)->height); }
Value SetJobHeight(Machine& m, const Value& self, const Value* args, int argc) {
  Job(m, self)->height = m.ToInt32(Arg(args, argc, 0));
  return Value();
}
Value JobProgress(Machine& m, const Value& self, const Value*, int) { return Value::Number(Job(m, self)->progress); }

// Runs the job's kernel now and writes its target.
void RunJob(Machine& m, ShaderJobObject* job) {
  const Value shader = job->a;
  if (!IsInstanceOf(m, shader, "flash.display.Shader")) m.ThrowTypeError(2007, "Parameter shader must be non-null.");
  const Value data = static_cast<NativeObject*>(shader.object)->a;
  if (!IsInstanceOf(m, data, "flash.display.ShaderData")) m.ThrowTypeError(2007, "Parameter shader must be non-null.");
  const Value target = job->b;
  BitmapPixels* bitmap = BitmapPixelsOf(target);
  const bool toBytes = IsInstanceOf(m, target, "flash.utils.ByteArray");
  const bool toVector = target.IsObject() && target.object->kind == ObjectKind::Vector;
  if (!bitmap && !toBytes && !toVector) Invalid(m);
  pb::Kernel kernel;
  ReadOrThrow(m, BytesOf(static_cast<NativeObject*>(data.object)), kernel);
  int width = static_cast<int>(job->width);
  int height = static_cast<int>(job->height);
  if (bitmap) {
    if (width <= 0) width = bitmap->Width();
    if (height <= 0) height = bitmap->Height();
    width = std::min(width, bitmap->Width());
    height = std::min(height, bitmap->Height());
  }
  if (width <= 0 || height <= 0 || static_cast<std::int64_t>(width) * height > 16777215) Invalid(m);
  const pb::Parameter& output = kernel.parameters[static_cast<std::size_t>(kernel.OutputParameter())];
  const int outSize = pb::TypeSize(output.type);
  if (bitmap && (outSize < 3 || outSize > 4 || !pb::IsFloatType(output.type)))
    m.ThrowError("ArgumentError", 2162, "The Shader output type is not compatible for this operation.");

  pb::RunInputs inputs;
  for (const pb::Parameter& p : kernel.parameters) {
    std::vector<double> numbers;
    if (!p.output && p.name != "_OutCoord") {
      const Value param = m.GetPublic(data, p.name);
      if (IsInstanceOf(m, param, "flash.display.ShaderParameter"))
        numbers = ParameterNumbers(m, p, static_cast<NativeObject*>(param.object)->a);
    }
    inputs.parameters.push_back(std::move(numbers));
  }
  std::vector<pb::Image> images(kernel.textures.size());
  for (std::size_t t = 0; t < kernel.textures.size(); ++t) {
    pb::Image& image = images[t];
    image.channels = kernel.textures[t].channels;
    const Value input = m.GetPublic(data, kernel.textures[t].name);
    if (IsInstanceOf(m, input, "flash.display.ShaderInput")) {
      auto* o = static_cast<NativeObject*>(input.object);
      const Value source = o->a;
      if (BitmapPixels* p = BitmapPixelsOf(source)) {
        image.width = p->Width();
        image.height = p->Height();
        image.pixels.reserve(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 4);
        for (int y = 0; y < image.height; ++y) {
          for (int x = 0; x < image.width; ++x) {
            const std::uint32_t argb = p->GetPixel32(x, y);
            const float px[4] = {((argb >> 16) & 0xFF) / 255.0f, ((argb >> 8) & 0xFF) / 255.0f, (argb & 0xFF) / 255.0f,
                                 (argb >> 24) / 255.0f};
            for (int c = 0; c < image.channels; ++c) image.pixels.push_back(px[c]);
          }
        }
      } else if (source.IsObject()) {
        image.width = std::max(0, m.ToInt32(o->b));
        image.height = std::max(0, m.ToInt32(o->c));
        if (static_cast<std::int64_t>(image.width) * image.height > 16777215) Invalid(m);
        ReadFloatInput(m, source, image);
      }
    }
  }
  for (const pb::Image& image : images) inputs.textures.push_back(&image);

  int channels = 0;
  const std::vector<float> out = pb::Run(kernel, inputs, width, height, &channels);
  if (bitmap) {
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const float* px = out.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) *
                                           static_cast<std::size_t>(channels);
        const std::uint32_t a = channels >= 4 ? ToByte(px[3]) : 255;
        bitmap->SetPixel32(x, y, (a << 24) | (ToByte(px[0]) << 16) | (ToByte(px[1]) << 8) | ToByte(px[2]));
      }
    }
    bitmap->Changed();
  } else if (toVector) {
    auto& list = static_cast<NativeObject*>(target.object)->list;
    list.clear();
    for (const float f : out) list.push_back(Value::Number(f));
  } else {
    auto* bytes = static_cast<NativeObject*>(target.object);
    const bool little = bytes->b.IsBoolean() && bytes->b.boolean;
    bytes->text.assign(out.size() * 4, '\0');
    for (std::size_t i = 0; i < out.size(); ++i) {
      std::uint8_t raw[4];
      const std::uint32_t bits = std::bit_cast<std::uint32_t>(out[i]);
      std::memcpy(raw, &bits, 4);
      if (!little) std::swap(raw[0], raw[3]), std::swap(raw[1], raw[2]);
      std::memcpy(bytes->text.data() + i * 4, raw, 4);
    }
  }
  job->progress = 1;
}

// ShaderEvent: an Event with the job's target under the name of its kind.
class ShaderEventObject : public NativeObject {
 public:
  using NativeObject::NativeObject;
  Value bitmapData = Value::Null(), byteArray = Value::Null(), vector = Value::Null();
  void Trace(gc::Tracer& tracer) const override {
    NativeObject::Trace(tracer);
    TraceValue(tracer, bitmapData);
    TraceValue(tracer, byteArray);
    TraceValue(tracer, vector);
  }
};

Object* AllocateShaderEvent(Machine& m, ClassObject*) { return m.heap.Make<ShaderEventObject>(ObjectKind::Event, nullptr, nullptr); }

ShaderEventObject* EventOf(Machine& m, const Value& self) {
  auto* e = self.IsObject() ? dynamic_cast<ShaderEventObject*>(self.object) : nullptr;
  if (!e) m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(self) + " to flash.events.ShaderEvent.");
  return e;
}

Value ShaderEventConstruct(Machine& m, const Value& self, const Value* args, int argc) {
  ClassObject* event = Cls(m, "flash.events.Event");
  m.Invoke(event->init, self, args, std::min(argc, 3), nullptr);
  ShaderEventObject* e = EventOf(m, self);
  if (argc > 3 && !args[3].IsUndefined()) e->bitmapData = args[3];
  if (argc > 4 && !args[4].IsUndefined()) e->byteArray = args[4];
  if (argc > 5 && !args[5].IsUndefined()) e->vector = args[5];
  return self;
}
Value EventBitmapData(Machine& m, const Value& self, const Value*, int) { return EventOf(m, self)->bitmapData; }
Value EventByteArray(Machine& m, const Value& self, const Value*, int) { return EventOf(m, self)->byteArray; }
Value EventVector(Machine& m, const Value& self, const Value*, int) { return EventOf(m, self)->vector; }

// The complete event of a job started without waiting: dispatched from the timer list,
// so that it arrives after start() returns.
Value DeliverComplete(Machine& m, const Value&, const Value* args, int argc) {
  const Value job = Arg(args, argc, 0);
  const Value typeArgs[1] = {m.StrValue("complete")};
  const Value event = m.Construct(Value::Obj(Cls(m, "flash.events.ShaderEvent")), typeArgs, 1);
  auto* e = static_cast<ShaderEventObject*>(event.object);
  const Value target = Job(m, job)->b;
  if (BitmapPixelsOf(target)) e->bitmapData = target;
  else if (IsInstanceOf(m, target, "flash.utils.ByteArray")) e->byteArray = target;
  else e->vector = target;
  m.CallPublic(job, "dispatchEvent", {event});
  return Value();
}

Value JobStart(Machine& m, const Value& self, const Value* args, int argc) {
  ShaderJobObject* job = Job(m, self);
  RunJob(m, job);
  if (!m.ToBoolean(Arg(args, argc, 0))) {
    Machine::Timer timer;
    timer.id = ++m.nextTimer;
    timer.function = Value::Obj(m.NewNativeFunction("complete", DeliverComplete));
    timer.args = {self};
    timer.due = m.Now();
    m.timers.push_back(std::move(timer));
  }
  return Value();
}
Value JobCancel(Machine&, const Value&, const Value*, int) { return Value(); }

}  // namespace

void InstallShaders(Machine& m) {
  ClassObject* precision = m.DefineClass("flash.display", "ShaderPrecision", m.objectClass);
  static const TextConstant kPrecisionConstants[] = {
      {"FULL", "full"},
      {"FAST", "fast"},
  };
  Install(m, precision, kPrecisionConstants);
  ClassObject* types = m.DefineClass("flash.display", "ShaderParameterType", m.objectClass);
  static const TextConstant kParameterTypes[] = {
      {"BOOL", "bool"},     {"BOOL2", "bool2"},     {"BOOL3", "bool3"},     {"BOOL4", "bool4"},
      {"FLOAT", "float"},   {"FLOAT2", "float2"},   {"FLOAT3", "float3"},   {"FLOAT4", "float4"},
      {"INT", "int"},       {"INT2", "int2"},       {"INT3", "int3"},       {"INT4", "int4"},
      {"MATRIX2X2", "matrix2x2"}, {"MATRIX3X3", "matrix3x3"}, {"MATRIX4X4", "matrix4x4"}};
  Install(m, types, kParameterTypes);

  ClassObject* parameter = m.DefineClass("flash.display", "ShaderParameter", m.objectClass, ParameterConstruct, false);
  parameter->allocate = AllocateNative<>;
  static const Member kParameterMembers[] = {
      {"value", ParameterValue, SetParameterValue, kAccessor, 0},
      {"type", ParameterType, nullptr, kAccessor, 0},
      {"index", ParameterIndex, nullptr, kAccessor, 0},
  };
  Install(m, parameter, kParameterMembers);

  ClassObject* input = m.DefineClass("flash.display", "ShaderInput", m.objectClass, InputConstruct, false);
  input->allocate = AllocateNative<>;
  static const Member kInputMembers[] = {
      {"input", InputInput, SetInputInput, kAccessor, 0},
      {"width", InputWidth, SetInputWidth, kAccessor, 0},
      {"height", InputHeight, SetInputHeight, kAccessor, 0},
      {"channels", InputChannels, nullptr, kAccessor, 0},
      {"index", InputIndex, nullptr, kAccessor, 0},
  };
  Install(m, input, kInputMembers);

  ClassObject* data = m.DefineClass("flash.display", "ShaderData", m.objectClass, DataConstruct, false);
  data->allocate = AllocateNative<>;

  ClassObject* shader = m.DefineClass("flash.display", "Shader", m.objectClass, ShaderConstruct);
  shader->allocate = AllocateNative<>;
  static const Member kShaderMembers[] = {
      {"byteCode", nullptr, SetByteCode, kAccessor, 0},
      {"data", ShaderData, SetShaderData, kAccessor, 0},
      {"precisionHint", Precision, SetPrecision, kAccessor, 0},
  };
  Install(m, shader, kShaderMembers);

  ClassObject* dispatcher = m.FindClass("flash.events.EventDispatcher");
  ClassObject* job = m.DefineClass("flash.display", "ShaderJob", dispatcher, JobConstruct);
  job->allocate = AllocateJob;
  static const Member kJobMembers[] = {
      {"shader", JobShader, SetJobShader, kAccessor, 0},
      {"target", JobTarget, SetJobTarget, kAccessor, 0},
      {"width", JobWidth, SetJobWidth, kAccessor, 0},
      {"height", JobHeight, SetJobHeight, kAccessor, 0},
      {"progress", JobProgress, nullptr, kAccessor, 0},
      {"start", JobStart, nullptr, 0, 0},
      {"cancel", JobCancel, nullptr, 0, 0},
  };
  Install(m, job, kJobMembers);

  ClassObject* event = m.DefineClass("flash.events", "ShaderEvent", m.FindClass("flash.events.Event"), ShaderEventConstruct);
  event->allocate = AllocateShaderEvent;
  static const TextConstant kEventConstants[] = {
      {"COMPLETE", "complete"},
  };
  Install(m, event, kEventConstants);
  static const Member kEventMembers[] = {
      {"bitmapData", EventBitmapData, nullptr, kAccessor, 0},
      {"byteArray", EventByteArray, nullptr, kAccessor, 0},
      {"vector", EventVector, nullptr, kAccessor, 0},
  };
  Install(m, event, kEventMembers);
}

}  // namespace vantrel::flash::avm2
