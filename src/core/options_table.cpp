// The options table: every setting with its type and default, in LoadOpts order.
#include <array>

#include "core/options.h"
#include "core/paths.h"
#include "core/text.h"

namespace vantrel::core {

namespace {

using K = OptionKind;
using R = DefaultRule;

constexpr std::array kOptions = {
    OptionDef{"View", "Quality", K::Text, "High"},
    OptionDef{"View", "ScaleMode", K::Number, "2"},
    OptionDef{"View", "FlashAlpha", K::Number, "100"},
    OptionDef{"View", "Playlist", K::Bool, "True"},
    OptionDef{"View", "HideUI", K::Bool, "False"},
    OptionDef{"View", "ThemeHash", K::Number, "", R::None},
    OptionDef{"Playback", "RepeatMode", K::Number, "0"},
    OptionDef{"Playback", "NonStop", K::Bool, "False"},
    OptionDef{"Playback", "Shuffle", K::Bool, "False"},
    OptionDef{"Browser", "SortForward", K::Bool, "True"},
    OptionDef{"Browser", "SortBy", K::Text, "Name"},
    OptionDef{"Browser", "ShowFolder", K::Bool, "True"},
    OptionDef{"Browser", "ShowVideo", K::Bool, "True"},
    OptionDef{"Browser", "ShowMovie", K::Bool, "True"},
    OptionDef{"Browser", "ShowProjector", K::Bool, "True"},
    OptionDef{"Sound", "Volume", K::Number, "100"},
    OptionDef{"Sound", "Pan", K::Number, "0"},
    OptionDef{"Sound", "Mute", K::Bool, "False"},
    OptionDef{"Desktop", "Mute", K::Bool, "True"},
    OptionDef{"Desktop", "Transparent", K::Bool, "True"},
    OptionDef{"System", "Intro", K::Bool, "False"},
    OptionDef{"System", "Tips", K::Bool, "True"},
    OptionDef{"System", "CacheMode", K::Number, "1"},
    OptionDef{"System", "TimeMode", K::Number, "0"},
    OptionDef{"System", "FSCommand", K::Bool, "True"},
    OptionDef{"System", "GenericProjectors", K::Bool, "True"},
    OptionDef{"System", "RemoveProjectors", K::Bool, "False"},
    OptionDef{"System", "LocalNetwork", K::Bool, "False"},
    OptionDef{"System", "OptionsPage", K::Number, "0"},
    OptionDef{"System", "DisableScreenSaver", K::Bool, "False"},
    OptionDef{"System", "OneInstance", K::Bool, "True"},
    OptionDef{"System", "GPF", K::Bool, "False"},
    OptionDef{"System", "FirstRun", K::Bool, "True"},
    OptionDef{"System", "Language", K::Text, ""},
    OptionDef{"System", "Projector", K::Text, "", R::None},
    OptionDef{"FileTypes", "SWF", K::Bool, "True"},
    OptionDef{"FileTypes", "FLV", K::Bool, "True"},
    OptionDef{"FileTypes", "PL", K::Bool, "True"},
    OptionDef{"Thumbnails", "HQShots", K::Bool, "True"},
    OptionDef{"Thumbnails", "Satellite", K::Bool, "False"},
    OptionDef{"Thumbnails", "ShotJpeg", K::Number, "90"},
    OptionDef{"Thumbnails", "SampleFrom", K::Number, "30"},
    OptionDef{"Thumbnails", "SampleTo", K::Number, "50"},
    OptionDef{"Update", "Auto", K::Bool, "True"},
    OptionDef{"Update", "Build", K::Number, "", R::ProgramBuild},
    OptionDef{"Update", "Date", K::Text, ""},
    OptionDef{"Update", "Usage", K::Number, "0"},
    OptionDef{"Update", "Played", K::Number, "0"},
    OptionDef{"Recent", "MyFlash", K::Text, "", R::MyFlashFolder},
    OptionDef{"Recent", "History", K::Bool, "True"},
    OptionDef{"Recent", "", K::Text, "", R::MyFlashFolder},
    OptionDef{"Window", "TopMost", K::Bool, "False"},
    OptionDef{"Window", "MenuBar", K::Bool, "True"},
    OptionDef{"Window", "HandyKeys", K::Bool, "False"},
    OptionDef{"Window", "KeepSize", K::Bool, "False"},
    OptionDef{"Window", "AspectRatio", K::Bool, "False"},
    OptionDef{"Window", "Centered", K::Bool, "True"},
    OptionDef{"Window", "Crop", K::Bool, "True"},
    OptionDef{"Window", "SkinColor", K::Number, "0"},
    OptionDef{"Window", "Style", K::Number, "1"},
    OptionDef{"Window", "Left", K::Number, "", R::WindowPresent},
    OptionDef{"Window", "Top", K::Number, "", R::WindowPresent},
    OptionDef{"Window", "Width", K::Number, "", R::WindowPresent},
    OptionDef{"Window", "Height", K::Number, "", R::WindowPresent},
    OptionDef{"Window", "State", K::Number, "0"},  // 0 normal, 1 minimised, 2 maximised
    OptionDef{"Window", "BrowseWidth", K::Number, "12000"},
    OptionDef{"Window", "BrowseHeight", K::Number, "12000"},
    OptionDef{"Window", "FontName", K::Text, "Century Gothic"},
    OptionDef{"Window", "FontSize", K::Number, "8"},
    OptionDef{"Window", "hWnd", K::Text, "0"},
    OptionDef{"ScreenSaver", "", K::Text, ""},
    OptionDef{"Generator", "Size", K::Bool, "True"},
    OptionDef{"Generator", "Color", K::Bool, "True"},
    OptionDef{"Generator", "Show", K::Bool, "True"},
    OptionDef{"Generator", "Recursive", K::Bool, "True"},
    OptionDef{"Generator", "Overwrite", K::Bool, "True"},
    OptionDef{"Generator", "Info", K::Bool, "False"},
    OptionDef{"Generator", "Execute", K::Bool, "False"},
    OptionDef{"Generator", "Watermark", K::Bool, "False"},
    OptionDef{"Generator", "Width", K::Number, "120"},
    OptionDef{"Generator", "Height", K::Number, "90"},
    OptionDef{"Generator", "Percent", K::Number, "100"},
    OptionDef{"Generator", "Quality", K::Number, "90"},
    OptionDef{"Generator", "BackColor", K::Text, "FFFFFF"},
    OptionDef{"Generator", "Source", K::Text, "", R::MyFlashFolder},
    OptionDef{"Generator", "App", K::Text, ""},
    OptionDef{"Generator", "LogoPath", K::Text, ""},
    OptionDef{"Decompiler", "Destination", K::Text, "", R::MyFlashFolder},
    OptionDef{"Decompiler", "JPEG", K::Bool, "True"},
    OptionDef{"Decompiler", "Event", K::Bool, "True"},
    OptionDef{"Decompiler", "Stream", K::Bool, "True"},
    OptionDef{"Decompiler", "PNG", K::Bool, "False"},
    OptionDef{"Decompiler", "Video", K::Bool, "False"},
    OptionDef{"Export", "Format", K::Text, "mp4"},
    OptionDef{"Export", "Sound", K::Bool, "True"},
    OptionDef{"Export", "Folder", K::Text, "", R::MyFlashFolder},
};

}  // namespace

std::span<const OptionDef> OptionTable() { return kOptions; }

const OptionDef* FindOption(std::string_view section, std::string_view key) {
  for (const OptionDef& option : kOptions)
    if (EqualsNoCase(option.section, section) && EqualsNoCase(option.key, key)) return &option;
  return nullptr;
}

std::string DefaultMyFlashFolder() { return SpecialFolder(kFolderDocuments) + "My Flash/"; }

}  // namespace vantrel::core
