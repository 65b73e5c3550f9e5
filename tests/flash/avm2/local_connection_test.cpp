// LocalConnection within the player: names, the errors of connect, close and send, and
// what a message brings on a later step of the frame loop (the sender's status, then the
// receiver's call or its asyncError).
#include <gtest/gtest.h>

#include "script_movie.h"

namespace vantrel::flash::avm2 {
namespace {

using namespace vantrel::testing;
using Lines = std::vector<std::string>;

// function (a, b) { trace(a); trace(b); }
std::uint32_t TwoArgumentMethod(AbcWriter& w) {
  Code f{w};
  f.bytes.clear();
  const std::uint32_t trace = w.Name("trace");
  f.OpName(0x5D, trace).Op({0xD1}).Call(0x4F, trace, 1);
  f.OpName(0x5D, trace).Op({0xD2}).Call(0x4F, trace, 1).Op({0x47});
  const std::uint32_t method = w.Method(f.bytes);
  w.methods[method] = 2;
  return method;
}

void Listen(AbcWriter& w, Code& code, int local, const std::string& type, const std::string& path) {
  code.Push(L(local)).Str(type).OpName(0x40, TracingListener(w, path)).Call(0x4F, w.Name("addEventListener"), 2);
}

TEST(Avm2LocalConnection, MessagesReachTheNameThatHoldsThemAndTellTheSender) {
  AbcWriter w;
  Code code{w};
  code.New("flash.net", "LocalConnection", 1).New("flash.net", "LocalConnection", 2);
  Listen(w, code, 2, "status", "level");
  Listen(w, code, 1, "asyncError", "error.errorID");
  code.New("", "Object", 3).Push(L(3)).OpName(0x40, TwoArgumentMethod(w)).OpName(0x61, w.Name("take"));
  code.Set(L(1), "client", L(3)).Do(L(1), "connect", {S("Chan")});
  code.TryTrace([](Code& c) { c.Do(L(2), "connect", {S("chan")}); });            // taken (names ignore case)
  code.TryTrace([](Code& c) { c.Do(L(2), "connect", {S("localhost:x")}); });     // a domain of its own
  code.TryTrace([](Code& c) { c.Do(L(2), "close"); });                           // not connected
  code.TryTrace([](Code& c) { c.Do(L(2), "send", {Null(), S("take")}); });
  code.TryTrace([](Code& c) { c.Do(L(2), "send", {S("chan"), S("")}); });
  code.TryTrace([](Code& c) { c.Do(L(2), "send", {S("chan"), S("close")}); });
  code.Trace(L(2), "domain");
  code.Do(L(2), "send", {S("localhost:CHAN"), S("take"), I(1), S("two")});
  code.Do(L(2), "send", {S("nowhere"), S("take")});
  code.Do(L(2), "send", {S("chan"), S("missing")});
  code.Trace(S("sent"));
  EXPECT_EQ(RunMovie(w, code, 3),
            (Lines{"ArgumentError: Error #2082: Connect failed because the object is already connected.",
                   "ArgumentError: Error #2004: One of the parameters is invalid.",
                   "ArgumentError: Error #2083: Close failed because the object is not connected.",
                   "TypeError: Error #2007: Parameter connectionName must be non-null.",
                   "ArgumentError: Error #2085: Parameter methodName must be non-empty string.",
                   "ArgumentError: Error #2004: One of the parameters is invalid.", "localhost", "sent",
                   "status status", "1", "two", "status error", "status status", "asyncError 1069"}));
}

}  // namespace
}  // namespace vantrel::flash::avm2
