// What a standalone player answers to the calls that ask about its container: there is
// no browser (ExternalInterface is unavailable and its calls throw #2067), the movie is a
// local file (its sandbox follows its UseNetwork flag), the player runs on Linux, and no
// camera or microphone is attached. LoaderInfo describes the movie each display object
// came from.
#include <cmath>
#include <filesystem>

#include "flash/avm2/builtins/support.h"
#include "flash/display/movie_clip.h"
#include "flash/display/player.h"
#include "flash/script/utf16.h"

namespace vantrel::flash::avm2 {

namespace {

// ---- ExternalInterface ----

[[noreturn]] void NoContainer(Machine& m) {
  m.ThrowError("Error", 2067,
               "The ExternalInterface is not available in this container. ExternalInterface requires Internet Explorer "
               "ActiveX, Firefox, Mozilla 1.7.5 and greater, or other browsers that support NPRuntime.");
}
Value ExternalCall(Machine& m, const Value&, const Value*, int) { NoContainer(m); }

// The two answers an accessibility implementation must give itself.
Value AccessibleRole(Machine& m, const Value&, const Value*, int) {
  m.ThrowError("Error", 2143, "AccessibilityImplementation.get_accRole() must be overridden from its default.");
}
Value AccessibleState(Machine& m, const Value&, const Value*, int) {
  m.ThrowError("Error", 2144, "AccessibilityImplementation.get_accState() must be overridden from its default.");
}

// ---- Security ----

Value SandboxType(Machine& m, const Value&, const Value*, int) {
  const bool network = m.player && m.player->GetMovie().useNetwork;
  return m.StrValue(network ? "localWithNetwork" : "localWithFile");
}

// ---- Capabilities ----

enum CapabilityText { kLanguage, kManufacturer, kOs, kPlayerType, kScreenColor, kVersion, kCpuArchitecture, kTouchscreenType };
Value CapabilityString(Machine& m, const Value&, const Value*, int) {
  static const char* const kTexts[] = {"en", "Adobe Linux", "Linux", "StandAlone", "color", "LNX 32,0,0,465", "x86", "none"};
  return m.StrValue(kTexts[NativeTag(m)]);
}
// The screen the player reports, at 72 dpi, square pixels.
enum CapabilityNumber { kResolutionX, kResolutionY, kDpi, kAspect };
Value CapabilityNumber(Machine& m, const Value&, const Value*, int) {
  static const double kNumbers[] = {kScreenWidth, kScreenHeight, 72, 1};
  return Value::Number(kNumbers[NativeTag(m)]);
}
// Capabilities.serverString: the capabilities as the player sends them to a server.
Value ServerString(Machine& m, const Value&, const Value*, int) {
  return m.StrValue("A=t&SA=t&SV=t&EV=t&MP3=t&AE=t&VE=t&ACC=f&PR=t&SP=t&SB=f&DEB=f&V=LNX%2032%2C0%2C0%2C465&M=Adobe%20Linux"
                    "&R=1536x864&COL=color&AR=1.0&OS=Linux&ARCH=x86&L=en&IME=f&PR32=t&PR64=t&LS=en&PT=StandAlone"
                    "&AVD=f&LFD=f&WD=f&TLS=t&ML=5.1&DP=72");
}

// ---- Camera, Microphone ----

Value EmptyArray(Machine& m, const Value&, const Value*, int) { return Value::Obj(m.NewArray()); }

// ---- LoaderInfo ----

// The LoaderInfo a display object answers: that of the content of the Loader it hangs
// under (the nearest one), else that of the movie whose level it hangs in (the stage
// answers for the first movie); null off the display list.
Object* LoaderInfoOf(Machine& m, const Value& self) {
  if (!self.IsObject() || self.object->kind != ObjectKind::Display || !m.player) return nullptr;
  const DisplayObject* d = static_cast<NativeObject*>(self.object)->display;
  if (!d) return nullptr;
  const LoadedMovie* movie = nullptr;
  if (ClassObject* stage = m.FindClass("flash.display::Stage"); stage && m.IsInstance(self, stage)) {
    movie = m.player->Root().Movie();
  } else {
    for (int i = 0; d && i < 100000; ++i, d = d->Parent()) {
      for (auto& [key, parts] : m.loaderInfos)
        if (parts.loader && parts.contentDisplay == d) return parts.info;
      if (!d->Parent()) break;
    }
    // A clip no level holds (made by a script and not added yet) came from no movie.
    for (const auto& [number, level] : m.player->Levels())
      if (level == d) movie = d->Movie();
  }
  if (!movie) return nullptr;
  Machine::LoaderInfoParts& parts = m.loaderInfos[movie];
  parts.movie = movie;
  if (!parts.info) {
    ClassObject* cls = m.FindClass("flash.display::LoaderInfo");
    parts.info = m.ConstructClass(cls, nullptr, 0);
  }
  return parts.info;
}

Machine::LoaderInfoParts& PartsOf(Machine& m, const Value& self) {
  for (auto& [movie, parts] : m.loaderInfos)
    if (self.IsObject() && parts.info == self.object) return parts;
  m.ThrowTypeError(1009, "Cannot access a property or method of a null object reference.");
}
// The movie described; null while a Loader has none yet.
const LoadedMovie* LoadedOf(Machine& m, const Value& self) { return static_cast<const LoadedMovie*>(PartsOf(m, self).movie); }

Value GetLoaderInfo(Machine& m, const Value& self, const Value*, int) {
  Object* info = LoaderInfoOf(m, self);
  return info ? Value::Obj(info) : Value::Null();
}

}  // namespace

std::string AddressAsUrl(const std::string& address) {
  if (address.empty() || address.find(':') != std::string::npos) return address;  // a web address or a URL already
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(address, ec);
  return "file://" + (ec ? address : absolute.lexically_normal().generic_string());
}

namespace {

[[noreturn]] void NotLoaded(Machine& m) {
  m.ThrowError("Error", 2099, "The loading object is not sufficiently loaded to provide this information.");
}

enum LoaderInfoField {
  kUrl, kLoaderUrl, kBytesLoaded, kBytesTotal, kWidth, kHeight, kFrameRate, kSwfVersion, kAsVersion, kContentType,
  kAllows
};
Value LoaderInfoValue(Machine& m, const Value& self, const Value*, int) {
  const Machine::LoaderInfoParts& parts = PartsOf(m, self);
  const auto* movie = static_cast<const LoadedMovie*>(parts.movie);
  const int field = NativeTag(m);
  if (parts.loader) {
    // A Loader's: what has arrived so far.
    switch (field) {
      case kUrl: return parts.hasUrl ? m.StrValue(AddressAsUrl(parts.url)) : Value::Null();
      case kLoaderUrl: return m.player ? m.StrValue(AddressAsUrl(m.player->Root().Movie()->url)) : Value::Null();
      case kBytesLoaded: return Value::Number(parts.bytesLoaded);
      case kBytesTotal: return Value::Number(parts.bytesTotal);
      case kContentType: return parts.contentType.empty() ? Value::Null() : m.StrValue(parts.contentType);
      default: break;
    }
    if (!parts.ready || !movie) NotLoaded(m);
    if (parts.contentType != "application/x-shockwave-flash") {
      // A picture has a size and nothing of a movie.
      if (field == kWidth) return Value::Number(parts.width);
      if (field == kHeight) return Value::Number(parts.height);
      if (field == kAllows) return Value::Bool(true);
      m.ThrowError("Error", 2098, "The loading object is not a .swf file, you cannot request SWF properties from it.");
    }
  }
  if (!movie) NotLoaded(m);
  const Movie& model = *movie->movie;
  switch (field) {
    case kUrl: case kLoaderUrl: return m.StrValue(AddressAsUrl(movie->url));
    case kBytesLoaded: case kBytesTotal:
      return Value::Number(static_cast<double>(model.fileSize ? model.fileSize : model.header.fileLength));
    case kWidth: return Value::Number(std::round((model.header.frameSize.xMax - model.header.frameSize.xMin) / 20.0));
    case kHeight: return Value::Number(std::round((model.header.frameSize.yMax - model.header.frameSize.yMin) / 20.0));
    case kFrameRate: return Value::Number(model.FrameRate());
    case kSwfVersion: return Value::Number(model.header.version);
    case kAsVersion: return Value::Number(model.actionScript3 ? 3 : 2);
    case kAllows: return Value::Bool(true);
    default: return m.StrValue("application/x-shockwave-flash");
  }
}

// The movie's parameters: the variables of its address's query string (a standalone
// player has no FlashVars).
Value Parameters(Machine& m, const Value& self, const Value*, int) {
  Machine::LoaderInfoParts& parts = PartsOf(m, self);
  if (parts.parameters.IsObject()) return parts.parameters;
  Object* params = m.NewObject();
  const LoadedMovie* movie = LoadedOf(m, self);
  const std::string url = parts.loader ? parts.url : movie ? movie->url : std::string();
  const std::size_t query = url.find('?');
  if (query != std::string::npos) {
    std::string_view rest = std::string_view(url).substr(query + 1);
    if (const std::size_t hash = rest.find('#'); hash != std::string_view::npos) rest = rest.substr(0, hash);
    while (!rest.empty()) {
      const std::size_t amp = rest.find('&');
      const std::string_view pair = rest.substr(0, amp);
      rest = amp == std::string_view::npos ? std::string_view() : rest.substr(amp + 1);
      if (pair.empty()) continue;
      const std::size_t eq = pair.find('=');
      const std::string name = script::UrlDecode(pair.substr(0, eq));
      const std::string value = eq == std::string_view::npos ? "" : script::UrlDecode(pair.substr(eq + 1));
      params->SetOwn(name, m.StrValue(value));
    }
  }
  parts.parameters = Value::Obj(params);
  return parts.parameters;
}

Value Content(Machine& m, const Value& self, const Value*, int) {
  const Machine::LoaderInfoParts& parts = PartsOf(m, self);
  if (parts.loader) return parts.content.IsObject() ? parts.content : Value::Null();
  const LoadedMovie* movie = LoadedOf(m, self);
  if (m.player && movie == m.player->Root().Movie()) return DisplayObjectValue(m, &m.player->Root());
  return Value::Null();
}
Value LoaderOfInfo(Machine& m, const Value& self, const Value*, int) {
  const Machine::LoaderInfoParts& parts = PartsOf(m, self);
  return parts.loader ? Value::Obj(parts.loader) : Value::Null();
}
// The bytes of the movie or picture: null before a load starts.
Value BytesOfInfo(Machine& m, const Value& self, const Value*, int) {
  const Machine::LoaderInfoParts& parts = PartsOf(m, self);
  return parts.bytes.IsObject() ? parts.bytes : Value::Null();
}

Value SharedEvents(Machine& m, const Value& self, const Value*, int) {
  Machine::LoaderInfoParts& parts = PartsOf(m, self);
  if (!parts.sharedEvents.IsObject())
    parts.sharedEvents = Value::Obj(m.ConstructClass(m.FindClass("flash.events::EventDispatcher"), nullptr, 0));
  return parts.sharedEvents;
}
Value UncaughtErrorEvents(Machine& m, const Value& self, const Value*, int) {
  Machine::LoaderInfoParts& parts = PartsOf(m, self);
  if (!parts.uncaughtErrorEvents.IsObject()) {
    ClassObject* cls = m.FindClass("flash.events::UncaughtErrorEvents");
    parts.uncaughtErrorEvents = cls ? Value::Obj(m.ConstructClass(cls, nullptr, 0)) : Value::Null();
  }
  return parts.uncaughtErrorEvents;
}

}  // namespace

bool Machine::HandledByUncaughtListeners(const Value& error) {
  if (!player || reportingUncaught) return false;
  const auto it = loaderInfos.find(player->RootMovie());
  if (it == loaderInfos.end() || !it->second.uncaughtErrorEvents.IsObject()) return false;
  const Value target = it->second.uncaughtErrorEvents;
  ClassObject* cls = FindClass("flash.events.UncaughtErrorEvent");
  if (!cls) return false;
  reportingUncaught = true;
  bool prevented = false;
  Guard([&] {
    const Value args[4] = {StrValue("uncaughtError"), Value::Bool(true), Value::Bool(true), error};
    const Value event = Construct(Value::Obj(cls), args, 4);
    CallPublic(target, "dispatchEvent", {event});
    prevented = ToBoolean(CallPublic(event, "isDefaultPrevented", {}));
  });
  reportingUncaught = false;
  return prevented;
}

namespace {

// ---- ApplicationDomain ----

// The machine keeps one domain: every domain object finds what the movie's scripts and
// the player define.
Value GetDefinition(Machine& m, const Value&, const Value* args, int argc) {
  Multiname name;
  name.id = m.Intern("getDefinitionByName");
  name.text = &m.NameText(name.id);
  const NsId ns = m.InternNs(kNsNamespace, "flash.utils");
  name.ns = &ns;
  name.nsCount = 1;
  bool found = false;
  const Value lookup = m.LookupDomain(name, found);
  const Value definition = m.Call(lookup, Value::Null(), args, argc);
  return definition;
}
Value HasDefinition(Machine& m, const Value& self, const Value* args, int argc) {
  if (argc < 1 || args[0].IsNull() || args[0].IsUndefined()) return Value::Bool(false);
  try {
    GetDefinition(m, self, args, argc);
  } catch (const Thrown&) {
    return Value::Bool(false);
  }
  return Value::Bool(true);
}
Value ApplicationDomainParent(Machine& m, const Value& self, const Value*, int) {
  // The movie's domain answers the player's (system) domain, which has no parent.
  ClassObject* cls = m.FindClass("flash.system::ApplicationDomain");
  if (!self.IsObject() || self.object->kind != ObjectKind::Other || !m.IsInstance(self, cls)) return Value::Null();
  return static_cast<NativeObject*>(self.object)->a;
}
// The memory of the li*/si* instructions: a ByteArray of at least a kilobyte, or null for
// the player's own.
Value GetDomainMemory(Machine& m, const Value&, const Value*, int) {
  return m.domainMemory ? Value::Obj(m.domainMemory) : Value::Null();
}
Value SetDomainMemory(Machine& m, const Value&, const Value* args, int argc) {
  const Value memory = Arg(args, argc, 0);
  if (!memory.IsObject()) {
    m.domainMemory = nullptr;
    return Value();
  }
  if (memory.object->kind != ObjectKind::ByteArray)
    m.ThrowError("TypeError", 1034, "Type Coercion failed: cannot convert " + m.ToString(memory) + " to flash.utils.ByteArray.");
  if (static_cast<NativeObject*>(memory.object)->text.size() < 1024) m.ThrowError("Error", 1504, "End of file.");
  m.domainMemory = memory.object;
  return Value();
}
Value ConstructDomain(Machine& m, const Value& self, const Value* args, int argc) {
  const Value parent = Arg(args, argc, 0);
  static_cast<NativeObject*>(self.object)->a = parent.IsObject() ? parent : Value::Null();
  return Value();
}
Value DomainOfLoaderInfo(Machine& m, const Value&, const Value*, int) {
  return m.GetPublic(Value::Obj(m.FindClass("flash.system::ApplicationDomain")), "currentDomain");
}

// ---- flash.net.navigateToURL ----

// Hands the request's address to the player (the window opens the browser with it);
// "fscommand:" addresses go to the container as AVM1's getURL sends them. GET requests
// carry their data in the query string.
Value NavigateToUrl(Machine& m, const Value&, const Value* args, int argc) {
  const Value request = Arg(args, argc, 0);
  if (!request.IsObject()) m.ThrowTypeError(2007, "Parameter request must be non-null.");
  std::string url = m.ToString(m.GetPublic(request, "url"));
  const Value window = Arg(args, argc, 1);
  const std::string target = window.IsUndefined() || window.IsNull() ? "_blank" : m.ToString(window);
  const Value data = m.GetPublic(request, "data");
  const std::string method = m.ToString(m.GetPublic(request, "method"));
  if (!data.IsNull() && !data.IsUndefined() && method != "POST") {
    const std::string query = m.ToString(data);
    if (!query.empty()) url += (url.find('?') == std::string::npos ? "?" : "&") + query;
  }
  if (!m.player) return Value();
  PlayerHooks& hooks = m.player->Hooks();
  if (url.size() >= 10 && url.compare(0, 10, "fscommand:") == 0) {
    if (hooks.fsCommand) hooks.fsCommand(url.substr(10), target);
  } else if (hooks.getUrl) {
    hooks.getUrl(url, target);
  }
  return Value();
}

}  // namespace

void InstallPlayerApi(Machine& m) {
  // The base of a component's accessibility implementation: a screen reader asks it, and
  // what a component does not answer itself is nothing (no screen reader asks here).
  ClassObject* accessible = m.DefineClass("flash.accessibility", "AccessibilityImplementation", m.objectClass);
  AddPublicSlot(m, accessible, "errno", 2, Value::Number(0));
  AddPublicSlot(m, accessible, "stub", 4, Value::Bool(false));
  static const Member kAccessibleMembers[] = {
      {"accDoDefaultAction", Nothing, nullptr, 0, 0, 1},
      {"accLocation", Null, nullptr, 0, 0, 1},
      {"accSelect", Nothing, nullptr, 0, 0, 2},
      {"get_accDefaultAction", Null, nullptr, 0, 0, 1},
      {"get_accFocus", Zero, nullptr, 0, 0},
      {"get_accName", Null, nullptr, 0, 0, 1},
      {"get_accRole", AccessibleRole, nullptr, 0, 0, 1},
      {"get_accSelection", Null, nullptr, 0, 0},
      {"get_accState", AccessibleState, nullptr, 0, 0, 1},
      {"get_accValue", Null, nullptr, 0, 0, 1},
      {"getChildIDArray", Null, nullptr, 0, 0},
      {"isLabeledBy", False, nullptr, 0, 0, 1},
  };
  Install(m, accessible, kAccessibleMembers);
  m.DefineGlobal("flash.net", "navigateToURL", Value::Obj(m.NewNativeFunction("navigateToURL", NavigateToUrl)));
  ClassObject* external = m.DefineClass("flash.external", "ExternalInterface", m.objectClass);
  external->isFinal = true;
  static const Member kExternalMembers[] = {
      {"available", False, nullptr, kAccessor | kStatic, 0},
      {"objectID", Null, nullptr, kAccessor | kStatic, 0},
      {"addCallback", ExternalCall, nullptr, kStatic, 0},
      {"call", ExternalCall, nullptr, kStatic, 0},
  };
  Install(m, external, kExternalMembers);
  AddStaticVariable(m, external, "marshallExceptions", Value::Bool(false));

  ClassObject* security = m.DefineClass("flash.system", "Security", m.objectClass);
  security->isFinal = true;
  static const Member kSecurityMembers[] = {
      {"sandboxType", SandboxType, nullptr, kAccessor | kStatic, 0},
      {"allowDomain", Nothing, nullptr, kStatic, 0},
      {"allowInsecureDomain", Nothing, nullptr, kStatic, 0},
      {"loadPolicyFile", Nothing, nullptr, kStatic, 0},
      // The settings panel of a standalone player has nothing to show: no camera, no
      // microphone, no local storage to grant.
      {"showSettings", Nothing, nullptr, kStatic, 0},
  };
  Install(m, security, kSecurityMembers);
  AddStaticVariable(m, security, "exactSettings", Value::Bool(true));
  AddStaticVariable(m, security, "disableAVM1Loading", Value::Bool(false));

  ClassObject* capabilities = m.DefineClass("flash.system", "Capabilities", m.objectClass);
  capabilities->isFinal = true;
  static const Member kCapabilityMembers[] = {
      {"avHardwareDisable", False, nullptr, kAccessor | kStatic, 0},
      {"hasAccessibility", False, nullptr, kAccessor | kStatic, 0},
      {"hasAudio", True, nullptr, kAccessor | kStatic, 0},
      {"hasAudioEncoder", True, nullptr, kAccessor | kStatic, 0},
      {"hasEmbeddedVideo", True, nullptr, kAccessor | kStatic, 0},
      {"hasIME", False, nullptr, kAccessor | kStatic, 0},
      {"hasMP3", True, nullptr, kAccessor | kStatic, 0},
      {"hasPrinting", True, nullptr, kAccessor | kStatic, 0},
      {"hasScreenBroadcast", False, nullptr, kAccessor | kStatic, 0},
      {"hasScreenPlayback", True, nullptr, kAccessor | kStatic, 0},
      {"hasStreamingAudio", True, nullptr, kAccessor | kStatic, 0},
      {"hasStreamingVideo", True, nullptr, kAccessor | kStatic, 0},
      {"hasTLS", True, nullptr, kAccessor | kStatic, 0},
      {"hasVideoEncoder", True, nullptr, kAccessor | kStatic, 0},
      {"isDebugger", False, nullptr, kAccessor | kStatic, 0},
      {"localFileReadDisable", False, nullptr, kAccessor | kStatic, 0},
      {"language", CapabilityString, nullptr, kAccessor | kStatic, kLanguage},
      {"manufacturer", CapabilityString, nullptr, kAccessor | kStatic, kManufacturer},
      {"os", CapabilityString, nullptr, kAccessor | kStatic, kOs},
      {"playerType", CapabilityString, nullptr, kAccessor | kStatic, kPlayerType},
      {"screenColor", CapabilityString, nullptr, kAccessor | kStatic, kScreenColor},
      {"version", CapabilityString, nullptr, kAccessor | kStatic, kVersion},
      {"screenResolutionX", CapabilityNumber, nullptr, kAccessor | kStatic, kResolutionX},
      {"screenResolutionY", CapabilityNumber, nullptr, kAccessor | kStatic, kResolutionY},
      {"screenDPI", CapabilityNumber, nullptr, kAccessor | kStatic, kDpi},
      {"pixelAspectRatio", CapabilityNumber, nullptr, kAccessor | kStatic, kAspect},
      {"serverString", ServerString, nullptr, kAccessor | kStatic, 0},
  };
  Install(m, capabilities, kCapabilityMembers);

  ClassObject* dispatcher = m.FindClass("flash.events::EventDispatcher");
  for (const char* name : {"Camera", "Microphone"}) {
    ClassObject* device = m.DefineClass("flash.media", name, dispatcher);
    device->init = dispatcher->init;
    device->isFinal = true;
    const std::string getter = std::string("get") + name;
    m.AddTraitMethod(device, getter, Null, true);  // no device attached
    m.AddAccessor(device, "names", EmptyArray, nullptr, true);
  }

  ClassObject* loaderInfo = m.DefineClass("flash.display", "LoaderInfo", dispatcher);
  static const Member kLoaderInfoMembers[] = {
      {"url", LoaderInfoValue, nullptr, kAccessor, kUrl},
      {"loaderURL", LoaderInfoValue, nullptr, kAccessor, kLoaderUrl},
      {"bytesLoaded", LoaderInfoValue, nullptr, kAccessor, kBytesLoaded},
      {"bytesTotal", LoaderInfoValue, nullptr, kAccessor, kBytesTotal},
      {"bytes", BytesOfInfo, nullptr, kAccessor, 0},
      {"width", LoaderInfoValue, nullptr, kAccessor, kWidth},
      {"height", LoaderInfoValue, nullptr, kAccessor, kHeight},
      {"frameRate", LoaderInfoValue, nullptr, kAccessor, kFrameRate},
      {"swfVersion", LoaderInfoValue, nullptr, kAccessor, kSwfVersion},
      {"actionScriptVersion", LoaderInfoValue, nullptr, kAccessor, kAsVersion},
      {"contentType", LoaderInfoValue, nullptr, kAccessor, kContentType},
      {"parameters", Parameters, nullptr, kAccessor, 0},
      {"content", Content, nullptr, kAccessor, 0},
      {"loader", LoaderOfInfo, nullptr, kAccessor, 0},
      {"sharedEvents", SharedEvents, nullptr, kAccessor, 0},
      {"uncaughtErrorEvents", UncaughtErrorEvents, nullptr, kAccessor, 0},
      {"childAllowsParent", LoaderInfoValue, nullptr, kAccessor, kAllows},
      {"parentAllowsChild", LoaderInfoValue, nullptr, kAccessor, kAllows},
      {"sameDomain", LoaderInfoValue, nullptr, kAccessor, kAllows},
      {"isURLInaccessible", False, nullptr, kAccessor, 0},
  };
  Install(m, loaderInfo, kLoaderInfoMembers);

  ClassObject* domain = m.DefineClass("flash.system", "ApplicationDomain", m.objectClass, ConstructDomain);
  domain->allocate = AllocateNative<>;
  domain->isFinal = true;
  static const Member kDomainMembers[] = {
      {"getDefinition", GetDefinition, nullptr, 0, 0},
      {"hasDefinition", HasDefinition, nullptr, 0, 0},
      {"parentDomain", ApplicationDomainParent, nullptr, kAccessor, 0},
      {"domainMemory", GetDomainMemory, SetDomainMemory, kAccessor, 0},
  };
  Install(m, domain, kDomainMembers);
  // The movie's domain, child of the player's own.
  const Value system = Value::Obj(m.ConstructClass(domain, nullptr, 0));
  const Value current = Value::Obj(m.ConstructClass(domain, &system, 1));
  m.AddConstant(domain, "currentDomain", current);
  m.AddAccessor(loaderInfo, "applicationDomain", DomainOfLoaderInfo, nullptr);

  ClassObject* securityDomain = m.DefineClass("flash.system", "SecurityDomain", m.objectClass);
  securityDomain->isFinal = true;
  m.AddConstant(securityDomain, "currentDomain", Value::Obj(m.ConstructClass(securityDomain, nullptr, 0)));
  // Every display object tells the movie it came from.
  m.AddAccessor(m.FindClass("flash.display::DisplayObject"), "loaderInfo", GetLoaderInfo, nullptr);
}

}  // namespace vantrel::flash::avm2
