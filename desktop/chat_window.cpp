// desktop/chat_window.cpp: the window described once (Build), its handlers, and redrawing from
// the worker's reports.
// Leaves this file: ChatWindow's operations. DeliverOnMainLoop, Say, the actions table and the
// row builders are private. Every word it shows comes from the message table (Say).
// Tested end to end by scripts/test-desktop.
#include "desktop/chat_window.h"

#include <ctime>
#include <utility>

#include "terminal/common/encoding.h"
#include "terminal/common/history.h"
#include "terminal/common/transcript_store.h"
#include "terminal/common/words.h"

namespace mimoza {
namespace {

// DeliverOnMainLoop: runs a completion on the main loop; callable from any thread.
void DeliverOnMainLoop(TurnWorker::Completion completion) {
  auto* heap = new TurnWorker::Completion(std::move(completion));
  g_idle_add_full(
      G_PRIORITY_DEFAULT,
      [](gpointer data) -> gboolean {
        (*static_cast<TurnWorker::Completion*>(data))();
        return G_SOURCE_REMOVE;
      },
      heap, [](gpointer data) { delete static_cast<TurnWorker::Completion*>(data); });
}

// Label: sets a widget's accessible name, for controls whose look has no text of its own.
void Label(GtkWidget* widget, const char* name) {
  gtk_accessible_update_property(GTK_ACCESSIBLE(widget), GTK_ACCESSIBLE_PROPERTY_LABEL, name, -1);
}

// ClosedByEscape: a window of ours that Esc closes, as dialogs are.
void ClosedByEscape(GtkWidget* window) {
  GtkEventController* shortcuts = gtk_shortcut_controller_new();
  gtk_shortcut_controller_add_shortcut(GTK_SHORTCUT_CONTROLLER(shortcuts),
                                       gtk_shortcut_new(gtk_shortcut_trigger_parse_string("Escape"),
                                                        gtk_named_action_new("window.close")));
  gtk_widget_add_controller(window, shortcuts);
}

// Say: the window's words, from the message table in Japanese, UTF-8; arguments are UTF-8.
std::string Say(MessageId id, std::initializer_list<std::string_view> arguments = {}) {
  return Words(LanguageJapanese, id, arguments);
}

// Valid: what a text view accepts; our texts are UTF-8 already, but a notice quotes the system.
std::string Valid(const std::string& text) {
  char* valid = g_utf8_make_valid(text.c_str(), static_cast<gssize>(text.size()));
  std::string result = valid;
  g_free(valid);
  return result;
}

// The tags of the transcript, one per row kind (and one for the Ctrl mark).
constexpr const char* kRowTags[] = {"user", "response", "cleared", "notice", "divider"};
static_assert(sizeof(kRowTags) / sizeof(kRowTags[0]) == RowDivider + 1);

constexpr auto kDialogFlags =
    static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT);

// The window's actions ("win.NAME"): the menu, the buttons and the keys all reach the handlers
// through these.
constexpr const char* kActionNames[] = {"send",  "send-ctrl", "escape",  "why",         "forget",
                                        "check", "edit",      "restore", "open-folder", "about"};

}  // namespace

ChatWindow::ChatWindow(GtkApplication* application, WindowSetup windowSetup)
    : setup(std::move(windowSetup)), worker(DeliverOnMainLoop) {
  Build(application);
  if (setup.access.writeError != 0) {
    transcript.AddNotice(UnwritableNotice(setup.dir, setup.access.writeError));
  }
  if (setup.history) {
    historyPath = HistoryPath();
    std::vector<std::string> lines;
    std::string error;
    if (historyPath.empty()) {
      transcript.AddNotice(Say(MsgHistoryOff));
    } else if (!LoadHistory(historyPath, &lines, &error)) {
      transcript.AddNotice(HistoryNotice(true, error));
    }
    for (std::string& line : lines) history.Remember(std::move(line));
    LoadEarlierTurns();
  }
  SyncTranscript();
  worker.Post([this](ChatSession& session) {
    TurnReport opened = session.Open();
    return [this, opened = std::move(opened)] { ApplyReport(opened); };
  });
  SetBusy();
}

ChatWindow::~ChatWindow() = default;

// LoadEarlierTurns: the turns earlier sessions on this data directory kept in the transcript
// store, faint, above a divider; a store that cannot be read is a notice.
void ChatWindow::LoadEarlierTurns() {
  transcriptPath = TranscriptPath(setup.dir, &realDir);
  if (transcriptPath.empty()) return;  // no state directory: the history's notice tells
  std::vector<StoredEntry> stored;
  std::string error;
  if (!LoadTranscript(transcriptPath, realDir, &stored, &error)) {
    transcript.AddNotice(Words(LanguageJapanese, MsgTurnsNotShown, {error}));
    return;
  }
  transcript.AddEarlier(stored);
}

void ChatWindow::Present(const char* startupId) {
  if (startupId != nullptr && startupId[0] != '\0') gtk_window_set_startup_id(window, startupId);
  gtk_window_present(window);
}

