// "/exec" statements arrive on the command line and from other instances: the
// interpreter must answer every text with a call or an error, never crash or hang.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "player/script_host.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using vantrel::player::ScriptParameter;
  using vantrel::player::ScriptType;
  static vantrel::player::ScriptHost host = [] {
    vantrel::player::ScriptHost h;
    h.Add("Generate",
          {{ScriptType::Number}, {ScriptType::Number}, {ScriptType::Text}, {ScriptType::Number}, {ScriptType::Boolean}},
          [](const vantrel::player::ScriptArgs& a) { (void)a.Whole(0); });
    h.Add("SetQuality", {{ScriptType::Text}}, [](const vantrel::player::ScriptArgs&) {});
    h.Add("FullScreen",
          {{ScriptType::Boolean}, {ScriptType::Boolean, true, vantrel::player::ScriptValue::OfBool(false)}},
          [](const vantrel::player::ScriptArgs&) {});
    h.Add("Uninstall", {}, [] (const vantrel::player::ScriptArgs&) {});
    return h;
  }();
  host.Execute(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
