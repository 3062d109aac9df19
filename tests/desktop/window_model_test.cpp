// tests/desktop/window_model_test.cpp: the desktop window's logic without a display: a learning
// dialogue run through the worker as the window runs it, its rows as the transcript shows them,
// the transcript's bound, the history walk, the check's rows and the command line; cancel,
// forget, restore and the edit round trip through the seams; earlier turns through the store.
#include "desktop/window_model.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "desktop/core_seams.h"
#include "desktop/desktop_options.h"
#include "desktop/turn_worker.h"
#include "tests/knowledge/test_support.h"

namespace mimoza {
namespace {

using DesktopTest = testing::InTempDir;

// Dump: rows as "kind:text" joined by "|", the form the cases below are written in.
std::string Dump(const TranscriptModel& model) {
  static constexpr const char* kKinds[] = {"user", "response", "cleared", "notice", "divider"};
  std::string dump;
  for (int64_t i = model.FirstRow(); i < model.EndRow(); ++i) {
    const TranscriptRow& row = model.Row(i);
    if (!dump.empty()) dump += "|";
    dump += std::string(kKinds[row.kind]) + (row.ctrl ? "+ctrl" : "") +
            (row.earlier ? "+earlier" : "") + ":" + row.text;
  }
  return dump;
}

// The window's way: jobs on the worker, completions queued here and run on this thread.
struct WorkerHarness {
  std::deque<TurnWorker::Completion> delivered;
  std::mutex mutex;
  std::condition_variable arrived;
  TurnWorker worker{[this](TurnWorker::Completion done) {
    const std::lock_guard<std::mutex> lock(mutex);
    delivered.push_back(std::move(done));
    arrived.notify_one();
  }};