// Build: the whole window. A header bar with the menu, why and forget; the transcript, with the
// why panel beside it; the input row at the bottom.
void ChatWindow::Build(GtkApplication* application) {
  window = GTK_WINDOW(gtk_application_window_new(application));
  gtk_window_set_title(window, "");
  gtk_window_set_default_size(window, 720, 520);
  gtk_window_set_icon_name(window, MIMOZA_APP_ID);
  gtk_window_set_titlebar(window, BuildHeader());

  GtkWidget* paned = gtk_paned_new(GTK_ORIENTATION_HORIZONTAL);
  gtk_paned_set_start_child(GTK_PANED(paned), BuildTranscript());
  gtk_paned_set_end_child(GTK_PANED(paned), BuildWhyPanel());
  gtk_paned_set_resize_end_child(GTK_PANED(paned), FALSE);
  gtk_paned_set_shrink_end_child(GTK_PANED(paned), FALSE);
  gtk_widget_set_vexpand(paned, TRUE);

  GtkWidget* column = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_box_append(GTK_BOX(column), paned);
  gtk_box_append(GTK_BOX(column), gtk_separator_new(GTK_ORIENTATION_HORIZONTAL));
  gtk_box_append(GTK_BOX(column), BuildInputRow());
  gtk_window_set_child(window, column);

  AddActions();
  // Bubble phase: an input method sees every key first, and a key it composes with never
  // arrives here.
  GtkEventController* keys = gtk_event_controller_key_new();
  gtk_event_controller_set_propagation_phase(keys, GTK_PHASE_BUBBLE);
  g_signal_connect(keys, "key-pressed", G_CALLBACK(OnKey), this);
  gtk_widget_add_controller(GTK_WIDGET(window), keys);
  // Once the window is gone, completions still queued must not touch its controls.
  g_signal_connect_swapped(window, "destroy", G_CALLBACK(+[](gpointer self) {
                             static_cast<ChatWindow*>(self)->worker.DropCompletions();
                           }),
                           this);
  gtk_widget_grab_focus(GTK_WIDGET(entry));
}

GtkWidget* ChatWindow::BuildHeader() {
  GtkWidget* header = gtk_header_bar_new();

  GMenu* menu = g_menu_new();
  g_menu_append(menu, Say(MsgMenuCheck).c_str(), "win.check");
  g_menu_append(menu, Say(MsgMenuEdit).c_str(), "win.edit");
  g_menu_append(menu, Say(MsgMenuRestore).c_str(), "win.restore");
  g_menu_append(menu, Say(MsgMenuOpenFolder).c_str(), "win.open-folder");
  GMenu* about = g_menu_new();
  g_menu_append(about, Say(MsgMenuAbout).c_str(), "win.about");
  g_menu_append_section(menu, nullptr, G_MENU_MODEL(about));
  g_object_unref(about);
  GtkWidget* menuButton = gtk_menu_button_new();
  gtk_menu_button_set_icon_name(GTK_MENU_BUTTON(menuButton), "open-menu-symbolic");
  gtk_menu_button_set_menu_model(GTK_MENU_BUTTON(menuButton), G_MENU_MODEL(menu));
  gtk_widget_set_tooltip_text(menuButton, (Say(MsgMenu) + " (F10)").c_str());
  gtk_menu_button_set_primary(GTK_MENU_BUTTON(menuButton), TRUE);
  Label(menuButton, Say(MsgMenu).c_str());
  g_object_unref(menu);
  gtk_header_bar_pack_end(GTK_HEADER_BAR(header), menuButton);

  GtkWidget* why = gtk_toggle_button_new_with_label(Say(MsgWhyWord).c_str());
  whyButton = GTK_TOGGLE_BUTTON(why);
  gtk_widget_set_tooltip_text(why, (Say(MsgWhyTip) + " (F3)").c_str());
  g_signal_connect(why, "toggled", G_CALLBACK(OnWhyToggled), this);
  gtk_header_bar_pack_end(GTK_HEADER_BAR(header), why);

  GtkWidget* forget = gtk_button_new_with_label(Say(MsgForgetWord).c_str());
  gtk_actionable_set_action_name(GTK_ACTIONABLE(forget), "win.forget");
  gtk_widget_set_tooltip_text(forget, (Say(MsgForgetTip) + " (F4)").c_str());
  gtk_header_bar_pack_end(GTK_HEADER_BAR(header), forget);

  GtkWidget* busy = gtk_spinner_new();
  spinner = GTK_SPINNER(busy);
  gtk_widget_set_tooltip_text(busy, Say(MsgBusy).c_str());
  Label(busy, Say(MsgBusy).c_str());
  gtk_header_bar_pack_start(GTK_HEADER_BAR(header), busy);
  return header;
}

