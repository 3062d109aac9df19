// desktop/folder_claim.cpp: a data directory's bus name -> owned here, or the owner asked to
// present its window.
// Leaves this file: FolderClaim's operations. Tested by scripts/test-desktop.
#include "desktop/folder_claim.h"

#include <cstdlib>
#include <utility>

namespace mimoza {
namespace {

constexpr char kObjectPath[] = "/org/mimoza/Mimoza/Folder";
constexpr char kInterface[] = MIMOZA_APP_ID ".Folder";
constexpr char kIntrospection[] =
    "<node><interface name='" MIMOZA_APP_ID
    ".Folder'>"
    "<method name='Present'><arg type='s' name='startup_id' direction='in'/></method>"
    "</interface></node>";
// org.freedesktop.DBus.RequestName: fail instead of queueing; the replies we act on.
constexpr guint32 kDoNotQueue = 4;
constexpr guint32 kPrimaryOwner = 1;
constexpr guint32 kAlreadyOwner = 4;
// The owner may be ending just as we ask it; one more claim then finds the name free.
constexpr int kClaimTries = 2;

// StartupId: what the desktop gave this start to hand focus on with (Wayland, then X11).
const char* StartupId() {
  const char* token = std::getenv("XDG_ACTIVATION_TOKEN");
  if (token == nullptr) token = std::getenv("DESKTOP_STARTUP_ID");
  return token != nullptr ? token : "";
}

}  // namespace

FolderClaim::~FolderClaim() {
  if (registration != 0) g_dbus_connection_unregister_object(bus, registration);
  if (info != nullptr) g_dbus_node_info_unref(info);
  if (bus != nullptr) g_object_unref(bus);
}

void FolderClaim::HandleMethod(GDBusConnection*, const char*, const char*, const char*,
                               const char* method, GVariant* parameters,
                               GDBusMethodInvocation* invocation, gpointer self) {
  auto* claim = static_cast<FolderClaim*>(self);
  if (g_strcmp0(method, "Present") == 0) {
    const char* startupId = nullptr;
    g_variant_get(parameters, "(&s)", &startupId);
    if (claim->onPresent) claim->onPresent(startupId);
  }
  g_dbus_method_invocation_return_value(invocation, nullptr);
}

bool FolderClaim::AskOwnerToPresent(const std::string& busName) {
  GVariant* reply = g_dbus_connection_call_sync(
      bus, busName.c_str(), kObjectPath, kInterface, "Present", g_variant_new("(s)", StartupId()),
      nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
  if (reply == nullptr) return false;
  g_variant_unref(reply);
  return true;
}

ClaimResult FolderClaim::Claim(const std::string& busName,
                               std::function<void(const char*)> present) {
  onPresent = std::move(present);
  bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (bus == nullptr) return ClaimNoBus;
  // The object is there before the name, so a start that finds the name can always call it.
  info = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
  static const GDBusInterfaceVTable kVtable = {HandleMethod, nullptr, nullptr, {}};
  registration = g_dbus_connection_register_object(bus, kObjectPath, info->interfaces[0], &kVtable,
                                                   this, nullptr, nullptr);
  for (int tries = 0; tries < kClaimTries; ++tries) {
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
        g_variant_new("(su)", busName.c_str(), kDoNotQueue), G_VARIANT_TYPE("(u)"),
        G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
    if (reply == nullptr) return ClaimNoBus;
    guint32 result = 0;
    g_variant_get(reply, "(u)", &result);
    g_variant_unref(reply);
    if (result == kPrimaryOwner || result == kAlreadyOwner) return ClaimOwned;
    if (AskOwnerToPresent(busName)) return ClaimElsewhere;
  }
  // Neither ours nor answered: serve the directory all the same rather than show nothing.
  return ClaimNoBus;
}

}  // namespace mimoza
