// A small ABC writer for tests: constant pools, one method per body, scripts.
#pragma once

#include <cstdint>
#include <array>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace vantrel::testing {

class AbcWriter {
 public:
  using Bytes = std::vector<std::uint8_t>;
  static void U30(Bytes& out, std::uint32_t v) {
    do {
      std::uint8_t b = v & 0x7F;
      v >>= 7;
      if (v) b |= 0x80;
      out.push_back(b);
    } while (v);
  }
  static void S24(Bytes& out, std::int32_t v) {
    out.push_back(v & 0xFF);
    out.push_back((v >> 8) & 0xFF);
    out.push_back((v >> 16) & 0xFF);
  }

  // Pool entries; each returns its index.
  std::uint32_t Int(std::int32_t v) {
    ints.push_back(v);
    return static_cast<std::uint32_t>(ints.size());
  }
  std::uint32_t Double(double v) {
    doubles.push_back(v);
    return static_cast<std::uint32_t>(doubles.size());
  }
  std::uint32_t String(const std::string& s) {
    for (std::size_t i = 0; i < strings.size(); ++i)
      if (strings[i] == s) return static_cast<std::uint32_t>(i + 1);
    strings.push_back(s);
    return static_cast<std::uint32_t>(strings.size());
  }
  std::uint32_t PackageNs(const std::string& uri) {
    namespaces.push_back({0x16, String(uri)});
    return static_cast<std::uint32_t>(namespaces.size());
  }
  // QName in the public namespace.
  std::uint32_t Name(const std::string& local) {
    if (!publicNs) publicNs = PackageNs("");
    multinames.push_back({0x07, publicNs, String(local)});
    return static_cast<std::uint32_t>(multinames.size());
  }
  // A name given at run time (MultinameL) looked up in the public namespace.
  std::uint32_t RuntimeName() {
    if (!publicNs) publicNs = PackageNs("");
    nsSets.push_back({publicNs});
    multinames.push_back({0x1B, static_cast<std::uint32_t>(nsSets.size()), 0});
    return static_cast<std::uint32_t>(multinames.size());
  }
  // QName in a package.
  std::uint32_t PackageName(const std::string& package, const std::string& local) {
    multinames.push_back({0x07, PackageNs(package), String(local)});
    return static_cast<std::uint32_t>(multinames.size());
  }
  // A method with no parameters and the body's code; returns the method index.
  std::uint32_t Method(const Bytes& code, std::vector<std::array<std::uint32_t, 5>> exceptions = {},
                       std::uint32_t localCount = 4) {
    const auto index = static_cast<std::uint32_t>(methods.size());
    methods.push_back(0);
    Body body;
    body.method = index;
    body.code = code;
    body.exceptions = std::move(exceptions);
    body.localCount = localCount;
    bodies.push_back(std::move(body));
    return index;
  }
  // A namespace of a kind (0x08 namespace, 0x05 private, ...) and the QName of a local
  // name in it.
  std::uint32_t Namespace(std::uint8_t kind, const std::string& uri) {
    namespaces.push_back({kind, String(uri)});
    return static_cast<std::uint32_t>(namespaces.size());
  }
  std::uint32_t NameIn(std::uint32_t ns, const std::string& local) {
    multinames.push_back({0x07, ns, String(local)});
    return static_cast<std::uint32_t>(multinames.size());
  }
  // A method without a body (never called) of these parameter types and return type
  // (multinames, 0 for any); its last `optional` parameters default to null.
  std::uint32_t Declared(std::vector<std::uint32_t> params, std::uint32_t returnType, std::uint32_t optional = 0) {
    const auto index = static_cast<std::uint32_t>(methods.size());
    methods.push_back(static_cast<int>(params.size()));
    signatures[index] = {std::move(params), returnType, optional};
    return index;
  }
  // A metadata entry ([name(key="value", ...)]).
  std::uint32_t Metadata(const std::string& name, std::vector<std::pair<std::string, std::string>> items = {}) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs;
    for (const auto& [key, value] : items) pairs.emplace_back(String(key), String(value));
    metadata.push_back({String(name), std::move(pairs)});
    return static_cast<std::uint32_t>(metadata.size() - 1);
  }
  // A trait of a class or instance: kind 0 slot, 1 method, 2 getter, 3 setter, 6 const;
  // index: the slot's type, or the method.
  struct Trait {
    std::uint32_t name;
    std::uint8_t kind;
    std::uint32_t index;
    std::vector<std::uint32_t> metadata = {};
  };
  struct ClassDef {
    std::uint32_t name, super;
    std::uint8_t flags;  // 0x01 sealed, 0x02 final, 0x04 interface
    std::vector<std::uint32_t> interfaces;
    std::uint32_t iinit, cinit;
    std::vector<Trait> instanceTraits, classTraits;
  };
  // A class; returns its index (newclass's operand).
  std::uint32_t Class(ClassDef def) {
    classes.push_back(std::move(def));
    return static_cast<std::uint32_t>(classes.size() - 1);
  }
  // A script run by init, declaring methods as its method traits (name, method).
  void Script(std::uint32_t init, std::vector<std::pair<std::uint32_t, std::uint32_t>> methods = {}) {
    scripts.push_back({init, std::move(methods)});
  }

  Bytes Finish() const {
    Bytes out = {16, 0, 46, 0};
    U30(out, ints.empty() ? 0 : static_cast<std::uint32_t>(ints.size() + 1));
    for (std::int32_t v : ints) U30(out, static_cast<std::uint32_t>(v));
    U30(out, 0);  // uints
    U30(out, doubles.empty() ? 0 : static_cast<std::uint32_t>(doubles.size() + 1));
    for (double d : doubles) {
      std::uint8_t raw[8];
      std::memcpy(raw, &d, 8);
      out.insert(out.end(), raw, raw + 8);
    }
    U30(out, strings.empty() ? 0 : static_cast<std::uint32_t>(strings.size() + 1));
    for (const std::string& s : strings) {
      U30(out, static_cast<std::uint32_t>(s.size()));
      out.insert(out.end(), s.begin(), s.end());
    }
    U30(out, namespaces.empty() ? 0 : static_cast<std::uint32_t>(namespaces.size() + 1));
    for (const auto& [kind, name] : namespaces) {
      out.push_back(kind);
      U30(out, name);
    }
    U30(out, nsSets.empty() ? 0 : static_cast<std::uint32_t>(nsSets.size() + 1));
    for (const auto& set : nsSets) {
      U30(out, static_cast<std::uint32_t>(set.size()));
      for (std::uint32_t ns : set) U30(out, ns);
    }
    U30(out, multinames.empty() ? 0 : static_cast<std::uint32_t>(multinames.size() + 1));
    for (const auto& m : multinames) {
      out.push_back(static_cast<std::uint8_t>(m[0]));
      U30(out, m[1]);
      if (m[0] != 0x1B) U30(out, m[2]);
    }
    U30(out, static_cast<std::uint32_t>(methods.size()));
    for (std::size_t i = 0; i < methods.size(); ++i) {
      const auto typed = signatures.find(static_cast<std::uint32_t>(i));
      U30(out, static_cast<std::uint32_t>(methods[i]));  // parameters, each of any type unless typed
      U30(out, typed == signatures.end() ? 0 : typed->second.returnType);
      for (int p = 0; p < methods[i]; ++p) U30(out, typed == signatures.end() ? 0 : typed->second.params[p]);
      U30(out, 0);  // name
      const std::uint32_t optional = typed == signatures.end() ? 0 : typed->second.optional;
      out.push_back(optional ? 0x08 : 0);
      if (optional) {
        U30(out, optional);
        for (std::uint32_t o = 0; o < optional; ++o) {
          U30(out, 0x0C);  // null
          out.push_back(0x0C);
        }
      }
    }
    U30(out, static_cast<std::uint32_t>(metadata.size()));
    for (const auto& [name, items] : metadata) {
      U30(out, name);
      U30(out, static_cast<std::uint32_t>(items.size()));
      for (const auto& item : items) U30(out, item.first);
      for (const auto& item : items) U30(out, item.second);
    }
    const auto writeTraits = [&](const std::vector<Trait>& traits) {
      U30(out, static_cast<std::uint32_t>(traits.size()));
      for (const Trait& t : traits) {
        U30(out, t.name);
        out.push_back(static_cast<std::uint8_t>(t.kind | (t.metadata.empty() ? 0 : 0x40)));
        U30(out, 0);  // slot id or disp_id
        U30(out, t.index);
        if (t.kind == 0 || t.kind == 6) U30(out, 0);  // no default value
        if (!t.metadata.empty()) {
          U30(out, static_cast<std::uint32_t>(t.metadata.size()));
          for (std::uint32_t md : t.metadata) U30(out, md);
        }
      }
    };
    U30(out, static_cast<std::uint32_t>(classes.size()));
    for (const ClassDef& c : classes) {
      U30(out, c.name);
      U30(out, c.super);
      out.push_back(c.flags);
      U30(out, static_cast<std::uint32_t>(c.interfaces.size()));
      for (std::uint32_t i : c.interfaces) U30(out, i);
      U30(out, c.iinit);
      writeTraits(c.instanceTraits);
    }
    for (const ClassDef& c : classes) {
      U30(out, c.cinit);
      writeTraits(c.classTraits);
    }
    U30(out, static_cast<std::uint32_t>(scripts.size()));
    for (std::size_t s = 0; s < scripts.size(); ++s) {
      const auto& [init, traits] = scripts[s];
      U30(out, init);
      const auto classTraits = scriptClasses.find(static_cast<std::uint32_t>(s));
      const std::size_t classCount = classTraits == scriptClasses.end() ? 0 : classTraits->second.size();
      U30(out, static_cast<std::uint32_t>(traits.size() + classCount));
      for (const auto& [name, method] : traits) {
        U30(out, name);
        out.push_back(1);  // a method trait
        U30(out, 0);       // its disp_id
        U30(out, method);
      }
      for (std::size_t c = 0; c < classCount; ++c) {
        const Trait& t = classTraits->second[c];
        U30(out, t.name);
        out.push_back(static_cast<std::uint8_t>(4 | (t.metadata.empty() ? 0 : 0x40)));  // a class trait
        U30(out, 0);
        U30(out, t.index);
        if (!t.metadata.empty()) {
          U30(out, static_cast<std::uint32_t>(t.metadata.size()));
          for (std::uint32_t md : t.metadata) U30(out, md);
        }
      }
    }
    U30(out, static_cast<std::uint32_t>(bodies.size()));
    for (const Body& b : bodies) {
      U30(out, b.method);
      U30(out, b.maxStack);
      U30(out, b.localCount);
      U30(out, b.initScopeDepth);
      U30(out, b.maxScopeDepth);
      U30(out, static_cast<std::uint32_t>(b.code.size()));
      out.insert(out.end(), b.code.begin(), b.code.end());
      U30(out, static_cast<std::uint32_t>(b.exceptions.size()));
      for (const auto& e : b.exceptions)
        for (std::uint32_t v : e) U30(out, v);
      U30(out, 0);
    }
    return out;
  }

  std::vector<std::int32_t> ints;
  std::vector<double> doubles;
  std::vector<std::string> strings;
  std::vector<std::pair<std::uint8_t, std::uint32_t>> namespaces;
  std::vector<std::vector<std::uint32_t>> nsSets;
  std::vector<std::array<std::uint32_t, 3>> multinames;
  std::vector<int> methods;  // each method's parameter count
  struct Typed {
    std::vector<std::uint32_t> params;
    std::uint32_t returnType = 0, optional = 0;
  };
  std::map<std::uint32_t, Typed> signatures;  // methods declared with types
  std::vector<std::pair<std::uint32_t, std::vector<std::pair<std::uint32_t, std::uint32_t>>>> metadata;
  std::vector<ClassDef> classes;
  // Class traits of scripts (script index: name, class index and metadata).
  std::map<std::uint32_t, std::vector<Trait>> scriptClasses;
  struct Body {
    std::uint32_t method = 0;
    Bytes code;
    std::vector<std::array<std::uint32_t, 5>> exceptions;
    std::uint32_t localCount = 4;
    std::uint32_t maxStack = 16, initScopeDepth = 0, maxScopeDepth = 4;
  };
  std::vector<Body> bodies;
  std::vector<std::pair<std::uint32_t, std::vector<std::pair<std::uint32_t, std::uint32_t>>>> scripts;
  std::uint32_t publicNs = 0;
};

}  // namespace vantrel::testing