GtkWidget* ChatWindow::BuildTranscript() {
  GtkWidget* view = gtk_text_view_new();
  transcriptView = GTK_TEXT_VIEW(view);
  transcriptBuffer = gtk_text_view_get_buffer(transcriptView);
  gtk_text_view_set_editable(transcriptView, FALSE);
  gtk_text_view_set_cursor_visible(transcriptView, FALSE);
  gtk_text_view_set_wrap_mode(transcriptView, GTK_WRAP_WORD_CHAR);
  gtk_text_view_set_left_margin(transcriptView, 12);
  gtk_text_view_set_right_margin(transcriptView, 12);
  gtk_text_view_set_top_margin(transcriptView, 8);
  gtk_text_view_set_bottom_margin(transcriptView, 8);
  gtk_text_view_set_pixels_below_lines(transcriptView, 4);
  Label(view, Say(MsgTranscript).c_str());
  gtk_text_buffer_create_tag(transcriptBuffer, kRowTags[RowUser], "weight", PANGO_WEIGHT_BOLD,
                             nullptr);
  gtk_text_buffer_create_tag(transcriptBuffer, kRowTags[RowResponse], "left-margin", 36, nullptr);
  gtk_text_buffer_create_tag(transcriptBuffer, kRowTags[RowCleared], "left-margin", 36,
                             "foreground", "gray60", nullptr);
  gtk_text_buffer_create_tag(transcriptBuffer, kRowTags[RowNotice], "style", PANGO_STYLE_ITALIC,
                             "foreground", "#b0401a", nullptr);
  gtk_text_buffer_create_tag(transcriptBuffer, kRowTags[RowDivider], "justification",
                             GTK_JUSTIFY_CENTER, "foreground", "gray50", "scale", 0.85, nullptr);
  gtk_text_buffer_create_tag(transcriptBuffer, "earlier", "foreground", "gray55", nullptr);
  gtk_text_buffer_create_tag(transcriptBuffer, "ctrl", "weight", PANGO_WEIGHT_NORMAL, "foreground",
                             "gray50", nullptr);
  GtkTextIter end;
  gtk_text_buffer_get_end_iter(transcriptBuffer, &end);
  gtk_text_buffer_create_mark(transcriptBuffer, "newest", &end, FALSE);

  GtkWidget* scrolled = gtk_scrolled_window_new();
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_NEVER,
                                 GTK_POLICY_AUTOMATIC);
  gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scrolled), view);
  gtk_widget_set_hexpand(scrolled, TRUE);
  gtk_widget_set_size_request(scrolled, 280, 200);
  return scrolled;
}

GtkWidget* ChatWindow::BuildWhyPanel() {
  GtkWidget* heading = gtk_label_new(Say(MsgWhyWord).c_str());
  gtk_widget_add_css_class(heading, "heading");
  gtk_label_set_xalign(GTK_LABEL(heading), 0);
  gtk_widget_set_margin_start(heading, 8);
  gtk_widget_set_margin_top(heading, 6);

  GtkWidget* view = gtk_text_view_new();
  whyView = GTK_TEXT_VIEW(view);
  gtk_text_view_set_editable(whyView, FALSE);
  gtk_text_view_set_cursor_visible(whyView, FALSE);
  gtk_text_view_set_wrap_mode(whyView, GTK_WRAP_WORD_CHAR);
  gtk_text_view_set_left_margin(whyView, 8);
  gtk_text_view_set_right_margin(whyView, 8);
  gtk_text_view_set_monospace(whyView, TRUE);
  Label(view, Say(MsgWhyPanel).c_str());

  GtkWidget* scrolled = gtk_scrolled_window_new();
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_NEVER,
                                 GTK_POLICY_AUTOMATIC);
  gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scrolled), view);
  gtk_widget_set_vexpand(scrolled, TRUE);

  whyPanel = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
  gtk_box_append(GTK_BOX(whyPanel), heading);
  gtk_box_append(GTK_BOX(whyPanel), scrolled);
  gtk_widget_set_size_request(whyPanel, 320, -1);
  gtk_widget_set_visible(whyPanel, FALSE);
  return whyPanel;
}

GtkWidget* ChatWindow::BuildInputRow() {
  GtkWidget* input = gtk_entry_new();
  entry = GTK_ENTRY(input);
  gtk_entry_set_placeholder_text(entry, Say(MsgInputHint).c_str());
  gtk_widget_set_hexpand(input, TRUE);
  Label(input, Say(MsgInput).c_str());
  g_signal_connect(input, "activate", G_CALLBACK(OnActivate), this);
  // Up and Down walk the history once the entry's own text has passed them on; an input method
  // composing with them keeps them (the preedit is tracked on the entry's text).
  GtkEventController* keys = gtk_event_controller_key_new();
  g_signal_connect(keys, "key-pressed", G_CALLBACK(OnEntryKey), this);
  gtk_widget_add_controller(input, keys);
  for (GtkWidget* child = gtk_widget_get_first_child(input); child != nullptr;
       child = gtk_widget_get_next_sibling(child)) {
    if (GTK_IS_TEXT(child)) g_signal_connect(child, "preedit-changed", G_CALLBACK(OnPreedit), this);
  }

  sendButton = gtk_button_new_with_label(Say(MsgSend).c_str());
  gtk_actionable_set_action_name(GTK_ACTIONABLE(sendButton), "win.send");
  gtk_widget_set_tooltip_text(sendButton, (Say(MsgSend) + " (Enter)").c_str());
  ctrlSendButton = gtk_button_new_with_label(Say(MsgSendCtrl).c_str());
  gtk_actionable_set_action_name(GTK_ACTIONABLE(ctrlSendButton), "win.send-ctrl");
  gtk_widget_set_tooltip_text(ctrlSendButton, (Say(MsgSendCtrlTip) + " (Ctrl+Enter)").c_str());

  GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  gtk_widget_set_margin_start(row, 8);
  gtk_widget_set_margin_end(row, 8);
  gtk_widget_set_margin_top(row, 8);
  gtk_widget_set_margin_bottom(row, 8);
  gtk_box_append(GTK_BOX(row), input);
  gtk_box_append(GTK_BOX(row), ctrlSendButton);
  gtk_box_append(GTK_BOX(row), sendButton);
  return row;
}

