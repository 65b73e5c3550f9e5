// The ActionScript 3 byte code file (ABC) as a DoABC tag carries it: constant pools,
// method signatures and bodies with their exception tables, metadata, classes with
// their traits, and scripts. Parsing checks every index and length against the file;
// a file that does not hold together is refused with the player's VerifyError text.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace vantrel::flash::avm2 {

// Namespace kinds as the file writes them.
enum NamespaceKind : std::uint8_t {
  kNsPrivate = 0x05,
  kNsNamespace = 0x08,
  kNsPackage = 0x16,
  kNsPackageInternal = 0x17,
  kNsProtected = 0x18,
  kNsExplicit = 0x19,
  kNsStaticProtected = 0x1A,
};

struct AbcNamespace {
  std::uint8_t kind = kNsNamespace;
  std::uint32_t name = 0;  // string index
};

enum MultinameKind : std::uint8_t {
  kQName = 0x07,
  kQNameA = 0x0D,
  kRTQName = 0x0F,
  kRTQNameA = 0x10,
  kRTQNameL = 0x11,
  kRTQNameLA = 0x12,
  kMultiname = 0x09,
  kMultinameA = 0x0E,
  kMultinameL = 0x1B,
  kMultinameLA = 0x1C,
  kTypeName = 0x1D,
};

struct AbcMultiname {
  std::uint8_t kind = 0;  // 0 for the file's index 0 ("any name")
  std::uint32_t ns = 0;     // namespace index (QName)
  std::uint32_t name = 0;   // string index (0 = any)
  std::uint32_t nsSet = 0;  // namespace-set index (Multiname, MultinameL)
  std::uint32_t typeName = 0;               // TypeName: the generic's multiname
  std::vector<std::uint32_t> typeParams;    // TypeName: parameter multinames
  bool RuntimeNamespace() const { return kind == kRTQName || kind == kRTQNameA || kind == kRTQNameL || kind == kRTQNameLA; }
  bool RuntimeName() const { return kind == kRTQNameL || kind == kRTQNameLA || kind == kMultinameL || kind == kMultinameLA; }
  bool Attribute() const {
    return kind == kQNameA || kind == kRTQNameA || kind == kRTQNameLA || kind == kMultinameA || kind == kMultinameLA;
  }
};

struct AbcOptional {
  std::uint32_t index = 0;
  std::uint8_t kind = 0;  // constant kind (0x03 int, 0x06 double, 0x01 string, ...)
};

struct AbcMethod {
  static constexpr std::uint8_t kNeedArguments = 0x01, kNeedActivation = 0x02, kNeedRest = 0x04,
                                kHasOptional = 0x08, kSetDxns = 0x40, kHasParamNames = 0x80;
  std::vector<std::uint32_t> paramTypes;  // multiname indices (0 = any)
  std::uint32_t returnType = 0;
  std::uint32_t name = 0;
  std::uint8_t flags = 0;
  std::vector<AbcOptional> optionals;
  int body = -1;  // index into bodies, -1 for native or bodiless methods
};

struct AbcMetadata {
  std::uint32_t name = 0;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> items;  // key, value string indices
};

enum TraitKind : std::uint8_t { kTraitSlot = 0, kTraitMethod = 1, kTraitGetter = 2, kTraitSetter = 3, kTraitClass = 4, kTraitFunction = 5, kTraitConst = 6 };

struct AbcTrait {
  std::uint32_t name = 0;  // a QName multiname index
  std::uint8_t kind = 0;
  std::uint8_t attributes = 0;  // 1 final, 2 override, 4 metadata
  std::uint32_t slotId = 0;     // slot id or disp id
  std::uint32_t index = 0;      // slot: type name; class: class index; method kinds: method index
  std::uint32_t valueIndex = 0;  // slot: default value index
  std::uint8_t valueKind = 0;
  std::vector<std::uint32_t> metadata;
};

struct AbcInstance {
  static constexpr std::uint8_t kSealed = 0x01, kFinal = 0x02, kInterface = 0x04, kProtectedNs = 0x08;
  std::uint32_t name = 0;
  std::uint32_t superName = 0;
  std::uint8_t flags = 0;
  std::uint32_t protectedNs = 0;
  std::vector<std::uint32_t> interfaces;
  std::uint32_t init = 0;
  std::vector<AbcTrait> traits;
};

struct AbcClass {
  std::uint32_t init = 0;
  std::vector<AbcTrait> traits;
};

struct AbcScript {
  std::uint32_t init = 0;
  std::vector<AbcTrait> traits;
};

struct AbcException {
  std::uint32_t from = 0, to = 0, target = 0;  // byte offsets in the code
  std::uint32_t type = 0, varName = 0;         // multiname indices
};

struct AbcBody {
  std::uint32_t method = 0;
  std::uint32_t maxStack = 0, localCount = 0, initScopeDepth = 0, maxScopeDepth = 0;
  std::vector<std::uint8_t> code;
  std::vector<AbcException> exceptions;
  std::vector<AbcTrait> traits;  // the activation's slotValues
};

struct AbcFile {
  std::uint16_t minorVersion = 0, majorVersion = 0;
  std::vector<std::int32_t> ints;      // index 0 unused
  std::vector<std::uint32_t> uints;    // index 0 unused
  std::vector<double> doubles;         // index 0 unused
  std::vector<std::string> strings;    // index 0 is ""
  std::vector<AbcNamespace> namespaces;
  std::vector<std::vector<std::uint32_t>> nsSets;
  std::vector<AbcMultiname> multinames;
  std::vector<AbcMethod> methods;
  std::vector<AbcMetadata> metadata;
  std::vector<AbcInstance> instances;
  std::vector<AbcClass> classes;
  std::vector<AbcScript> scripts;
  std::vector<AbcBody> bodies;
};

// Parses an ABC file. Returns null and sets error to the player's text ("VerifyError:
// Error #1107: The ABC data is corrupt, attempt to read out of bounds.", ...) when the
// bytes do not hold a consistent file.
std::shared_ptr<AbcFile> ParseAbc(std::span<const std::uint8_t> bytes, std::string* error);

}  // namespace vantrel::flash::avm2
