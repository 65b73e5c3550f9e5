// URLLoader reading local files in the player: the events in the player's order, the
// data as text, bytes or variables, and a missing file reported as an ioError; URLStream
// reading a load's bytes.
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

// A URLStream's bytes are read as a ByteArray's, in its endian; what is read is gone, and a
// read past the end throws EOFError. The stream is connected until the load completes.
TEST_F(UrlLoaderTest, StreamReadsTheLoadedBytesInItsEndian) {
  const std::string file = Write("data.bin", std::string("\x00\x00\x01\x02\x03\x04xyz", 9));
  AbcWriter w;
  Code code{w};
  code.New("flash.net", "URLStream", 1);
  code.Push(L(1)).Str("progress").OpName(0x40, TracingListener(w, "target.connected")).Call(0x4F, w.Name("addEventListener"), 2);
  // complete: trace readUnsignedInt(); endian = "littleEndian"; trace readUnsignedShort();
  // trace bytesAvailable; trace connected; readInt() (three bytes are left: EOFError).
  Code f{w};
  f.bytes.clear();
  const std::uint32_t trace = w.Name("trace"), target = w.Name("target");
  const auto read = [&](const char* method) {
    f.OpName(0x5D, trace).Op({0xD1}).OpName(0x66, target).Call(0x46, w.Name(method), 0).Call(0x4F, trace, 1);
  };
  const auto show = [&](const char* property) {
    f.OpName(0x5D, trace).Op({0xD1}).OpName(0x66, target).OpName(0x66, w.Name(property)).Call(0x4F, trace, 1);
  };
  read("readUnsignedInt");
  f.Op({0xD1}).OpName(0x66, target).Str("littleEndian").OpName(0x61, w.Name("endian"));
  read("readUnsignedShort");
  show("bytesAvailable");
  show("connected");
  read("readInt");
  f.Op({0x47});
  const std::uint32_t onComplete = w.Method(f.bytes);
  w.methods[onComplete] = 1;
  code.Push(L(1)).Str("complete").OpName(0x40, onComplete).Call(0x4F, w.Name("addEventListener"), 2);
  code.New("flash.net", "URLRequest", 2, {S(file)}).Do(L(1), "load", {L(2)});
  code.Trace(L(1), "bytesAvailable").Trace(L(1), "connected");
  const Lines lines = RunMovie(w, code, 3);
  ASSERT_GE(lines.size(), 8u);
  EXPECT_EQ(Lines(lines.begin(), lines.begin() + 7), (Lines{"0", "true", "progress true", "258", "1027", "3", "false"}));
  EXPECT_NE(lines[7].find("Error #2030: End of file was encountered."), std::string::npos) << lines[7];
}

}  // namespace
}  // namespace vantrel::flash::avm2