void ChatWindow::AddActions() {
  for (const char* name : kActionNames) {
    GSimpleAction* action = g_simple_action_new(name, nullptr);
    g_signal_connect(action, "activate", G_CALLBACK(OnAction), this);
    g_action_map_add_action(G_ACTION_MAP(window), G_ACTION(action));
    g_object_unref(action);
  }
}

// One case per action; the name is the action's, as kActionNames lists them.
void ChatWindow::OnAction(GSimpleAction* action, GVariant*, gpointer self) {
  auto* chat = static_cast<ChatWindow*>(self);
  const std::string name = g_action_get_name(G_ACTION(action));
  if (name == "send") {
    chat->Send(false);
  } else if (name == "send-ctrl") {
    chat->Send(true);
  } else if (name == "escape") {
    chat->Escape();
  } else if (name == "why") {
    gtk_toggle_button_set_active(chat->whyButton, !gtk_toggle_button_get_active(chat->whyButton));
  } else if (name == "forget") {
    chat->AskForget();
  } else if (name == "check") {
    chat->CheckDictionary();
  } else if (name == "edit") {
    chat->EditDictionary();
  } else if (name == "restore") {
    chat->RestoreBackup();
  } else if (name == "open-folder") {
    chat->OpenDataFolder();
  } else if (name == "about") {
    chat->ShowAbout();
  }
}

void ChatWindow::OnActivate(GtkEntry*, gpointer self) {
  static_cast<ChatWindow*>(self)->Send(false);
}

void ChatWindow::OnWhyToggled(GtkToggleButton* button, gpointer self) {
  static_cast<ChatWindow*>(self)->ShowWhy(gtk_toggle_button_get_active(button) != FALSE);
}

void ChatWindow::OnPreedit(GtkText*, const char* preedit, gpointer self) {
  static_cast<ChatWindow*>(self)->preediting = preedit != nullptr && preedit[0] != '\0';
}

// OnKey: the window's keys, after the focused control and its input method passed them on.
gboolean ChatWindow::OnKey(GtkEventControllerKey*, guint keyval, guint, GdkModifierType state,
                           gpointer self) {
  auto* chat = static_cast<ChatWindow*>(self);
  const bool ctrl = (state & GDK_CONTROL_MASK) != 0;
  switch (keyval) {
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter:
      if (!ctrl) return FALSE;
      chat->Send(true);
      return TRUE;
    case GDK_KEY_Escape:
      if (chat->preediting) return FALSE;
      chat->Escape();
      return TRUE;
    case GDK_KEY_F3:
      gtk_toggle_button_set_active(chat->whyButton, !gtk_toggle_button_get_active(chat->whyButton));
      return TRUE;
    case GDK_KEY_F4:
      chat->AskForget();
      return TRUE;
    case GDK_KEY_q:
    case GDK_KEY_w:
      if (!ctrl) return FALSE;
      gtk_window_close(chat->window);
      return TRUE;
    default:
      return FALSE;
  }
}

gboolean ChatWindow::OnEntryKey(GtkEventControllerKey*, guint keyval, guint, GdkModifierType state,
                                gpointer self) {
  auto* chat = static_cast<ChatWindow*>(self);
  if (chat->preediting || (state & (GDK_CONTROL_MASK | GDK_ALT_MASK | GDK_SHIFT_MASK)) != 0) {
    return FALSE;
  }
  if (keyval == GDK_KEY_Up || keyval == GDK_KEY_KP_Up) return chat->WalkHistory(true);
  if (keyval == GDK_KEY_Down || keyval == GDK_KEY_KP_Down) return chat->WalkHistory(false);
  return FALSE;
}

bool ChatWindow::WalkHistory(bool older) {
  const std::string current = gtk_editable_get_text(GTK_EDITABLE(entry));
  std::string line;
  if (!(older ? history.Older(current, &line) : history.Newer(current, &line))) return true;
  gtk_editable_set_text(GTK_EDITABLE(entry), line.c_str());
  gtk_editable_set_position(GTK_EDITABLE(entry), -1);
  return true;
}

