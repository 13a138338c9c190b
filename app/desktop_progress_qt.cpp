// The launcher entry's progress and the notification over the session bus: the signal
// com.canonical.Unity.LauncherEntry.Update for application://veltra.desktop, which docks and
// KDE's task manager show, and org.freedesktop.Notifications.Notify. Without a session bus
// nothing is sent, and no bus is started for us.
#include "app/desktop_progress.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>
#include <cstdlib>
#include <filesystem>

namespace veltra::app {
namespace {

constexpr const char* kLauncherPath = "/com/canonical/unity/launcherentry/veltra";
constexpr const char* kAppUri = "application://veltra.desktop";
// How long the notification may take to be accepted: it must have left before the program
// ends, but a slow or missing daemon must not hold the window.
constexpr int kNotifyTimeoutMs = 1000;

// Only a bus the session names: without an address, the bus library would start one of its
// own through the X server (autolaunch) for a program that merely looked.
bool SessionBusNamed() {
  const char* cAddress = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (cAddress != nullptr && *cAddress != '\0') {
    return true;
  }
  const char* cRuntime = std::getenv("XDG_RUNTIME_DIR");
  std::error_code e;
  return cRuntime != nullptr && *cRuntime != '\0' &&
         std::filesystem::is_socket(std::filesystem::path(cRuntime) / "bus", e);
}

void SendLauncherEntry(const QVariantMap& aProperties) {
  if (!SessionBusNamed()) {
    return;
  }
  QDBusConnection oBus = QDBusConnection::sessionBus();
  if (!oBus.isConnected()) {
    return;
  }
  QDBusMessage oSignal = QDBusMessage::createSignal(
      QString::fromLatin1(kLauncherPath), QStringLiteral("com.canonical.Unity.LauncherEntry"),
      QStringLiteral("Update"));
  oSignal << QString::fromLatin1(kAppUri) << aProperties;
  oBus.send(oSignal);
}

} // namespace

void SHOWPROGRESS(int /*hWnd*/, int nDone, int nTotal) {
  if (nTotal <= 0) {
    return;
  }
  SendLauncherEntry({{QStringLiteral("progress"), static_cast<double>(nDone) / nTotal},
                     {QStringLiteral("progress-visible"), true}});
}

void SHOWPROGRESSFAULT(int /*hWnd*/) {
  SendLauncherEntry({{QStringLiteral("urgent"), true}});
}

void HIDEPROGRESS(int /*hWnd*/) {
  SendLauncherEntry(
      {{QStringLiteral("progress-visible"), false}, {QStringLiteral("urgent"), false}});
}

void NOTIFYOUTCOME(const std::string& cSummary, const std::string& cBody) {
  if (!SessionBusNamed()) {
    return;
  }
  QDBusConnection oBus = QDBusConnection::sessionBus();
  if (!oBus.isConnected()) {
    return;
  }
  QDBusMessage oCall = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.Notifications"),
      QStringLiteral("/org/freedesktop/Notifications"),
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
  oCall << QStringLiteral("VELTRA") << 0U << QStringLiteral("veltra")
        << QString::fromStdString(cSummary) << QString::fromStdString(cBody) << QStringList()
        << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("veltra")}} << -1;
  // Waited for (within the bound), so that it has reached the bus before the program ends.
  oBus.call(oCall, QDBus::Block, kNotifyTimeoutMs);
}

} // namespace veltra::app