  // RunNext: waits for the next completion and runs it, as the main loop would.
  void RunNext() {
    TurnWorker::Completion done;
    {
      std::unique_lock<std::mutex> lock(mutex);
      arrived.wait(lock, [this] { return !delivered.empty(); });
      done = std::move(delivered.front());
      delivered.pop_front();
    }
    done();
  }
};

TEST_F(DesktopTest, LearningDialogueThroughTheWorkerBecomesRows) {
  WorkerHarness harness;
  TranscriptModel transcript;
  std::string title;
  ConversationState state = Idle;
  std::vector<std::thread::id> threads;
  auto post = [&](const std::function<TurnReport(ChatSession&)>& job) {
    harness.worker.Post([&, job](ChatSession& session) {
      threads.push_back(std::this_thread::get_id());
      TurnReport report = job(session);
      return TurnWorker::Completion([&, report] {
        const std::string opened = transcript.AddReport(report);
        if (!opened.empty()) title = opened;
        state = report.state;
      });
    });
  };
  auto send = [&](const std::string& line, bool ctrl = false) {
    transcript.AddUserLine(line, ctrl);
    post([line, ctrl](ChatSession& session) { return session.Submit(line, ctrl); });
  };
  // Two jobs in flight: the window is busy until the last completion has run.
  post([](ChatSession& session) { return session.Open(); });
  send("ねこねこ");
  EXPECT_TRUE(harness.worker.Busy());
  harness.RunNext();
  EXPECT_TRUE(harness.worker.Busy());
  harness.RunNext();
  EXPECT_FALSE(harness.worker.Busy());
  for (const char* line : {"うん", "にゃーん", "ねこねこ", "ab"}) {
    send(line);
    harness.RunNext();
  }
  send("ねこねこ", true);
  harness.RunNext();
  for (const char* line : {"はい", "<ANS>"}) {  // a tag in an answer is refused: said so
    send(line);
    harness.RunNext();
  }

  EXPECT_EQ(title, "ミモザ");
  EXPECT_EQ(Dump(transcript),
            "user:ねこねこ|response:覚えていい？|user:うん|response:何て言えばいい？|"
            "user:にゃーん|response:OK 学習した|user:ねこねこ|response:にゃーん|user:ab|"
            "cleared:|user+ctrl:ねこねこ|response:情報を新たに加える？|user:はい|"
            "response:何て言えばいい？|user:<ANS>|cleared:|notice:" +
                StoreFailureText(0));
  EXPECT_EQ(state, Idle);
  // The core ran on one thread, and not this one.
  ASSERT_EQ(threads.size(), 9u);
  for (const std::thread::id& id : threads) EXPECT_EQ(id, threads.front());
  EXPECT_NE(threads.front(), std::this_thread::get_id());

  harness.worker.Post([](ChatSession& session) {
    const std::string why = session.Why();
    EXPECT_NE(why.find("<ANS>"), std::string::npos) << why;
    return TurnWorker::Completion();
  });
  harness.RunNext();
}

TEST_F(DesktopTest, ALineThatLeavesNothingRunsNoTurn) {
  ChatSession session;
  session.Open();
  const TurnReport report = session.Submit(std::string("\0abc", 4), false);
  EXPECT_TRUE(report.events.empty());
  EXPECT_FALSE(session.LastTurn().started);
}

TEST_F(DesktopTest, QuipsLoseTheirLineEndAndCheckRowsNameTheirPlace) {
  testing::WriteBytes("Boke.dat", "quip\r\n");
  testing::WriteBytes("Dictionary.txt", "<KEY>a\r\n<ANS>b</ANS>\r\n");
  ChatSession session;
  session.Open();
  TranscriptModel transcript;
  transcript.AddReport(session.Submit("zzzz", false));
  EXPECT_EQ(Dump(transcript), "response:quip");

  bool complete = false;
  const std::vector<DiagnosticRow> rows = session.Check(&complete);
  EXPECT_TRUE(complete);
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows.front().severityText, "エラー");
  EXPECT_EQ(rows.front().place, "Dictionary.txt:1:1");
  EXPECT_NE(rows.front().message.find("<KEY>"), std::string::npos) << rows.front().message;
}

// Backups: the names in backups/, newest first.
std::vector<std::string> Backups() {
  std::vector<std::string> names;
  if (!std::filesystem::exists("backups")) return names;
  for (const auto& entry : std::filesystem::directory_iterator("backups"))
    names.push_back(entry.path().filename().string());
  std::sort(names.rbegin(), names.rend());
  return names;
}

// Cancel, forget (the pair learned, then the answer shown) and restore, as the window's keys
// and menu run them, on one data directory.
TEST_F(DesktopTest, CancelForgetAndRestoreTakeTeachingBack) {
  ChatSession session;
  session.Open();
  const std::string neko = testing::Cp932("<KEY>ねこねこ</KEY>\r\n<ANS>にゃーん</ANS>");
  EXPECT_EQ(CancelDialogue(session).status, SeamNothing);
  session.Submit("ねこねこ", false);
  const SeamOutcome dropped = CancelDialogue(session);
  EXPECT_EQ(dropped.status, SeamDone);
  EXPECT_EQ(dropped.text, "（学習をやめました）");
  EXPECT_EQ(session.Engine().State(), Idle);
  const ForgetProposal offer = ProposeForget(session);  // an offer is Mimoza's own words
  EXPECT_EQ(offer.status, SeamNothing);
  EXPECT_EQ(offer.text, "忘れるものがありません。直前のターンは Dictionary.txt の答えを見せていません。");
  std::vector<BackupRow> rows;
  EXPECT_EQ(ListBackups(session, &rows).status, SeamNothing);
  for (const char* line : {"ねこねこ", "うん", "にゃーん"}) session.Submit(line, false);
  const std::string taught = testing::ReadBytes("Dictionary.txt");
  ASSERT_NE(taught.find(neko), std::string::npos);

  // The window asks and tells in the words the Windows dialog uses, each line of the file
  // quoted on a line of its own.
  ForgetProposal proposal = ProposeForget(session);
  ASSERT_EQ(proposal.status, SeamDone) << proposal.text;
  EXPECT_EQ(proposal.text,
            "Dictionary.txt から次のものを忘れますか？ 今の Dictionary.txt は先にバックアップします。\n"
            "12 行目: キー「ねこねこ」（11 行目）の答え「にゃーん」\n"
            "11 行目: 答えが残らないキー「ねこねこ」");
  const SeamOutcome forgot = Forget(session, proposal);
  ASSERT_EQ(forgot.status, SeamDone) << forgot.text;
  EXPECT_EQ(testing::ReadBytes("Dictionary.txt").find(neko), std::string::npos);
  std::vector<std::string> backups = Backups();
  ASSERT_EQ(backups.size(), 1u);
  EXPECT_EQ(forgot.text, "「にゃーん」 を忘れました。元の Dictionary.txt は backups/" + backups[0] +
                             " にあります。");
  // Twice is not twice forgotten: the last entry now is another one.
  EXPECT_EQ(ProposeForget(session).status, SeamNothing);

  // A pair learned after the backup is named as not put back.
  for (const char* line : {"いぬ", "うん", "わん"}) session.Submit(line, false);
  ASSERT_EQ(ListBackups(session, &rows).status, SeamDone);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].name, backups[0]);
  EXPECT_EQ(rows[0].description.rfind(backups[0] + "  ", 0), 0u) << rows[0].description;
  EXPECT_TRUE(rows[0].description.ends_with(" 項目  " + std::to_string(taught.size()) + " バイト"))
      << rows[0].description;
  const SeamOutcome restored = RestoreBackup(session, rows[0].name);
  ASSERT_EQ(restored.status, SeamDone) << restored.text;
  EXPECT_EQ(testing::ReadBytes("Dictionary.txt"), taught);
  EXPECT_TRUE(restored.text.ends_with("（戻す前のバックアップにあります）:\n"
                                      "14 行目: キー「いぬ」（13 行目）の答え「わん」"))
      << restored.text;
  EXPECT_EQ(RestoreBackup(session, rows[0].name).status, SeamNothing);
  EXPECT_EQ(RestoreBackup(session, "../Dictionary.txt").status, SeamFailed);

  // The answer just shown, where two answers start on its line: the one shown goes, alone.
  testing::WriteBytes("Dictionary.txt", taught + testing::Cp932("<KEY>いぬ</KEY>\r\n<ANS>わん</ANS><ANS>わお</ANS>\r\n"));
  auto drewWao = [&session] {
    const LookupRecorder& pool = session.LastTurn().response;
    return pool.drawn >= 0 &&
           pool.answers[static_cast<size_t>(pool.drawn)].text == testing::Cp932("わお");
  };
  for (int i = 0; i < 64 && !drewWao(); ++i) session.Submit("いぬ", false);
  ASSERT_TRUE(drewWao());
  proposal = ProposeForget(session);
  ASSERT_EQ(proposal.status, SeamDone) << proposal.text;
  ASSERT_EQ(Forget(session, proposal).status, SeamDone);
  const std::string after = testing::ReadBytes("Dictionary.txt");
  EXPECT_NE(after.find(testing::Cp932("<ANS>わん</ANS>")), std::string::npos) << after;
  EXPECT_EQ(after.find(testing::Cp932("わお")), std::string::npos) << after;
}