// Send: the line goes to the worker as typed, and into the transcript and the history file. While
// a turn runs the line waits in the input: turns answer in the order they were asked.
void ChatWindow::Send(bool ctrl) {
  if (worker.Busy()) return;
  const std::string line = gtk_editable_get_text(GTK_EDITABLE(entry));
  if (CutToLine(ToCp932(line)).empty()) return;
  gtk_editable_set_text(GTK_EDITABLE(entry), "");
  std::string error;
  if (history.Remember(line) && !historyPath.empty() && !AppendHistory(historyPath, line, &error) &&
      !historyNoticed) {
    historyNoticed = true;
    transcript.AddNotice(HistoryNotice(false, error));
  }
  transcript.AddUserLine(line, ctrl);
  SyncTranscript();
  worker.Post([this, line, ctrl, path = transcriptPath, dir = realDir](ChatSession& session) {
    TurnReport turn = session.Submit(line, ctrl);
    std::string why;
    const bool kept = path.empty() || turn.abandoned ||
                      AppendTurn(path, dir, StoredTurn(line, turn, std::time(nullptr)), &why);
    return [this, turn = std::move(turn), kept, why] {
      ApplyReport(turn);
      if (!kept && !transcriptNoticed) {
        transcriptNoticed = true;
        Notice(Words(LanguageJapanese, MsgTurnsNotSaved, {why}));
      }
    };
  });
  SetBusy();
}

// Escape: while a turn runs, asks it to stop; otherwise drops a learning dialogue.
void ChatWindow::Escape() {
  if (worker.Busy()) {
    ChatSession* running = worker.Running();
    if (running == nullptr || !AbandonTurn(*running)) {
      Notice(Say(MsgCannotAbandon));
    }
    return;
  }
  if (state == Idle) return;
  worker.Post([this](ChatSession& session) {
    SeamOutcome outcome = CancelDialogue(session);
    const ConversationState after = session.Engine().State();
    return [this, outcome = std::move(outcome), after] {
      state = after;
      SetBusy();
      if (outcome.status == SeamDone) Notice(outcome.text);
    };
  });
  SetBusy();
}

void ChatWindow::ShowWhy(bool shown) {
  gtk_widget_set_visible(whyPanel, shown ? TRUE : FALSE);
  if (shown) RefreshWhy();
}

// RefreshWhy: the last turn's record, into the panel.
void ChatWindow::RefreshWhy() {
  worker.Post([this](ChatSession& session) {
    std::string why = session.Why();
    return [this, why = std::move(why)] {
      SetBusy();
      const std::string shown = why.empty() ? Say(MsgWhyEmpty) : Valid(why);
      gtk_text_buffer_set_text(gtk_text_view_get_buffer(whyView), shown.c_str(), -1);
    };
  });
  SetBusy();
}

void ChatWindow::AskForget() {
  worker.Post([this](ChatSession& session) {
    ForgetProposal proposal = ProposeForget(session);
    return [this, proposal = std::move(proposal)] {
      SetBusy();
      if (proposal.status != SeamDone) return Notice(proposal.text);
      Confirm(Say(MsgForgetTitle), proposal.text, Say(MsgForgetWord), [this, proposal] {
        worker.Post([this, proposal](ChatSession& forgetting) {
          SeamOutcome outcome = Forget(forgetting, proposal);
          return [this, outcome = std::move(outcome)] {
            SetBusy();
            Notice(outcome.text);
          };
        });
        SetBusy();
      });
    };
  });
  SetBusy();
}

void ChatWindow::CheckDictionary() {
  worker.Post([this](ChatSession& session) {
    bool complete = true;
    std::vector<DiagnosticRow> rows = session.Check(&complete);
    return [this, rows = std::move(rows), complete] {
      SetBusy();
      ShowDiagnostics(Say(MsgCheckTitle), rows, complete);
    };
  });
  SetBusy();
}

void ChatWindow::EditDictionary() {
  worker.Post([this](ChatSession& session) {
    EditCopy copy = MakeEditableCopy(session);
    return [this, copy = std::move(copy)] {
      SetBusy();
      if (copy.status != SeamDone) return Notice(copy.text);
      char* uri = g_filename_to_uri(copy.path.c_str(), nullptr, nullptr);
      if (uri != nullptr) gtk_show_uri(window, uri, GDK_CURRENT_TIME);
      g_free(uri);
      AskEditDone(copy.path);
    };
  });
  SetBusy();
}

// AskEditDone: waits, in a dialog of the window, for the user to have saved the copy; then
// applies it, discards it, or (the dialog closed otherwise) keeps it in backups/, so that no
// edit is lost by a stray Esc.
void ChatWindow::AskEditDone(const std::string& path) {
  GtkWidget* dialog = gtk_message_dialog_new(window, kDialogFlags, GTK_MESSAGE_QUESTION,
                                             GTK_BUTTONS_NONE, "%s", Say(MsgEditOpened).c_str());
  gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s\n%s",
                                           Say(MsgEditHint).c_str(), Valid(path).c_str());
  gtk_dialog_add_button(GTK_DIALOG(dialog), Say(MsgEditDiscard).c_str(), GTK_RESPONSE_REJECT);
  gtk_dialog_add_button(GTK_DIALOG(dialog), Say(MsgEditApply).c_str(), GTK_RESPONSE_ACCEPT);
  g_object_set_data_full(G_OBJECT(dialog), "path", g_strdup(path.c_str()), g_free);
  g_signal_connect(dialog, "response",
                   G_CALLBACK(+[](GtkDialog* self, int response, gpointer data) {
                     auto* chat = static_cast<ChatWindow*>(data);
                     const std::string edited =
                         static_cast<const char*>(g_object_get_data(G_OBJECT(self), "path"));
                     gtk_window_destroy(GTK_WINDOW(self));
                     if (response == GTK_RESPONSE_ACCEPT) return chat->ApplyEdit(edited, false);
                     chat->EndEdit(response != GTK_RESPONSE_REJECT);
                   }),
                   this);
  gtk_window_present(GTK_WINDOW(dialog));
}

