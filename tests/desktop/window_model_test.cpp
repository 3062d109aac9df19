// tests/desktop/window_model_test.cpp: the desktop window's logic without a display: a learning
// dialogue run through the worker as the window runs it, its rows as the transcript shows them,
// the transcript's bound, the history walk, the check's rows and the command line.
#include "desktop/window_model.h"

#include <gtest/gtest.h>

#include <deque>
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
  static constexpr const char* kKinds[] = {"user", "response", "cleared", "notice"};
  std::string dump;
  for (int64_t i = model.FirstRow(); i < model.EndRow(); ++i) {
    const TranscriptRow& row = model.Row(i);
    if (!dump.empty()) dump += "|";
    dump += std::string(kKinds[row.kind]) + (row.ctrl ? "+ctrl" : "") + ":" + row.text;
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
