// desktop/main.cpp: command line -> data directory, the start-up checks, one window per data
// directory, and the GtkApplication that runs the chat window.
// Leaves this file: main. Start and Activate are private. Tested end to end by
// scripts/test-desktop.
#include <gtk/gtk.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <memory>
#include <string>

#include "desktop/chat_window.h"
#include "desktop/core_seams.h"
#include "desktop/desktop_options.h"
#include "desktop/folder_claim.h"
#include "desktop/window_model.h"
#include "knowledge/knowledge.h"
#include "terminal/common/command_line.h"
#include "terminal/common/data_directory.h"
#include "terminal/common/words.h"

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitNoData = 1;  // the data directory or its dictionary cannot be used

constexpr const char* kHelp =
    "Mimoza in a window of its own: a small chat companion that learns from you.\n"
    "\n"
    "usage: mimoza-gtk [--dir DIR] [--seed N] [--no-history] [--help] [--version]\n"
    "\n"
    "  --dir DIR     data directory (default $XDG_DATA_HOME/mimoza, else\n"
    "                ~/.local/share/mimoza); created when missing\n"
    "  --seed N      seed the random choices with N (0 to 4294967295)\n"
    "  --no-history  neither load nor save the lines typed (the history file\n"
    "                the terminal program keeps)\n"
    "\n"
    "One window serves one data directory: starting it again on the same directory\n"
    "brings that window forward.\n";

// What the application needs from the start-up once it runs.
struct Start {
  mimoza::WindowSetup setup;
  std::string problem;  // not empty: no data directory or no readable dictionary; said in a
                        // dialog, exit 1
  std::unique_ptr<mimoza::ChatWindow> chat;
  int exitCode = 0;
};

// Activate: the window, once; a later activation (there is none but the first, as the
// application is not unique on the bus) presents it.
void Activate(GtkApplication* application, gpointer data) {
  auto* start = static_cast<Start*>(data);
  if (start->chat != nullptr) return start->chat->Present(nullptr);
  if (!start->problem.empty()) {
    start->exitCode = kExitNoData;
    GtkWidget* dialog = gtk_message_dialog_new(
        nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR, GTK_BUTTONS_CLOSE, "%s",
        mimoza::Words(mimoza::LanguageJapanese, mimoza::MsgCannotStart).c_str());
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s",
                                             start->problem.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog),
                         mimoza::Words(mimoza::LanguageJapanese, mimoza::MsgProgramName).c_str());
    gtk_window_set_application(GTK_WINDOW(dialog), application);
    g_signal_connect(dialog, "response", G_CALLBACK(gtk_window_destroy), nullptr);
    gtk_window_present(GTK_WINDOW(dialog));
    return;
  }
  start->chat = std::make_unique<mimoza::ChatWindow>(application, start->setup);
  start->chat->Present(nullptr);
}

std::string WorkingDirectory() {
  char* cwd = getcwd(nullptr, 0);
  std::string dir = cwd != nullptr ? cwd : "";
  std::free(cwd);
  return dir;
}

}  // namespace

int main(int argc, char** argv) {
  mimoza::DesktopOptions options;
  if (!mimoza::ParseDesktopOptions(argc, argv, &options)) {
    std::fputs(mimoza::kDesktopUsage, stderr);
    return kExitUsage;
  }
  if (options.help) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (options.version) {
    std::printf("mimoza-gtk %s\n", MIMOZA_VERSION);
    return 0;
  }
  // A file-size limit then makes a write fail (and the pair go unstored, said so) instead of
  // killing the process in the middle of a turn.
  std::signal(SIGXFSZ, SIG_IGN);
  const std::string given = options.dir.empty() ? mimoza::DefaultDataDirectory() : options.dir;
  Start start;
  mimoza::FolderClaim claim;
  // A start from the applications menu has no terminal: what stops it is said in a dialog too.
  if (!mimoza::EnterDataDirectory("mimoza-gtk", given, true)) {
    start.problem = mimoza::NoDataDirectoryMessage(given);
  } else {
    start.setup.dir = WorkingDirectory();
    start.setup.history = !options.noHistory;
    // One process serves one data directory, since the core opens its files in the working
    // directory: a start on a directory a window already serves hands over to that window.
    const mimoza::ClaimResult claimed =
        claim.Claim(mimoza::FolderBusName(start.setup.dir), [&start](const char* startupId) {
          if (start.chat != nullptr) start.chat->Present(startupId);
        });
    if (claimed == mimoza::ClaimElsewhere) return 0;
    start.setup.access = mimoza::ProbeDictionary(true);
    if (start.setup.access.readError != 0) {
      start.problem = mimoza::UnreadableMessage(start.setup.dir, start.setup.access.readError);
      std::fprintf(stderr, "mimoza-gtk: %s\n", start.problem.c_str());
    }
  }
  mimoza::srand(options.hasSeed ? options.seed : mimoza::SeedOrClock(""));

  g_set_application_name("Mimoza");
  // Not unique on the bus by its ID: uniqueness is per data directory (the claim above).
  GtkApplication* application = gtk_application_new(MIMOZA_APP_ID, G_APPLICATION_NON_UNIQUE);
  g_signal_connect(application, "activate", G_CALLBACK(Activate), &start);
  // Our options are read already; the application sees the program name alone.
  const int status = g_application_run(G_APPLICATION(application), 1, argv);
  start.chat.reset();
  g_object_unref(application);
  return start.exitCode != 0 ? start.exitCode : status;
}
