// vantrel-tool: identify, decompress, unpack, pack, extract and render Flash files from
// the command line.
#include <cstdio>
#include <cstring>
#include <string>

#include "app/tool/tool_support.h"
#include "app/tool/verbs.h"
#include "core/version.h"

namespace vantrel::tool {

const std::vector<Verb>& Verbs() {
  static const std::vector<Verb> verbs = {
      {"image", "image IN.png -o OUT.jpg|OUT.pam [--quality N]  decode a PNG to JPEG (default quality 90) or RGBA PAM", RunImage},
      {"info", "info [--json | --json-lines] [-r] [-j N] FILE|FOLDER...   identify movies, videos and projectors", RunInfo},
      {"decompress", "decompress IN OUT                  write the plain movie of a compressed one", RunDecompress},
      {"unpack", "unpack PROJECTOR OUT [--any-exe]     write the movie inside a projector", RunUnpack},
      {"pack", "pack MOVIE OUT [--stub FILE]         build a projector from a movie", RunPack},
      {"extract", "extract MOVIE|FOLDER... DESTDIR [-r] [-j N] [--jpeg --png --event --stream --video | --all]  extract images, sounds, videos", RunExtract},
      {"render", "render MOVIE -o OUT.png [--frame N] [--size WxH] [--scale showall|noborder|exactfit|noscale] [--quality high|medium|low|autohigh|autolow] [--input FILE]", RunRender},
      {"trace", "trace MOVIE [--frames N] [--input FILE] [--socket FILE]", RunTrace},
      {"audio", "audio MOVIE|VIDEO -o OUT.wav [--seconds S]  write the sound a movie or video makes", RunAudio},
      {"thumbs", "thumbs FOLDER|MOVIE [-r] [-j N] [--out DIR] [--width W --height H --quality Q --overwrite --info-xml]  JPEG thumbnails beside the movies (or under DIR)", RunThumbs},
      {"export", "export MOVIE|VIDEO -o OUT [--format mp4|webm|mkv|gif|apng|png] [--size WxH | --scale F] [--fps N] [--from FRAME|TIME] [--to FRAME|TIME | --frames N] [--quality high|medium|low] [--background #RRGGBB] [--input FILE] [--no-sound] [--copy]", RunExport},
  };
  return verbs;
}

namespace {

void PrintHelp(FILE* out) {
  std::fprintf(out,
               "usage: vantrel-tool VERB [ARGUMENTS]\n"
               "       vantrel-tool --help | --version\n\n"
               "The Vantrel tool kit for Flash movies (SWF), Flash videos (FLV) and projectors.\n\n"
               "verbs:\n");
  for (const Verb& verb : Verbs()) std::fprintf(out, "  %s\n", verb.synopsis);
  std::fprintf(out,
               "\nexit codes: 0 success, 1 the work failed, 2 usage error\n");
}

}  // namespace

}  // namespace vantrel::tool

int main(int argc, char** argv) {
  using namespace vantrel::tool;
  if (argc < 2) {
    PrintHelp(stderr);
    return kExitUsage;
  }
  const std::string first = argv[1];
  if (first == "--help" || first == "-h" || first == "help") {
    PrintHelp(stdout);
    return kExitOk;
  }
  if (first == "--version") {
    std::printf("Vantrel %s\n", vantrel::core::VersionNumberText().c_str());
    return kExitOk;
  }
  for (const Verb& verb : Verbs()) {
    if (first == verb.name) return verb.run(Args(argv + 2, argv + argc));
  }
  std::fprintf(stderr, "vantrel-tool: unknown verb '%s' (see vantrel-tool --help)\n", first.c_str());
  return kExitUsage;
}