// ApplyEdit: the saved copy checked and applied; its problems are listed and the dialog comes
// back, and a copy that shrank asks first.
void ChatWindow::ApplyEdit(const std::string& path, bool shrinkAllowed) {
  worker.Post([this, path, shrinkAllowed](ChatSession& session) {
    EditOutcome outcome = ApplyEditedCopy(session, shrinkAllowed);
    return [this, path, outcome = std::move(outcome)] {
      SetBusy();
      if (outcome.status == SeamFailed && !outcome.problems.empty()) {
        ShowDiagnostics(Say(MsgEditProblems), outcome.problems, true);
        return AskEditDone(path);
      }
      if (outcome.status == SeamAsk) {
        return Confirm(
            outcome.text, "", Say(MsgEditReplace), [this, path] { ApplyEdit(path, true); },
            [this, path] { AskEditDone(path); });
      }
      Notice(outcome.text);
    };
  });
  SetBusy();
}

void ChatWindow::EndEdit(bool keep) {
  worker.Post([this, keep](ChatSession& session) {
    SeamOutcome outcome = DiscardEditedCopy(session, keep);
    return [this, outcome = std::move(outcome)] {
      SetBusy();
      Notice(outcome.text);
    };
  });
  SetBusy();
}

void ChatWindow::RestoreBackup() {
  worker.Post([this](ChatSession& session) {
    std::vector<BackupRow> backups;
    SeamOutcome listed = ListBackups(session, &backups);
    return [this, listed = std::move(listed), backups = std::move(backups)] {
      SetBusy();
      if (listed.status != SeamDone) return Notice(listed.text);
      ChooseBackup(backups);
    };
  });
  SetBusy();
}

// ChooseBackup: the backups in a list; the one chosen is put back after a question.
void ChatWindow::ChooseBackup(const std::vector<BackupRow>& backups) {
  GtkWidget* dialog = gtk_window_new();
  gtk_window_set_title(GTK_WINDOW(dialog), Say(MsgMenuRestore).c_str());
  gtk_window_set_transient_for(GTK_WINDOW(dialog), window);
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  gtk_window_set_destroy_with_parent(GTK_WINDOW(dialog), TRUE);
  gtk_window_set_default_size(GTK_WINDOW(dialog), 520, 360);
  ClosedByEscape(dialog);
  GtkWidget* list = gtk_list_box_new();
  Label(list, Say(MsgBackups).c_str());
  for (const BackupRow& backup : backups) {
    const std::string text = Valid(backup.description);
    GtkWidget* label = gtk_label_new(text.c_str());
    gtk_label_set_xalign(GTK_LABEL(label), 0);
    g_object_set_data_full(G_OBJECT(label), "name", g_strdup(backup.name.c_str()), g_free);
    gtk_list_box_append(GTK_LIST_BOX(list), label);
  }
  g_signal_connect(list, "row-activated",
                   G_CALLBACK(+[](GtkListBox*, GtkListBoxRow* row, gpointer data) {
                     auto* chat = static_cast<ChatWindow*>(data);
                     GtkWidget* label = gtk_list_box_row_get_child(row);
                     const std::string name =
                         static_cast<const char*>(g_object_get_data(G_OBJECT(label), "name"));
                     gtk_window_destroy(GTK_WINDOW(gtk_widget_get_root(GTK_WIDGET(row))));
                     chat->Confirm(Say(MsgRestoreTitle), name, Say(MsgRestoreWord), [chat, name] {
                       chat->worker.Post([chat, name](ChatSession& session) {
                         SeamOutcome outcome = ::mimoza::RestoreBackup(session, name);
                         return [chat, outcome = std::move(outcome)] {
                           chat->SetBusy();
                           chat->Notice(outcome.text);
                         };
                       });
                       chat->SetBusy();
                     });
                   }),
                   this);
  GtkWidget* scrolled = gtk_scrolled_window_new();
  gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scrolled), list);
  gtk_window_set_child(GTK_WINDOW(dialog), scrolled);
  gtk_window_present(GTK_WINDOW(dialog));
}

void ChatWindow::OpenDataFolder() {
  char* uri = g_filename_to_uri(setup.dir.c_str(), nullptr, nullptr);
  if (uri == nullptr) return Notice(Say(MsgFolderNoUri, {setup.dir}));
  gtk_show_uri_full(
      window, uri, GDK_CURRENT_TIME, nullptr,
      +[](GObject* source, GAsyncResult* result, gpointer data) {
        GError* error = nullptr;
        if (!gtk_show_uri_full_finish(GTK_WINDOW(source), result, &error)) {
          static_cast<ChatWindow*>(data)->Notice(
              Say(MsgFolderNotOpened, {error != nullptr ? error->message : ""}));
          g_clear_error(&error);
        }
      },
      this);
  g_free(uri);
}

