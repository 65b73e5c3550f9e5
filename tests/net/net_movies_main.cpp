// vantrel-test-net-movies FOLDER: writes the site the end-to-end network test serves.
// main.swf (300x100, white) shows three hidden marks: red when the variables of
// parts/vars.txt arrived (score=42), green when data/doc.xml arrived with
// color="green"; it loads second.swf into _level1, which shows a blue rectangle on the
// right. A window showing red, green and blue has played the movie and all its parts.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/swf_movie_writer.h"

namespace {

using vantrel::testing::Actions;
using vantrel::testing::Bytes;
using namespace vantrel::testing;

// target.name = function() { body }
void DefineMethod(Actions& a, const std::string& target, const std::string& name, const Actions& body) {
  a.PushString(target).GetVariable().PushString(name);
  Bytes header;
  PutString(header, "");
  PutU16(header, 0);
  PutU16(header, static_cast<std::uint16_t>(body.Data().size()));
  a.OpWith(0x9B, header).Raw(body.Data());
  a.Op(0x4F);  // SetMember
}

// setProperty(target, _visible, <value on the stack after the pushes of value>)
Actions ShowWhen(const std::string& target, const Actions& value) {
  Actions a;
  a.PushString(target).PushNumber(7);  // _visible
  a.Raw(value.Data());
  a.Op(0x23);  // SetProperty
  return a;
}

Bytes PlaceNamed(std::uint16_t depth, std::uint16_t character, const std::string& name) {
  vantrel::testing::Place p;
  p.depth = depth;
  p.character = character;
  p.name = name;
  return PlaceObject2(p);
}

Bytes MainMovie() {
  Bytes tags = SetBackgroundColor(255, 255, 255);
  PutBytes(tags, DefineRectangle(1, 200, 200, 1800, 1600, 255, 0, 0));
  PutBytes(tags, DefineRectangle(2, 2200, 200, 1800, 1600, 0, 160, 0));
  PutBytes(tags, PlaceNamed(1, 1, "varsMark"));
  PutBytes(tags, PlaceNamed(2, 2, "xmlMark"));

  Actions a;
  a.PushString("varsMark").PushNumber(7).PushNumber(0).Op(0x23);
  a.PushString("xmlMark").PushNumber(7).PushNumber(0).Op(0x23);
  // _root.onData: the variables arrived.
  Actions vars;
  vars.PushString("score").GetVariable().PushString("42").Op(0x49);  // Equals2
  DefineMethod(a, "_root", "onData", ShowWhen("varsMark", vars));
  // doc = new XML(); doc.onLoad = function() { xmlMark._visible = this.firstChild.attributes.color == "green" }
  a.PushString("doc").PushNumber(0).PushString("XML").Op(0x40).SetVariable();
  Actions color;
  color.PushString("this").GetVariable().PushString("firstChild").Op(0x4E).PushString("attributes").Op(0x4E);
  color.PushString("color").Op(0x4E).PushString("green").Op(0x49);
  DefineMethod(a, "doc", "onLoad", ShowWhen("xmlMark", color));
  a.PushString("data/doc.xml").PushNumber(1).PushString("doc").GetVariable().PushString("load").Op(0x52).Op(0x17);
  a.GetUrl("second.swf", "_level1");
  a.PushString("parts/vars.txt").PushString("_level0").OpWith(0x9A, {0x80});  // loadVariablesNum
  a.Stop();
  PutBytes(tags, a.Tag());
  PutBytes(tags, ShowFrame());
  PutBytes(tags, End());
  return MakeMovie(tags, 300, 100, 1, 8, 12);
}

Bytes SecondMovie() {
  Bytes tags = DefineRectangle(1, 4200, 200, 1600, 1600, 0, 0, 255);
  PutBytes(tags, PlaceNamed(1, 1, "blue"));
  PutBytes(tags, ShowFrame());
  PutBytes(tags, End());
  return MakeMovie(tags, 300, 100, 1, 8, 12);
}

bool Write(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out << bytes;
  return static_cast<bool>(out);
}

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  const bool ok = Write(folder / "main.swf", Text(MainMovie())) && Write(folder / "second.swf", Text(SecondMovie())) &&
                  Write(folder / "parts" / "vars.txt", "score=42&name=Ann") &&
                  Write(folder / "data" / "doc.xml", "<doc color=\"green\"><item /></doc>");
  if (!ok) std::fprintf(stderr, "cannot write into %s\n", argv[1]);
  return ok ? 0 : 1;
}
