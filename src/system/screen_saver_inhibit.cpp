#include "system/screen_saver_inhibit.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>

namespace vantrel::system {

bool ScreenSaverInhibitor::SetSSState(std::int16_t active) {
  // Nothing to give back, and no bus needed for it.
  if (active != 0 && cookie_ == 0) return true;
  const QDBusConnection connection = bus ? *bus : QDBusConnection::sessionBus();
  if (!connection.isConnected()) return false;
  QDBusInterface screenSaver(service, path, QStringLiteral("org.freedesktop.ScreenSaver"), connection);
  if (!screenSaver.isValid()) return false;
  if (active == 0) {
    if (cookie_ != 0) return true;
    const QDBusReply<std::uint32_t> reply =
        screenSaver.call(QStringLiteral("Inhibit"), QStringLiteral("Vantrel"), QStringLiteral("Playing Flash movies"));
    if (!reply.isValid()) return false;
    cookie_ = reply.value();
    return true;
  }
  if (cookie_ == 0) return true;
  const QDBusReply<void> reply = screenSaver.call(QStringLiteral("UnInhibit"), cookie_);
  cookie_ = 0;
  return reply.isValid();
}

}  // namespace vantrel::system
