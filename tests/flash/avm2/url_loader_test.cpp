// URLLoader reading local files in the player: the events in the player's order, the
// data as text, bytes or variables, and a missing file reported as an ioError.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "script_movie.h"

namespace vantrel::flash::avm2 {
namespace {

using namespace vantrel::testing;
using Lines = std::vector<std::string>;


class UrlLoaderTest : public FolderTest {
 protected:
  // local 1 = new URLLoader() with listeners for every event (complete traces the
  // target's path, the others its dataFormat, ioError its text); format set; load(url).
  void LoadWith(Code& code, const std::string& url, const std::string& format, const std::string& path) {
    AbcWriter& w = code.w;
    code.New("flash.net", "URLLoader", 1).Set(L(1), "dataFormat", S(format));
    for (const char* type : {"open", "progress", "httpStatus", "complete"}) {
      const std::string traced = std::string(type) == "complete" ? "target." + path : "target.dataFormat";
      code.Push(L(1)).Str(type).OpName(0x40, TracingListener(w, traced)).Call(0x4F, w.Name("addEventListener"), 2);
    }
    // The error listener traces the event's text.
    Code f{w};
    f.bytes.clear();
    const std::uint32_t trace = w.Name("trace");
    f.OpName(0x5D, trace).Op({0xD1}).OpName(0x66, w.Name("text")).Call(0x4F, trace, 1).Op({0x47});
    const std::uint32_t onError = w.Method(f.bytes);
    w.methods[onError] = 1;
    code.Push(L(1)).Str("ioError").OpName(0x40, onError).Call(0x4F, w.Name("addEventListener"), 2);
    code.New("flash.net", "URLRequest", 2, {S(url)}).Do(L(1), "load", {L(2)});
  }
};

TEST_F(UrlLoaderTest, TextArrivesWithItsEventsOnALaterFrame) {
  const std::string file = Write("data.txt", "Fetched from disk!\n");
  AbcWriter w;
  Code code{w};
  LoadWith(code, file, "text", "data");
  code.Trace(L(1), "data").Trace(L(1), "bytesTotal");  // nothing yet while the script runs
  EXPECT_EQ(RunMovie(w, code, 3),
            (Lines{"undefined", "0", "open text", "progress text", "httpStatus text", "complete Fetched from disk!\n"}));
}

TEST_F(UrlLoaderTest, BinaryAndVariablesFormats) {
  const std::string bin = Write("data.bin", std::string("\x00\x01\x02\x03", 4));
  AbcWriter w;
  Code code{w};
  LoadWith(code, bin, "binary", "data.length");
  EXPECT_EQ(RunMovie(w, code, 3), (Lines{"open binary", "progress binary", "httpStatus binary", "complete 4"}));

  const std::string vars = Write("vars.txt", "name=x+y%21&n=1&n=2");
  AbcWriter w2;
  Code code2{w2};
  LoadWith(code2, vars, "variables", "data.name");
  code2.Trace(L(1), "bytesLoaded");
  const Lines lines = RunMovie(w2, code2, 3);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines.back(), "complete x y!");
}

TEST_F(UrlLoaderTest, AMissingFileEndsWithAStreamError) {
  AbcWriter w;
  Code code{w};
  LoadWith(code, (folder / "missing.bin").string(), "text", "data");
  EXPECT_EQ(RunMovie(w, code, 3), (Lines{"httpStatus text", "Error #2032: Stream Error"}));
}

}  // namespace
}  // namespace vantrel::flash::avm2
