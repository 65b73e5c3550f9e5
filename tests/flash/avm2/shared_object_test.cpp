// Local shared objects of ActionScript 3 movies: what one movie keeps, a later one finds
// (flushed, or written when the movie went), in either encoding; bad names are refused.
// Players without a folder keep them in the process's memory, which these tests use.
#include <gtest/gtest.h>

#include "flash/script/shared_object_store.h"
#include "script_movie.h"

namespace vantrel::flash::avm2 {
namespace {

using namespace vantrel::testing;
using Lines = std::vector<std::string>;

// local 1 = SharedObject.getLocal(name)
void GetLocal(Code& code, const std::string& name) {
  code.OpName(0x60, code.w.PackageName("flash.net", "SharedObject")).Str(name);
  code.Call(0x46, code.w.Name("getLocal"), 1).SetLocal(1);
}

// local 1's data.name = value
void SetData(Code& code, const std::string& name, const Arg& value) {
  code.Push(L(1)).OpName(0x66, code.w.Name("data")).Push(value).OpName(0x61, code.w.Name(name));
}

TEST(Avm2SharedObject, WhatOneMovieKeepsTheNextFindsInEitherEncoding) {
  for (const int encoding : {3, 0}) {
    const std::string name = "prefs" + std::to_string(encoding);
    {
      AbcWriter w;
      Code code{w};
      GetLocal(code, name);
      code.Do(L(1), "clear");  // what an earlier run of the test left
      code.Set(L(1), "objectEncoding", I(encoding)).Trace(L(1), "size");
      SetData(code, "level", I(7));
      SetData(code, "player", S("Ada"));
      code.New("", "Array", 2, {I(1), S("two")});  // new Array(1, "two")
      SetData(code, "list", L(2));
      code.TraceCall(L(1), "flush");
      // Written again when the movie goes, without a flush.
      SetData(code, "late", B(true));
      const Lines lines = RunMovie(w, code);
      ASSERT_EQ(lines.size(), 2u) << encoding;
      EXPECT_EQ(lines[0], "0");
      EXPECT_EQ(lines[1], "flushed");
    }
    AbcWriter w;
    Code code{w};
    GetLocal(code, name);
    code.Trace(L(1), "data.level").Trace(L(1), "data.player").Trace(L(1), "data.list").Trace(L(1), "data.late");
    code.Trace(L(1), "objectEncoding");
    EXPECT_EQ(RunMovie(w, code), (Lines{"7", "Ada", "1,two", "true", "3"})) << encoding;
  }
}

TEST(Avm2SharedObject, ClearEmptiesTheStoreAndBadNamesAreRefused) {
  {
    AbcWriter w;
    Code code{w};
    GetLocal(code, "scores");
    SetData(code, "best", I(99));
    code.TraceCall(L(1), "flush");
    code.Do(L(1), "clear").Trace(L(1), "data.best").Trace(L(1), "size");
    code.TryTrace([](Code& c) { GetLocal(c, "with space"); });
    code.TryTrace([](Code& c) { GetLocal(c, "../up"); });
    EXPECT_EQ(RunMovie(w, code), (Lines{"flushed", "undefined", "0", "Error: Error #2134: Cannot create SharedObject.",
                                        "Error: Error #2134: Cannot create SharedObject."}));
  }
  AbcWriter w;
  Code code{w};
  GetLocal(code, "scores");
  code.Trace(L(1), "data.best");
  EXPECT_EQ(RunMovie(w, code), (Lines{"undefined"}));
}

// The store's .sol files: the header names the object and its encoding; a file cut short
// still gives its entries and says it is damaged.
TEST(SharedObjectStore, SolFilesCarryNameVersionAndLength) {
  const std::string file = script::SolFile("game", 3, "body");
  const auto contents = script::ReadSolFile(file);
  ASSERT_TRUE(contents);
  EXPECT_EQ(contents->amfVersion, 3);
  EXPECT_EQ(contents->body, "body");
  EXPECT_FALSE(contents->damaged);
  const auto cut = script::ReadSolFile(std::string_view(file).substr(0, file.size() - 2));
  ASSERT_TRUE(cut);
  EXPECT_TRUE(cut->damaged);
  EXPECT_FALSE(script::ReadSolFile("TCSO, but not a file"));
  EXPECT_EQ(script::SharedObjectKey("http://example.com/games/run.swf?x=1", std::nullopt, "hi"),
            "example.com/games/run.swf/hi.sol");
  EXPECT_EQ(script::SharedObjectKey("http://example.com/games/run.swf", "/games", "hi"), "example.com/games/hi.sol");
  EXPECT_FALSE(script::SharedObjectKey("http://example.com/games/run.swf", "/other", "hi"));
}

}  // namespace
}  // namespace vantrel::flash::avm2
