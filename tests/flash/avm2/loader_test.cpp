// flash.display.Loader in the player: pictures and movies from local files and from
// bytes, the contentLoaderInfo's events in the player's order and what it tells before
// and after, a loaded ActionScript 3 movie running its code, failures as ioError.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <filesystem>
#include <fstream>

#include "script_movie.h"

namespace vantrel::flash::avm2 {
namespace {

using namespace vantrel::testing;
using Lines = std::vector<std::string>;


class LoaderTest : public FolderTest {
 protected:
  // local 1 = new Loader(), local 2 = its contentLoaderInfo, with a listener for each
  // event tracing what the path names on the LoaderInfo.
  static void NewLoader(Code& code, const std::vector<std::pair<std::string, std::string>>& listeners) {
    AbcWriter& w = code.w;
    code.New("flash.display", "Loader", 1).Push(L(1)).OpName(0x66, w.Name("contentLoaderInfo")).SetLocal(2);
    for (const auto& [type, path] : listeners)
      code.Push(L(2))
          .Str(type)
          .OpName(0x40, TracingListener(w, path.empty() ? path : "target." + path))
          .Call(0x4F, w.Name("addEventListener"), 2);
  }
};

TEST_F(LoaderTest, APictureBecomesABitmapWithItsEventsOnALaterFrame) {
  QImage image(3, 2, QImage::Format_ARGB32);
  image.fill(Qt::red);
  QByteArray png;
  QBuffer buffer(&png);
  image.save(&buffer, "PNG");
  const std::string file = Write("picture.png", png.toStdString());
  AbcWriter w;
  Code code{w};
  NewLoader(code, {{"open", "bytesLoaded"},
                   {"progress", "bytesLoaded"},
                   {"init", "content"},
                   {"httpStatus", "contentType"},
                   {"complete", "width"}});
  code.New("flash.net", "URLRequest", 3, {S(file)}).Do(L(1), "load", {L(3)});
  // Nothing has arrived while the script runs; the size is not known yet.
  code.Trace(L(1), "content").Trace(L(2), "url").Trace(L(2), "bytesTotal");
  code.TryTrace([](Code& c) { c.Trace(L(2), "width"); });
  const std::string size = std::to_string(png.size());
  EXPECT_EQ(RunMovie(w, code, 3),
            (Lines{"null", "null", "0", "Error: Error #2099: The loading object is not sufficiently loaded to provide this information.",
                   "open 0", "progress 0", "progress " + size, "init [object Bitmap]", "httpStatus image/png", "complete 3"}));
}

TEST_F(LoaderTest, ALoadedMovieRunsItsCodeBeforeInit) {
  // The child movie traces from its script and tells its own version.
  AbcWriter child;
  Code script{child};
  script.OpName(0x5D, child.Name("trace")).Str("child script runs").Call(0x4F, child.Name("trace"), 1).Op({0x47});
  child.Script(child.Method(script.bytes, script.handlers, 8));
  Bytes tags = AbcTags(child, "child");
  PutBytes(tags, ShowFrame());
  PutBytes(tags, End());
  const Bytes movie = MakeMovie(tags, 100, 100, 1, 10);
  const std::string file = Write("child.swf", std::string(movie.begin(), movie.end()));

  AbcWriter w;
  Code code{w};
  NewLoader(code, {{"init", "swfVersion"}, {"complete", "contentType"}});
  code.New("flash.net", "URLRequest", 3, {S(file + "?a=1")}).Do(L(1), "load", {L(3)});
  const Lines lines = RunMovie(w, code, 3);
  EXPECT_EQ(lines, (Lines{"child script runs", "init 10", "complete application/x-shockwave-flash"}));
}

TEST_F(LoaderTest, FailuresEndInIoError) {
  AbcWriter w;
  Code code{w};
  NewLoader(code, {{"progress", "bytesLoaded"}, {"ioError", "bytesTotal"}, {"complete", ""}});
  code.New("flash.net", "URLRequest", 3, {S((folder / "missing.swf").string())}).Do(L(1), "load", {L(3)});
  // Bytes of no known kind fail at once, before loadBytes returns.
  code.New("flash.utils", "ByteArray", 4).Do(L(4), "writeUTFBytes", {S("plain text")});
  NewLoader(code, {{"progress", "bytesLoaded"}, {"ioError", "bytes.length"}});
  code.Do(L(1), "loadBytes", {L(4)}).Trace(S("after loadBytes"));
  EXPECT_EQ(RunMovie(w, code, 3), (Lines{"progress 0", "progress 10", "ioError 0", "after loadBytes", "ioError 0"}));
}

// A function closure called without a receiver (a callback the code holds in a
// variable) runs on the global object: it can set properties there.
TEST(Avm2Closures, AFunctionCalledWithoutAReceiverRunsOnTheGlobalObject) {
  AbcWriter w;
  Code code{w};
  Code f{w};
  f.bytes.clear();
  const std::uint32_t trace = w.Name("trace");
  f.OpName(0x5D, trace).Op({0xD0}).Call(0x4F, trace, 1).Op({0x47});
  const std::uint32_t method = w.Method(f.bytes);
  code.OpName(0x40, method).SetLocal(1);
  code.Push(L(1)).Op({0x20, 0x41, 0x00, 0x29});  // f.call with a null receiver
  code.Push(L(1)).Op({0x21, 0x41, 0x00, 0x29});  // and an undefined one
  EXPECT_EQ(RunMovie(w, code), (Lines{"[object global]", "[object global]"}));
}

}  // namespace
}  // namespace vantrel::flash::avm2
