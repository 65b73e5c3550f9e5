#include "flash/avm2/abc.h"

#include <cstring>

namespace vantrel::flash::avm2 {

namespace {

struct Corrupt {
  std::string text;
};

[[noreturn]] void Fail(const std::string& text) { throw Corrupt{text}; }
[[noreturn]] void OutOfBounds() { Fail("VerifyError: Error #1107: The ABC data is corrupt, attempt to read out of bounds."); }

// Counts are bounded by the bytes left: every entry takes at least one byte, so a count
// larger than that is corrupt and never allocates.
class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> bytes) : data_(bytes) {}
  std::size_t Remaining() const { return data_.size() - pos_; }
  std::uint8_t U8() {
    if (pos_ >= data_.size()) OutOfBounds();
    return data_[pos_++];
  }
  std::uint16_t U16() {
    const std::uint16_t low = U8();
    return static_cast<std::uint16_t>(low | (U8() << 8));
  }
  std::uint32_t U32() {
    std::uint32_t result = 0;
    for (int shift = 0; shift < 35; shift += 7) {
      const std::uint8_t byte = U8();
      result |= static_cast<std::uint32_t>(byte & 0x7F) << shift;
      if (!(byte & 0x80)) break;
    }
    return result;
  }
  std::uint32_t U30() { return U32() & 0x3FFFFFFF; }
  // Signed integers are stored as their 32 bits: a negative one always takes five bytes,
  // and a short encoding is never sign-extended.
  std::int32_t S32() { return static_cast<std::int32_t>(U32()); }
  double D64() {
    if (Remaining() < 8) OutOfBounds();
    double d;
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits |= static_cast<std::uint64_t>(data_[pos_ + i]) << (8 * i);
    std::memcpy(&d, &bits, 8);
    pos_ += 8;
    return d;
  }
  std::span<const std::uint8_t> Bytes(std::uint32_t count) {
    if (count > Remaining()) OutOfBounds();
    auto span = data_.subspan(pos_, count);
    pos_ += count;
    return span;
  }
  std::uint32_t Count() {
    const std::uint32_t count = U30();
    if (count > Remaining() + 1) OutOfBounds();
    return count;
  }

 private:
  std::span<const std::uint8_t> data_;
  std::size_t pos_ = 0;
};

struct Parser {
  Reader in;
  AbcFile& abc;

  std::uint32_t Index(std::size_t size, const char* what) {
    const std::uint32_t index = in.U30();
    if (index >= size) {
      (void)what;
      Fail("VerifyError: Error #1032: Cpool index " + std::to_string(index) + " is out of range " +
           std::to_string(size) + ".");
    }
    return index;
  }
  std::uint32_t MethodIndex() {
    const std::uint32_t index = in.U30();
    if (index >= abc.methods.size())
      Fail("VerifyError: Error #1027: Method_info " + std::to_string(index) + " exceeds method_count=" +
           std::to_string(abc.methods.size()) + ".");
    return index;
  }
  std::uint32_t StringIndex() { return Index(abc.strings.size(), "string"); }
  std::uint32_t MultinameIndex() { return Index(abc.multinames.size(), "multiname"); }