void ChatWindow::ShowAbout() {
  gtk_show_about_dialog(window, "program-name", Say(MsgProgramName).c_str(), "version",
                        MIMOZA_VERSION, "comments", Say(MsgAboutComment).c_str(), "license-type",
                        GTK_LICENSE_MIT_X11, "logo-icon-name", MIMOZA_APP_ID, "copyright",
                        "© 2026 Mimoza developers", nullptr);
}

// ApplyReport: what a turn (or the opening) did, into the title and the transcript.
void ChatWindow::ApplyReport(const TurnReport& report) {
  const std::string title = transcript.AddReport(report);
  // The title is the dictionary's <SMES0>; a title event always comes from the opening.
  for (const HostEvent& event : report.events) {
    if (event.kind == EventTitle) gtk_window_set_title(window, Valid(title).c_str());
  }
  state = report.state;
  if (report.abandoned) Notice(Say(MsgTurnStopped));
  SyncTranscript();
  SetBusy();
  if (gtk_widget_get_visible(whyPanel)) RefreshWhy();
}

// SyncTranscript: the view follows the model: rows the model dropped leave the top of the
// buffer, rows it added are appended, and the newest comes into view.
void ChatWindow::SyncTranscript() {
  while (shownFrom < transcript.FirstRow() && shownFrom < shownTo) {
    GtkTextIter start;
    GtkTextIter end;
    gtk_text_buffer_get_start_iter(transcriptBuffer, &start);
    gtk_text_buffer_get_iter_at_offset(transcriptBuffer, &end, shownChars.front());
    gtk_text_buffer_delete(transcriptBuffer, &start, &end);
    shownChars.pop_front();
    ++shownFrom;
  }
  shownFrom = std::max(shownFrom, transcript.FirstRow());
  shownTo = std::max(shownTo, shownFrom);
  for (; shownTo < transcript.EndRow(); ++shownTo) {
    const TranscriptRow& row = transcript.Row(shownTo);
    std::string text = row.kind == RowUser      ? "> " + row.text
                       : row.kind == RowCleared ? std::string("·")
                       : row.kind == RowDivider ? "── " + Say(MsgEarlierTurns, {row.text}) + " ──"
                                                : row.text;
    text = Valid(text);
    GtkTextIter end;
    gtk_text_buffer_get_end_iter(transcriptBuffer, &end);
    gtk_text_buffer_insert_with_tags_by_name(transcriptBuffer, &end, text.c_str(), -1,
                                             kRowTags[row.kind], row.earlier ? "earlier" : nullptr,
                                             nullptr);
    int32_t chars = static_cast<int32_t>(g_utf8_strlen(text.c_str(), -1)) + 1;
    if (row.ctrl) {
      gtk_text_buffer_insert_with_tags_by_name(transcriptBuffer, &end, "  (Ctrl)", -1,
                                               kRowTags[RowUser], "ctrl", nullptr);
      chars += 8;
    }
    gtk_text_buffer_insert(transcriptBuffer, &end, "\n", 1);
    shownChars.push_back(chars);
  }
  GtkTextMark* newest = gtk_text_buffer_get_mark(transcriptBuffer, "newest");
  GtkTextIter end;
  gtk_text_buffer_get_end_iter(transcriptBuffer, &end);
  gtk_text_buffer_move_mark(transcriptBuffer, newest, &end);
  gtk_text_view_scroll_to_mark(transcriptView, newest, 0.0, TRUE, 0.0, 1.0);
}

// Notice: the window's own words, as a row of the transcript.
void ChatWindow::Notice(std::string text) {
  if (text.empty()) return;
  transcript.AddNotice(std::move(text));
  SyncTranscript();
}

// SetBusy: the spinner, the send controls and the transcript's busy state follow the worker.
void ChatWindow::SetBusy() {
  const bool busy = worker.Busy();
  gtk_spinner_set_spinning(spinner, busy ? TRUE : FALSE);
  gtk_widget_set_visible(GTK_WIDGET(spinner), busy ? TRUE : FALSE);
  gtk_widget_set_sensitive(sendButton, busy ? FALSE : TRUE);
  gtk_widget_set_sensitive(ctrlSendButton, busy ? FALSE : TRUE);
  gtk_accessible_update_state(GTK_ACCESSIBLE(transcriptView), GTK_ACCESSIBLE_STATE_BUSY,
                              busy ? TRUE : FALSE, -1);
}

