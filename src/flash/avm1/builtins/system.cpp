// System: capabilities of this player on Linux, the security calls as a local player
// answers them, the clipboard through a hook the player fills, and the IME object of
// a desktop without an input method for movies.
#include <cstdlib>

#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/data_support.h"
#include "flash/avm1/builtins/system_hooks.h"
#include "flash/display/player.h"

namespace vantrel::flash::avm1 {

SystemHooks& Hooks() {
  static SystemHooks hooks;
  return hooks;
}

namespace {

// The interface language as a two-letter code from the locale ("en" when unset).
std::string Language() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (!value || !*value) continue;
    const std::string text = value;
    if (text == "C" || text == "POSIX" || text.size() < 2) return "en";
    if (text.rfind("zh_", 0) == 0) return text.find("TW") != std::string::npos ? "zh-TW" : "zh-CN";
    return text.substr(0, 2);
  }
  return "en";
}

Value Nothing(Call&) { return Value(); }
Value False(Call&) { return Value::Bool(false); }

Value SetClipboard(Call& call) {
  const std::string text = call.machine.ToString(call.Arg(0));
  if (Hooks().setClipboard) Hooks().setClipboard(text);
  return Value();
}

Value GetConversionMode(Call& call) { return call.machine.Str("UNKNOWN"); }

// Movies from the web are "remote"; local ones may reach the network only when their
// file attributes ask for it, and then not the local files.
Value SandboxType(Call& call) {
  MachineInterface& m = call.machine;
  const std::string url = m.MovieUrl();
  if (url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0) return m.Str("remote");
  if (m.HasPlayer()) {
    const LoadedMovie* root = m.GetPlayer().RootMovie();
    if (root && root->movie && root->movie->useNetwork) return m.Str("localWithNetwork");
  }
  return m.Str("localWithFile");
}

std::pair<int, int> ScreenSize() {
  if (Hooks().screenSize) {
    const auto [w, h] = Hooks().screenSize();
    if (w > 0 && h > 0) return {w, h};
  }
  return {1920, 1080};
}

Value ScreenWidth(Call&) { return Value::Number(ScreenSize().first); }
Value ScreenHeight(Call&) { return Value::Number(ScreenSize().second); }

// The same facts in the short form a movie may send to its server.
Value ServerString(Call& call) {
  const auto [width, height] = ScreenSize();
  return call.machine.Str("A=t&SA=t&SV=t&EV=t&MP3=t&AE=f&VE=f&ACC=f&PR=f&SP=f&SB=f&DEB=f&V=" +
                          data::UrlEncode("LNX 32,0,0,0") + "&M=" + data::UrlEncode("Vantrel Linux") + "&R=" +
                          std::to_string(width) + "x" + std::to_string(height) + "&COL=color&AR=1.0&OS=Linux&L=" +
                          Language() + "&IME=f&PT=StandAlone&AVD=t&LFD=f&WD=t&TLS=t");
}

void Capabilities(Runtime& rt, Object* capabilities) {
  const auto text = [&](const char* name, const std::string& value) {
    capabilities->Define(name, Value::Str(rt.Str(value)), kDontDelete | kReadOnly);
  };
  const auto flag = [&](const char* name, bool value) {
    capabilities->Define(name, Value::Bool(value), kDontDelete | kReadOnly);
  };
  const auto number = [&](const char* name, double value) {
    capabilities->Define(name, Value::Number(value), kDontDelete | kReadOnly);
  };
  // Asked when read: the player may set its screen hook after the engine starts.
  const auto live = [&](const char* name, NativeFunction getter) {
    capabilities->DefineAccessor(name, rt.MakeFunction(getter), nullptr, kDontDelete | kReadOnly);
  };
  flag("avHardwareDisable", true);
  flag("hasAccessibility", false);
  flag("hasAudio", true);
  flag("hasAudioEncoder", false);
  flag("hasEmbeddedVideo", true);
  flag("hasIME", false);
  flag("hasMP3", true);
  flag("hasPrinting", false);
  flag("hasScreenBroadcast", false);
  flag("hasScreenPlayback", false);
  flag("hasStreamingAudio", true);
  flag("hasStreamingVideo", true);
  flag("hasVideoEncoder", false);
  flag("hasTLS", true);
  flag("isDebugger", false);
  flag("localFileReadDisable", false);
  flag("windowlessDisable", true);
  text("language", Language());
  text("manufacturer", "Vantrel Linux");
  text("os", "Linux");
  text("playerType", "StandAlone");
  text("screenColor", "color");
  text("version", "LNX 32,0,0,0");
  number("pixelAspectRatio", 1);
  number("screenDPI", 72);
  live("screenResolutionX", ScreenWidth);
  live("screenResolutionY", ScreenHeight);
  live("serverString", ServerString);
}

}  // namespace

void InstallSystem(Runtime& rt) {
  Object* system = rt.MakeObject();
  rt.global->Define("System", Value::Obj(system), kDontEnum);

  static const Member systemMembers[] = {
      {"setClipboard", SetClipboard},
  };
  rt.AddMembers(system, systemMembers);
  system->Define("useCodepage", Value::Bool(false), kDontDelete);
  system->Define("exactSettings", Value::Bool(true), kDontDelete);

  Object* capabilities = rt.MakeObject();
  system->Define("capabilities", Value::Obj(capabilities), kDontEnum | kDontDelete);
  Capabilities(rt, capabilities);

  // A local player has no cross-domain policy to grant or load: the calls are taken
  // and change nothing.
  Object* security = rt.MakeObject();
  system->Define("security", Value::Obj(security), kDontEnum | kDontDelete);
  static const Member securityMembers[] = {
      {"allowDomain", Nothing},
      {"allowInsecureDomain", Nothing},
      {"loadPolicyFile", Nothing},
  };
  rt.AddMembers(security, securityMembers);
  security->DefineAccessor("sandboxType", rt.MakeFunction(SandboxType), nullptr, kDontDelete | kReadOnly);

  // No input method reaches movies on this player: the IME reports itself off.
  Object* ime = rt.MakeObject();
  system->Define("IME", Value::Obj(ime), kDontEnum | kDontDelete);
  static const Member imeMembers[] = {
      {"getEnabled", False},
      {"setEnabled", False},
      {"getConversionMode", GetConversionMode},
      {"setConversionMode", False},
      {"setCompositionString", False},
      {"doConversion", False},
  };
  rt.AddMembers(ime, imeMembers);
  for (const char* mode : {"ALPHANUMERIC_FULL", "ALPHANUMERIC_HALF", "CHINESE", "JAPANESE_HIRAGANA",
                           "JAPANESE_KATAKANA_FULL", "JAPANESE_KATAKANA_HALF", "KOREAN", "UNKNOWN"}) {
    ime->Define(mode, Value::Str(rt.Str(mode)), kDontDelete | kReadOnly);
  }
  // IME is a broadcaster: listeners may be added even though it never speaks.
  if (const Property* broadcaster = rt.global->FindOwn("AsBroadcaster", true)) {
    if (Object* b = broadcaster->value.AsObject()) {
      for (const char* name : {"addListener", "removeListener", "broadcastMessage"}) {
        if (const Property* fn = b->FindOwn(name, true)) ime->Define(name, fn->value, kDontEnum);
      }
      ime->Define("_listeners", Value::Obj(rt.MakeArray()), kDontEnum);
    }
  }
}

}  // namespace vantrel::flash::avm1
