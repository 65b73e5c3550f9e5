// The freedesktop base folders the integration reads and writes, taken from the
// environment once so that tests can point them at temporary folders.
#pragma once

#include <string>
#include <vector>

namespace vantrel::system {

struct XdgDirs {
  std::string configHome;               // $XDG_CONFIG_HOME, default ~/.config/
  std::string dataHome;                 // $XDG_DATA_HOME, default ~/.local/share/
  std::vector<std::string> configDirs;  // $XDG_CONFIG_DIRS, default /etc/xdg/
  std::vector<std::string> dataDirs;    // $XDG_DATA_DIRS, default /usr/local/share/ and /usr/share/
  std::string currentDesktop;           // $XDG_CURRENT_DESKTOP, as it stands ("GNOME", "XFCE", "ubuntu:GNOME")
};

// The folders of this process's environment; every folder ends with "/".
XdgDirs XdgDirsFromEnvironment();

// The desktop names of XdgDirs::currentDesktop, lower-cased, in order.
std::vector<std::string> DesktopNames(const XdgDirs& dirs);

}  // namespace vantrel::system