// The edit round trip as the window's dialog runs it: a copy with an error comes back with its
// rows, one that lost most entries asks, a good one replaces the file with a backup, and a copy
// the dialog was closed on is kept.
TEST_F(DesktopTest, EditedCopyIsCheckedAskedAndApplied) {
  std::string stored;
  for (int i = 0; i < 4; ++i) {
    stored += "<KEY>k" + std::to_string(i) + "</KEY>\r\n<ANS>a" + std::to_string(i) + "</ANS>\r\n";
  }
  testing::WriteBytes("Dictionary.txt", stored);
  ChatSession session;
  EditCopy copy = MakeEditableCopy(session);
  ASSERT_EQ(copy.status, SeamDone) << copy.text;
  auto save = [&](const std::string& text) { std::ofstream(copy.path, std::ios::trunc) << text; };

  save("<KEY>k0\n");
  EditOutcome outcome = ApplyEditedCopy(session, false);
  EXPECT_EQ(outcome.status, SeamFailed);
  ASSERT_FALSE(outcome.problems.empty());
  EXPECT_EQ(outcome.problems[0].place, "Dictionary.txt:1:1");
  save("<KEY>k0</KEY>\n<ANS>b</ANS>\n");
  outcome = ApplyEditedCopy(session, false);
  EXPECT_EQ(outcome.status, SeamAsk);
  EXPECT_NE(outcome.text.find("1 件"), std::string::npos) << outcome.text;
  EXPECT_EQ(testing::ReadBytes("Dictionary.txt"), stored);
  outcome = ApplyEditedCopy(session, true);
  ASSERT_EQ(outcome.status, SeamDone) << outcome.text;
  EXPECT_EQ(testing::ReadBytes("Dictionary.txt"), "<KEY>k0</KEY>\r\n<ANS>b</ANS>\r\n");
  EXPECT_EQ(Backups().size(), 1u);
  EXPECT_FALSE(std::filesystem::exists(copy.path));
  EXPECT_EQ(ApplyEditedCopy(session, false).status, SeamFailed);  // the edit has ended

  copy = MakeEditableCopy(session);
  ASSERT_EQ(copy.status, SeamDone);
  save("<KEY>k0</KEY>\n<ANS>c</ANS>\n");
  const SeamOutcome kept = DiscardEditedCopy(session, true);
  EXPECT_EQ(testing::ReadBytes("Dictionary.txt"), "<KEY>k0</KEY>\r\n<ANS>b</ANS>\r\n");
  ASSERT_EQ(Backups().size(), 2u);
  EXPECT_EQ(Backups()[0].rfind("edited-copy-", 0), 0u);
  EXPECT_NE(kept.text.find(Backups()[0]), std::string::npos) << kept.text;
}