// ShowDiagnostics: the checker's rows in a list of their own window: severity, place, message.
void ChatWindow::ShowDiagnostics(const std::string& title, const std::vector<DiagnosticRow>& rows,
                                 bool complete) {
  size_t counts[3] = {};
  for (const DiagnosticRow& row : rows) ++counts[row.severity];
  std::string summary = ToUtf8(ComposeCheckSummary(LanguageJapanese, counts[CheckError],
                                                   counts[CheckWarning], counts[CheckNote]));
  if (!complete) summary += " " + Say(MsgCheckPartial);

  GtkWidget* dialog = gtk_window_new();
  gtk_window_set_title(GTK_WINDOW(dialog), title.c_str());
  gtk_window_set_transient_for(GTK_WINDOW(dialog), window);
  gtk_window_set_destroy_with_parent(GTK_WINDOW(dialog), TRUE);
  gtk_window_set_default_size(GTK_WINDOW(dialog), 760, 420);
  ClosedByEscape(dialog);

  GtkWidget* list = gtk_list_box_new();
  gtk_list_box_set_selection_mode(GTK_LIST_BOX(list), GTK_SELECTION_NONE);
  Label(list, Say(MsgDiagnostics).c_str());
  for (const DiagnosticRow& row : rows) {
    GtkWidget* line = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
    gtk_widget_set_margin_start(line, 8);
    gtk_widget_set_margin_end(line, 8);
    gtk_widget_set_margin_top(line, 4);
    gtk_widget_set_margin_bottom(line, 4);
    const std::string message = Valid(row.message);
    const char* texts[] = {row.severityText.c_str(), row.place.c_str(), message.c_str()};
    const int widths[] = {4, 20, -1};
    for (int i = 0; i < 3; ++i) {
      GtkWidget* label = gtk_label_new(texts[i]);
      gtk_label_set_xalign(GTK_LABEL(label), 0);
      gtk_label_set_yalign(GTK_LABEL(label), 0);
      gtk_label_set_width_chars(GTK_LABEL(label), widths[i]);
      gtk_label_set_selectable(GTK_LABEL(label), TRUE);
      if (i == 2) {
        gtk_label_set_wrap(GTK_LABEL(label), TRUE);
        gtk_label_set_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);
        gtk_widget_set_hexpand(label, TRUE);
      }
      if (i == 0 && row.severity == CheckError) gtk_widget_add_css_class(label, "error");
      if (i == 0 && row.severity == CheckWarning) gtk_widget_add_css_class(label, "warning");
      gtk_box_append(GTK_BOX(line), label);
    }
    gtk_list_box_append(GTK_LIST_BOX(list), line);
    // The row is read as one: severity, place and message.
    Label(gtk_widget_get_parent(line),
          (row.severityText + " " + row.place + " " + message).c_str());
  }
  GtkWidget* scrolled = gtk_scrolled_window_new();
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_NEVER,
                                 GTK_POLICY_AUTOMATIC);
  gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scrolled), list);
  gtk_widget_set_vexpand(scrolled, TRUE);

  GtkWidget* heading = gtk_label_new(summary.c_str());
  gtk_label_set_xalign(GTK_LABEL(heading), 0);
  gtk_widget_set_margin_start(heading, 8);
  gtk_widget_set_margin_top(heading, 8);
  GtkWidget* close = gtk_button_new_with_label(Say(MsgClose).c_str());
  gtk_widget_set_halign(close, GTK_ALIGN_END);
  gtk_widget_set_margin_end(close, 8);
  gtk_widget_set_margin_bottom(close, 8);
  g_signal_connect_swapped(close, "clicked", G_CALLBACK(gtk_window_destroy), dialog);

  GtkWidget* column = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
  gtk_box_append(GTK_BOX(column), heading);
  gtk_box_append(GTK_BOX(column), scrolled);
  gtk_box_append(GTK_BOX(column), close);
  gtk_window_set_child(GTK_WINDOW(dialog), column);
  gtk_window_present(GTK_WINDOW(dialog));
}

// Confirm: a question with the entry it is about; yes runs only on an explicit yes (the button
// labelled yesWord, with its mnemonic _Y), no on anything else.
void ChatWindow::Confirm(const std::string& question, const std::string& detail,
                         const std::string& yesWord, std::function<void()> yes,
                         std::function<void()> no) {
  GtkWidget* dialog = gtk_message_dialog_new(window, kDialogFlags, GTK_MESSAGE_QUESTION,
                                             GTK_BUTTONS_NONE, "%s", Valid(question).c_str());
  if (!detail.empty()) {
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s",
                                             Valid(detail).c_str());
  }
  // Alt+Y and Alt+N answer from the keyboard, as in any dialog of the desktop.
  gtk_dialog_add_button(GTK_DIALOG(dialog), (Say(MsgCancelWord) + "(_N)").c_str(), GTK_RESPONSE_NO);
  gtk_dialog_add_button(GTK_DIALOG(dialog), (yesWord + "(_Y)").c_str(), GTK_RESPONSE_YES);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_NO);
  using Answers = std::pair<std::function<void()>, std::function<void()>>;
  g_object_set_data_full(G_OBJECT(dialog), "answers", new Answers(std::move(yes), std::move(no)),
                         [](gpointer data) { delete static_cast<Answers*>(data); });
  g_signal_connect(dialog, "response", G_CALLBACK(+[](GtkDialog* self, int response, gpointer) {
                     const Answers answers =
                         *static_cast<Answers*>(g_object_get_data(G_OBJECT(self), "answers"));
                     gtk_window_destroy(GTK_WINDOW(self));
                     if (response == GTK_RESPONSE_YES) {
                       answers.first();
                     } else if (answers.second) {
                       answers.second();
                     }
                   }),
                   nullptr);
  gtk_window_present(GTK_WINDOW(dialog));
}

}  // namespace mimoza
