// desktop/folder_claim.h: one window per data directory: the directory's name on the session bus
// -> this process serves it, or the process that already does is asked to present its window.
// Leaves this file: ClaimResult, FolderClaim. Tested by scripts/test-desktop (a second start).
#pragma once

#include <gio/gio.h>

#include <functional>
#include <string>

namespace mimoza {

enum ClaimResult {
  ClaimOwned = 0,  // this process serves the directory
  ClaimElsewhere,  // another one does, and has been asked to present its window
  ClaimNoBus,      // no session bus: nothing to find another process by, so this one serves
};

class FolderClaim {
 public:
  FolderClaim() = default;
  FolderClaim(const FolderClaim&) = delete;
  FolderClaim& operator=(const FolderClaim&) = delete;
  ~FolderClaim();

  // Claim: takes busName (FolderBusName) on the session bus; when another process holds it, asks
  // that one to present its window with this start's startup ID. present is called (on the main
  // loop) whenever a later start asks this process the same.
  ClaimResult Claim(const std::string& busName, std::function<void(const char*)> present);

 private:
  static void HandleMethod(GDBusConnection* connection, const char* sender, const char* path,
                           const char* interface, const char* method, GVariant* parameters,
                           GDBusMethodInvocation* invocation, gpointer self);
  bool AskOwnerToPresent(const std::string& busName);

  GDBusConnection* bus = nullptr;
  GDBusNodeInfo* info = nullptr;
  guint registration = 0;
  std::function<void(const char*)> onPresent;
};

}  // namespace mimoza