// Earlier turns: what a session keeps in the store comes back, faint, before a divider.
TEST_F(DesktopTest, EarlierTurnsComeBackFromTheStore) {
  const std::string path = (std::filesystem::current_path() / "transcript").string();
  TurnReport report;
  report.events = {{EventResponse, "覚えていい？\n", ""}, {EventResponse, "", ""}};
  report.drawn = "にゃーん";
  std::string error;
  ASSERT_TRUE(AppendTurn(path, "/data", StoredTurn("ねこ", report, 86400), &error)) << error;
  std::vector<StoredEntry> entries;
  ASSERT_TRUE(LoadTranscript(path, "/data", &entries, &error)) << error;
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[2].kind, StoredCleared);
  EXPECT_EQ(entries[2].text, "にゃーん");
  TranscriptModel transcript;
  transcript.AddEarlier(entries);
  transcript.AddUserLine("now", false);
  EXPECT_EQ(Dump(transcript), "user+earlier:ねこ|response+earlier:覚えていい？|cleared+earlier:|"
                              "divider:" + StoredTimeText(86400) + "|user:now");
}

TEST(TranscriptModelTest, KeepsTheNewestTurnsWhole) {
  TranscriptModel transcript;
  transcript.AddNotice("before any turn");
  for (int turn = 1; turn <= TranscriptModel::kMaxTurns + 2; ++turn) {
    transcript.AddUserLine("line " + std::to_string(turn), false);
    transcript.AddNotice("notice " + std::to_string(turn));
  }
  // The notice before the first turn went with it; rows keep their numbers.
  EXPECT_EQ(transcript.FirstRow(), 5);
  EXPECT_EQ(transcript.EndRow(), 1 + 2 * (TranscriptModel::kMaxTurns + 2));
  EXPECT_EQ(transcript.Row(transcript.FirstRow()).text, "line 3");
  EXPECT_EQ(transcript.Row(transcript.EndRow() - 1).turn, TranscriptModel::kMaxTurns + 2);
}

TEST(HistoryWalkTest, WalksBackAndReturnsToTheDraft) {
  HistoryWalk history;
  // What is not remembered is not saved to the history file either.
  std::vector<bool> added;
  for (const char* line : {"one", "two", "two", "", "three"})
    added.push_back(history.Remember(line));
  EXPECT_EQ(added, (std::vector<bool>{true, true, false, false, true}));
  EXPECT_EQ(history.Size(), 3u);
  std::string line;
  EXPECT_FALSE(history.Newer("draft", &line));
  std::vector<std::string> seen;
  while (history.Older(seen.empty() ? "draft" : seen.back(), &line)) seen.push_back(line);
  EXPECT_EQ(seen, (std::vector<std::string>{"three", "two", "one"}));
  seen.clear();
  while (history.Newer("", &line)) seen.push_back(line);
  EXPECT_EQ(seen, (std::vector<std::string>{"two", "three", "draft"}));
  // Sending ends the walk: Up starts again from the newest.
  history.Remember("four");
  ASSERT_TRUE(history.Older("", &line));
  EXPECT_EQ(line, "four");
}

TEST(DesktopOptionsTest, ReadsWhatTheTerminalProgramReads) {
  const struct {
    std::vector<const char*> args;
    bool ok;
    const char* dir;
    uint32_t seed;
  } kCases[] = {
      {{"--dir", "/tmp/a", "--seed", "007"}, true, "/tmp/a", 7},
      {{"--dir=/tmp/b", "--no-history"}, true, "/tmp/b", 0},
      {{"--seed=4294967295"}, true, "", 4294967295u},
      {{"--seed=4294967296"}, false, "", 0},
      {{"--dir="}, false, "", 0},
      {{"--jsonl"}, false, "", 0},
      {{"stray"}, false, "", 0},
  };
  for (const auto& c : kCases) {
    std::vector<char*> argv = {const_cast<char*>("mimoza-gtk")};
    for (const char* arg : c.args) argv.push_back(const_cast<char*>(arg));
    DesktopOptions options;
    EXPECT_EQ(ParseDesktopOptions(static_cast<int>(argv.size()), argv.data(), &options), c.ok)
        << c.args.front();
    if (!c.ok) continue;
    EXPECT_EQ(options.dir, c.dir);
    EXPECT_EQ(options.seed, c.seed);
  }
}

TEST(DesktopOptionsTest, EachDirectoryHasItsOwnBusName) {
  const std::string home = FolderBusName("/home/a/.local/share/mimoza");
  EXPECT_EQ(home, FolderBusName("/home/a/.local/share/mimoza"));
  EXPECT_NE(home, FolderBusName("/home/b/.local/share/mimoza"));
  // A bus name: elements of letters, digits and "_", none starting with a digit.
  EXPECT_EQ(home.rfind(std::string(MIMOZA_APP_ID) + ".Folder.D", 0), 0u) << home;
  EXPECT_LE(home.size(), 255u);
}

}  // namespace
}  // namespace mimoza
