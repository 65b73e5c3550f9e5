// Switching the system screen saver off while the player runs: the freedesktop
// ScreenSaver interface on the session bus, which every desktop offers.
#pragma once

#include <QDBusConnection>
#include <QString>
#include <cstdint>
#include <optional>

namespace vantrel::system {

class ScreenSaverInhibitor {
 public:
  ScreenSaverInhibitor() = default;
  ~ScreenSaverInhibitor() { SetSSState(1); }
  ScreenSaverInhibitor(const ScreenSaverInhibitor&) = delete;
  ScreenSaverInhibitor& operator=(const ScreenSaverInhibitor&) = delete;

  // active 0 switches the screen saver off for as long as this program runs (or until
  // it is switched on again); any other value gives it back. Returns false when the
  // session has no screen-saver service (nothing changes then).
  bool SetSSState(std::int16_t active);

  bool Inhibited() const { return cookie_ != 0; }

  // The bus, service and path; tests point them at a service of their own. Unset bus:
  // the session bus.
  std::optional<QDBusConnection> bus;
  QString service = QStringLiteral("org.freedesktop.ScreenSaver");
  QString path = QStringLiteral("/org/freedesktop/ScreenSaver");

 private:
  std::uint32_t cookie_ = 0;
};

}  // namespace vantrel::system