  void ConstantPool() {
    std::uint32_t count = in.Count();
    abc.ints.assign(1, 0);
    for (std::uint32_t i = 1; i < count; ++i) abc.ints.push_back(in.S32());
    count = in.Count();
    abc.uints.assign(1, 0);
    for (std::uint32_t i = 1; i < count; ++i) abc.uints.push_back(in.U32());
    count = in.Count();
    abc.doubles.assign(1, 0.0);
    for (std::uint32_t i = 1; i < count; ++i) abc.doubles.push_back(in.D64());
    count = in.Count();
    abc.strings.assign(1, std::string());
    for (std::uint32_t i = 1; i < count; ++i) {
      const auto bytes = in.Bytes(in.U30());
      abc.strings.emplace_back(bytes.begin(), bytes.end());
    }
    count = in.Count();
    abc.namespaces.assign(1, AbcNamespace{});
    for (std::uint32_t i = 1; i < count; ++i) {
      AbcNamespace ns;
      ns.kind = in.U8();
      switch (ns.kind) {
        case kNsPrivate: case kNsNamespace: case kNsPackage: case kNsPackageInternal:
        case kNsProtected: case kNsExplicit: case kNsStaticProtected:
          break;
        default:
          Fail("VerifyError: Error #1113: The ABC data is corrupt, attempt to read invalid namespace kind.");
      }
      ns.name = StringIndex();
      abc.namespaces.push_back(ns);
    }
    count = in.Count();
    abc.nsSets.assign(1, {});
    for (std::uint32_t i = 1; i < count; ++i) {
      const std::uint32_t size = in.Count();
      std::vector<std::uint32_t> set;
      for (std::uint32_t j = 0; j < size; ++j) {
        const std::uint32_t ns = Index(abc.namespaces.size(), "namespace");
        if (ns == 0) Fail("VerifyError: Error #1113: The ABC data is corrupt, attempt to read invalid namespace kind.");
        set.push_back(ns);
      }
      abc.nsSets.push_back(std::move(set));
    }
    count = in.Count();
    abc.multinames.assign(1, AbcMultiname{});
    for (std::uint32_t i = 1; i < count; ++i) {
      AbcMultiname m;
      m.kind = in.U8();
      switch (m.kind) {
        case kQName: case kQNameA:
          m.ns = Index(abc.namespaces.size(), "namespace");
          m.name = StringIndex();
          break;
        case kRTQName: case kRTQNameA:
          m.name = StringIndex();
          break;
        case kRTQNameL: case kRTQNameLA:
          break;
        case kMultiname: case kMultinameA:
          m.name = StringIndex();
          m.nsSet = Index(abc.nsSets.size(), "namespace set");
          if (m.nsSet == 0) Fail("VerifyError: Error #1032: Cpool index 0 is out of range.");
          break;
        case kMultinameL: case kMultinameLA:
          m.nsSet = Index(abc.nsSets.size(), "namespace set");
          if (m.nsSet == 0) Fail("VerifyError: Error #1032: Cpool index 0 is out of range.");
          break;
        case kTypeName: {
          // The generic may name a later entry: checked once all are read.
          m.typeName = in.U30();
          const std::uint32_t params = in.Count();
          for (std::uint32_t j = 0; j < params; ++j) m.typeParams.push_back(in.U30());
          break;
        }
        default:
          Fail("VerifyError: Error #1033: Cpool entry " + std::to_string(i) + " is wrong type.");
      }
      abc.multinames.push_back(std::move(m));
    }
    for (AbcMultiname& m : abc.multinames) {
      if (m.kind != kTypeName) continue;
      bool bad = m.typeName >= abc.multinames.size() || abc.multinames[m.typeName].kind == kTypeName;
      for (std::uint32_t p : m.typeParams) bad = bad || p >= abc.multinames.size();
      if (bad) Fail("VerifyError: Error #1032: Cpool index is out of range.");
    }
  }

  void Traits(std::vector<AbcTrait>& traits) {
    const std::uint32_t count = in.Count();
    for (std::uint32_t i = 0; i < count; ++i) {
      AbcTrait t;
      t.name = MultinameIndex();
      const AbcMultiname& name = abc.multinames[t.name];
      // A trait is named by a QName with a name ("*" names nothing).
      if ((name.kind != kQName && name.kind != kQNameA) || name.name == 0)
        Fail("VerifyError: Error #1107: The ABC data is corrupt, attempt to read out of bounds.");
      const std::uint8_t kind = in.U8();
      t.kind = kind & 0x0F;
      t.attributes = kind >> 4;
      switch (t.kind) {
        case kTraitSlot:
        case kTraitConst:
          t.slotId = in.U30();
          t.index = MultinameIndex();
          t.valueIndex = in.U30();
          if (t.valueIndex) t.valueKind = in.U8();
          break;
        case kTraitClass:
          t.slotId = in.U30();
          t.index = in.U30();  // checked once the classes are read
          break;
        case kTraitFunction:
        case kTraitMethod:
        case kTraitGetter:
        case kTraitSetter:
          t.slotId = in.U30();
          t.index = MethodIndex();
          break;
        default:
          Fail("VerifyError: Error #1107: The ABC data is corrupt, attempt to read out of bounds.");
      }
      if (t.attributes & 4) {
        const std::uint32_t n = in.Count();
        for (std::uint32_t j = 0; j < n; ++j) t.metadata.push_back(Index(abc.metadata.size(), "metadata"));
      }
      traits.push_back(std::move(t));
    }
  }

