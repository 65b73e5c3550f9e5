// What the player adds on top of the work it delegates:
// - LoadFlash of a small movie (through test doubles of the window and control)
//   against IdentifyMedia alone on the same file: the loading road's own cost;
// - adding a 10,000-entry playlist file against parsing the same text with pugixml
//   alone: the cost of the entry rules and the list.
#include <benchmark/benchmark.h>

#include <pugixml.hpp>

#include "core/log.h"
#include "core/options.h"
#include "core/paths.h"
#include "media/identify.h"
#include "player/player.h"
#include "player/playlist_file.h"
#include "player_fakes.h"
#include "support/player_fixtures.h"
#include "support/temp_home.h"

namespace {

using namespace vantrel;
using namespace vantrel::player::testing;

struct Bench {
  Bench() {
    paths = core::LayoutPaths(home.Path() + "app/", "Vantrel");
    media.CachePath = home.Path();
    media.UserPath = home.Path();
    media.FlashPath = paths.FlashPath;
    options.WriteBool("Recent", "History", false);
    player::PlayerServices services;
    services.paths = paths;
    services.options = &options;
    services.log = &log;
    services.media = &media;
    services.flash = &flash;
    services.window = &window;
    services.shell = &shell;
    services.dialogs = &dialogs;
    services.browser = &browser;
    services.host = &host;
    player = std::make_unique<player::Player>(std::move(services));
  }
  testing::TempHome home;
  core::Paths paths;
  core::OptionsStore options{home.Path() + "options.conf"};
  core::ExecutionLog log;
  media::MediaContext media;
  FakeFlash flash;
  FakeWindow window;
  FakeShell shell;
  FakeDialogs dialogs;
  FakeBrowser browser;
  FakeHost host;
  std::unique_ptr<player::Player> player;
};

void BM_LoadFlash(benchmark::State& state) {
  Bench bench;
  const std::string movie = bench.home.WriteFile("a.swf", testing::MakeMovie());
  for (auto _ : state) {
    std::string path = movie, caption;
    bench.player->LoadFlash(path, caption, false);
  }
}
BENCHMARK(BM_LoadFlash);

void BM_IdentifyMediaAlone(benchmark::State& state) {
  Bench bench;
  const std::string movie = bench.home.WriteFile("a.swf", testing::MakeMovie());
  for (auto _ : state) {
    media::MediaRecord record;
    benchmark::DoNotOptimize(media::IdentifyMedia(bench.media, movie, record, false));
  }
}
BENCHMARK(BM_IdentifyMediaAlone);

std::string LongPlaylist() {
  std::vector<std::string> entries;
  for (int i = 0; i < 10000; ++i) entries.push_back("/movies/folder " + std::to_string(i % 50) + "/movie " + std::to_string(i) + ".swf");
  return player::WritePlaylistText(entries, 0);
}

void BM_AddPlaylistFile(benchmark::State& state) {
  Bench bench;
  const std::string file = bench.home.WriteFile("long.vantrel", LongPlaylist());
  for (auto _ : state) {
    bench.player->ClearPlaylist();
    bench.player->AddToPlaylist(file, 0);
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_AddPlaylistFile)->Unit(benchmark::kMillisecond);

void BM_PugixmlParseAlone(benchmark::State& state) {
  const std::string text = LongPlaylist();
  for (auto _ : state) {
    pugi::xml_document doc;
    benchmark::DoNotOptimize(doc.load_buffer(text.data(), text.size()));
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_PugixmlParseAlone)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
