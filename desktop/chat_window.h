// desktop/chat_window.h: the desktop window: its controls' signals -> one job each on the worker
// that owns the engine, and each job's report -> the transcript, the why panel and notices.
// Leaves this file: WindowSetup, ChatWindow. Tested end to end by scripts/test-desktop (under
// Xvfb, read back through the accessibility bus); its logic by tests/desktop/.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <deque>
#include <string>

#include "conversation/conversation.h"
#include "desktop/core_seams.h"
#include "desktop/turn_worker.h"
#include "desktop/window_model.h"
#include "terminal/common/data_directory.h"

namespace mimoza {

// What the start-up found, for the window to show.
struct WindowSetup {
  std::string dir;  // the data directory, canonical; the working directory already
  bool history = true;
  DictionaryAccess access;
};

// ChatWindow: owns the worker (and through it the engine) for as long as the application runs.
class ChatWindow {
 public:
  ChatWindow(GtkApplication* application, WindowSetup setup);
  ChatWindow(const ChatWindow&) = delete;
  ChatWindow& operator=(const ChatWindow&) = delete;
  ~ChatWindow();

  // Present: brings the window to the front; startupId is what the starting desktop gave.
  void Present(const char* startupId);

 private:
  void Build(GtkApplication* application);
  GtkWidget* BuildHeader();
  GtkWidget* BuildTranscript();
  GtkWidget* BuildWhyPanel();
  GtkWidget* BuildInputRow();
  void AddActions();

  // Handlers: each posts one job to the worker and redraws from what it returns.
  void Send(bool ctrl);
  void Escape();
  void ShowWhy(bool shown);
  void AskForget();
  void CheckDictionary();
  void EditDictionary();
  void RestoreBackup();
  void OpenDataFolder();
  void ShowAbout();
  bool WalkHistory(bool older);

  // Redrawing.
  void ApplyReport(const TurnReport& report);
  void SyncTranscript();
  void Notice(std::string text);
  void SetBusy();
  void RefreshWhy();
  void ShowDiagnostics(const std::string& title, const std::vector<DiagnosticRow>& rows,
                       bool complete);
  void AskEditDone(const std::string& path);
  void ApplyEdit(const std::string& path, bool shrinkAllowed);
  void EndEdit(bool keep);
  void LoadEarlierTurns();
  void ChooseBackup(const std::vector<BackupRow>& backups);
  void Confirm(const std::string& question, const std::string& detail, const std::string& yesWord,
               std::function<void()> yes, std::function<void()> no = nullptr);

  // Static thunks: the toolkit's callbacks find the object and call the member.
  static void OnAction(GSimpleAction* action, GVariant* parameter, gpointer self);
  static void OnActivate(GtkEntry* entry, gpointer self);
  static void OnWhyToggled(GtkToggleButton* button, gpointer self);
  static gboolean OnKey(GtkEventControllerKey* controller, guint keyval, guint keycode,
                        GdkModifierType state, gpointer self);
  static gboolean OnEntryKey(GtkEventControllerKey* controller, guint keyval, guint keycode,
                             GdkModifierType state, gpointer self);
  static void OnPreedit(GtkText* text, const char* preedit, gpointer self);

  WindowSetup setup;
  GtkWindow* window = nullptr;
  GtkTextView* transcriptView = nullptr;
  GtkTextBuffer* transcriptBuffer = nullptr;
  GtkWidget* whyPanel = nullptr;
  GtkTextView* whyView = nullptr;
  GtkToggleButton* whyButton = nullptr;
  GtkEntry* entry = nullptr;
  GtkWidget* sendButton = nullptr;
  GtkWidget* ctrlSendButton = nullptr;
  GtkSpinner* spinner = nullptr;

  TranscriptModel transcript;
  int64_t shownFrom = 0;  // the rows the transcript view shows: [shownFrom, shownTo)
  int64_t shownTo = 0;
  std::deque<int32_t> shownChars;  // characters each shown row takes in the buffer
  HistoryWalk history;
  std::string historyPath;         // empty: no history file this session
  bool historyNoticed = false;     // a failed write is told once
  std::string transcriptPath;      // empty: earlier turns are neither shown nor kept
  std::string realDir;             // the data directory as the transcript store names it
  bool transcriptNoticed = false;  // a failed write is told once
  bool preediting = false;         // an input method is composing: Up, Down and Esc are its
  ConversationState state = Idle;  // the dialogue's, as the last job left it

  TurnWorker worker;  // last: its thread may deliver as soon as it starts
};

}  // namespace mimoza
