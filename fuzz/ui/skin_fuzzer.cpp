// Reads arbitrary bytes as the skin's skin.xml: every element is made into its
// controls, each view is shown once, and the window-mask holes are composed, the way
// the player reads a skin at start and whenever the view changes.
#include <QApplication>
#include <QWidget>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ui/skin.h"

namespace {

std::string folder;
// Made once and never destroyed: libFuzzer ends the process through exit(), after Qt's
// own globals are gone, and a QApplication destroyed then crashes.
QApplication* app = nullptr;
QWidget* host = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  app = new QApplication(*argc, *argv);
  // The skin folder lives in memory: no disk write per input.
  char pattern[] = "/dev/shm/vantrel-skin-fuzz-XXXXXX";
  char* made = mkdtemp(pattern);
  folder = made ? std::string(made) + "/" : std::string("/tmp/");
  host = new QWidget();
  host->resize(320, 240);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string file = folder + "skin.xml";
  if (FILE* out = std::fopen(file.c_str(), "wb")) {
    std::fwrite(data, 1, size, out);
    std::fclose(out);
  }
  vantrel::ui::Skin::Services services;
  services.skinPath = folder;
  services.userSkinPath = folder + "user/";
  vantrel::ui::Skin skin(host, services);
  if (skin.LoadSkin()) {
    for (const auto& entry : skin.Table()) {
      if (entry.Kind == vantrel::ui::kSkinView) skin.SetSkinView(entry.Name);
    }
    int state = 2;
    for (int i = 1; i < static_cast<int>(skin.Table().size()); ++i) skin.SetSkinState(i, state);
    (void)vantrel::ui::ComposeWindowRegion(host->size(), skin.Holes(), false, false);
  }
  skin.Unload();
  return 0;
}