  void Methods() {
    const std::uint32_t count = in.Count();
    abc.methods.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
      AbcMethod m;
      const std::uint32_t params = in.Count();
      m.returnType = MultinameIndex();
      for (std::uint32_t j = 0; j < params; ++j) m.paramTypes.push_back(MultinameIndex());
      m.name = StringIndex();
      m.flags = in.U8();
      if (m.flags & AbcMethod::kHasOptional) {
        const std::uint32_t optionals = in.Count();
        if (optionals > params) Fail("VerifyError: Error #1107: The ABC data is corrupt, attempt to read out of bounds.");
        for (std::uint32_t j = 0; j < optionals; ++j) {
          AbcOptional o;
          o.index = in.U30();
          o.kind = in.U8();
          m.optionals.push_back(o);
        }
      }
      if (m.flags & AbcMethod::kHasParamNames) {
        for (std::uint32_t j = 0; j < params; ++j) in.U30();
      }
      abc.methods.push_back(std::move(m));
    }
  }

  void Metadata() {
    const std::uint32_t count = in.Count();
    for (std::uint32_t i = 0; i < count; ++i) {
      AbcMetadata m;
      m.name = StringIndex();
      const std::uint32_t items = in.Count();
      std::vector<std::uint32_t> keys;
      for (std::uint32_t j = 0; j < items; ++j) keys.push_back(StringIndex());
      for (std::uint32_t j = 0; j < items; ++j) m.items.emplace_back(keys[j], StringIndex());
      abc.metadata.push_back(std::move(m));
    }
  }

  void Classes() {
    const std::uint32_t count = in.Count();
    abc.instances.resize(count);
    for (AbcInstance& instance : abc.instances) {
      instance.name = MultinameIndex();
      instance.superName = MultinameIndex();
      instance.flags = in.U8();
      if (instance.flags & AbcInstance::kProtectedNs) instance.protectedNs = Index(abc.namespaces.size(), "namespace");
      const std::uint32_t interfaces = in.Count();
      for (std::uint32_t j = 0; j < interfaces; ++j) instance.interfaces.push_back(MultinameIndex());
      instance.init = MethodIndex();
      Traits(instance.traits);
    }
    abc.classes.resize(count);
    for (AbcClass& c : abc.classes) {
      c.init = MethodIndex();
      Traits(c.traits);
    }
  }

  void Scripts() {
    const std::uint32_t count = in.Count();
    abc.scripts.resize(count);
    for (AbcScript& s : abc.scripts) {
      s.init = MethodIndex();
      Traits(s.traits);
    }
  }

  void Bodies() {
    const std::uint32_t count = in.Count();
    for (std::uint32_t i = 0; i < count; ++i) {
      AbcBody body;
      body.method = MethodIndex();
      body.maxStack = in.U30();
      body.localCount = in.U30();
      body.initScopeDepth = in.U30();
      body.maxScopeDepth = in.U30();
      const auto code = in.Bytes(in.U30());
      body.code.assign(code.begin(), code.end());
      const std::uint32_t exceptions = in.Count();
      for (std::uint32_t j = 0; j < exceptions; ++j) {
        AbcException e;
        e.from = in.U30();
        e.to = in.U30();
        e.target = in.U30();
        e.type = MultinameIndex();
        e.varName = MultinameIndex();
        if (e.from > e.to || e.to > body.code.size() || e.target >= body.code.size())
          Fail("VerifyError: Error #1054: Illegal range or target offsets in exception handler.");
        body.exceptions.push_back(e);
      }
      Traits(body.traits);
      AbcMethod& method = abc.methods[body.method];
      if (method.body >= 0) Fail("VerifyError: Error #1107: The ABC data is corrupt, attempt to read out of bounds.");
      method.body = static_cast<int>(abc.bodies.size());
      abc.bodies.push_back(std::move(body));
    }
  }

  void CheckClassTraits(const std::vector<AbcTrait>& traits) {
    for (const AbcTrait& t : traits) {
      if (t.kind == kTraitClass && t.index >= abc.classes.size())
        Fail("VerifyError: Error #1107: The ABC data is corrupt, attempt to read out of bounds.");
    }
  }
};

}  // namespace

std::shared_ptr<AbcFile> ParseAbc(std::span<const std::uint8_t> bytes, std::string* error) {
  auto abc = std::make_shared<AbcFile>();
  Parser parser{Reader(bytes), *abc};
  try {
    abc->minorVersion = parser.in.U16();
    abc->majorVersion = parser.in.U16();
    if (abc->majorVersion != 46)
      Fail("VerifyError: Error #1014: The ABC data version " + std::to_string(abc->majorVersion) + "." +
           std::to_string(abc->minorVersion) + " is not supported.");
    parser.ConstantPool();
    parser.Methods();
    parser.Metadata();
    parser.Classes();
    parser.Scripts();
    parser.Bodies();
    for (const AbcInstance& i : abc->instances) parser.CheckClassTraits(i.traits);
    for (const AbcClass& c : abc->classes) parser.CheckClassTraits(c.traits);
    for (const AbcScript& s : abc->scripts) parser.CheckClassTraits(s.traits);
    for (const AbcBody& b : abc->bodies) parser.CheckClassTraits(b.traits);
  } catch (const Corrupt& corrupt) {
    if (error) *error = corrupt.text;
    return nullptr;
  }
  return abc;
}

}  // namespace vantrel::flash::avm2
