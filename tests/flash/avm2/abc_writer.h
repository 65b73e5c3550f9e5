// A small ABC writer for tests: constant pools, one method per body, scripts.
#pragma once

#include <cstdint>
#include <array>
#include <cstring>
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
      U30(out, static_cast<std::uint32_t>(methods[i]));  // parameters, each of any type
      U30(out, 0);  // return type
      for (int p = 0; p < methods[i]; ++p) U30(out, 0);
      U30(out, 0);  // name
      out.push_back(0);
    }
    U30(out, 0);  // metadata
    U30(out, 0);  // classes
    U30(out, static_cast<std::uint32_t>(scripts.size()));
    for (const auto& [init, traits] : scripts) {
      U30(out, init);
      U30(out, static_cast<std::uint32_t>(traits.size()));
      for (const auto& [name, method] : traits) {
        U30(out, name);
        out.push_back(1);  // a method trait
        U30(out, 0);       // its disp_id
        U30(out, method);
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
  struct Body {
    std::uint32_t method = 0;
    Bytes code;
    std::vector<std::array<std::uint32_t, 5>> exceptions;
    std::uint32_t localCount = 4;
    std::uint32_t maxStack = 8, initScopeDepth = 0, maxScopeDepth = 4;
  };
  std::vector<Body> bodies;
  std::vector<std::pair<std::uint32_t, std::vector<std::pair<std::uint32_t, std::uint32_t>>>> scripts;
  std::uint32_t publicNs = 0;
};

}  // namespace vantrel::testing
