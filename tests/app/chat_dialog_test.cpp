// tests/app/chat_dialog_test.cpp: the real chat dialog, built from template 101 in this
// program's resources and run modally on the test thread, worked from a driver thread through
// window messages as the dialog manager and a user would. Covers the template, the routing
// table, the submit steps, the keys caught before the dialog manager, the system menu's items,
// the why window, the host operations and binding/unbinding through the window map; and the
// manifest linked beside the template.
#include "app/chat_dialog.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/window_map.h"
#include "knowledge/knowledge.h"
#include "resources/resource.h"
#include "tests/app/test_support.h"

namespace mimoza {
namespace {

using namespace testing_support;

const std::wstring kTitle = L"ミモザ";
const std::wstring kOfferLearn = L"覚えていい？";
const std::wstring kAskAnswer = L"何て言えばいい？";
const std::wstring kLearned = L"OK 学習した";
const std::wstring kOfferAdd = L"情報を新たに加える？";
const std::wstring kDropped = L"（学習をやめました）";

// Messages for the helper window that lives on the dialog's thread.
constexpr UINT kSetControlKey = WM_APP + 1;  // wParam: 1 = Ctrl down, 0 = up
constexpr UINT kPing = WM_APP + 2;           // sets the ping event

HANDLE pingEvent = nullptr;

// The helper's procedure runs on the dialog's thread, inside its modal loop: there it can set
// that thread's keyboard state, which is what GetKeyState reads.
LRESULT CALLBACK HelperProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kSetControlKey: {
      BYTE keys[256];
      GetKeyboardState(keys);
      BYTE state = wParam ? 0x80 : 0;
      keys[VK_CONTROL] = keys[VK_LCONTROL] = state;
      SetKeyboardState(keys);
      return 0;
    }
    case kPing:
      SetEvent(pingEvent);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

class ChatDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GetCurrentDirectoryW(MAX_PATH, savedDirectory);
    directory = MakeScratchDirectory(L"dialog");
    ASSERT_TRUE(SetCurrentDirectoryW(directory.c_str()));
    WNDCLASSW helperClass = {};
    helperClass.lpfnWndProc = HelperProc;
    helperClass.hInstance = GetModuleHandleW(nullptr);
    helperClass.lpszClassName = L"MimozaTestHelper";
    RegisterClassW(&helperClass);
    helper = CreateWindowExW(0, L"MimozaTestHelper", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    pingEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  }

  void TearDown() override {
    DestroyWindow(helper);
    CloseHandle(pingEvent);
    SetCurrentDirectoryW(savedDirectory);
    RemoveTree(directory);
  }

  // RunDialog: runs the dialog modally on this thread while script works it from a driver
  // thread, then closes it with WM_CLOSE. Every way the dialog ends must give code 0 and leave
  // the object unbound and the window map empty.
  void RunDialog(const std::function<void(HWND)>& script) {
    chat = std::make_unique<ChatDialog>();  // a fresh object, as WinMain has for each run
    DWORD thread = GetCurrentThreadId();
    std::thread driver([&] {
      HWND dialog = WaitForDialog(thread, 0, nullptr);
      if (dialog == nullptr) {
        ADD_FAILURE() << "the dialog did not open";
        return;
      }
      script(dialog);
      PostMessageW(dialog, WM_CLOSE, 0, 0);
    });
    INT_PTR result = chat->RunModal(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_CHAT), nullptr);
    driver.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(chat->window, nullptr);
    EXPECT_EQ(windowMap.Count(), 0);
  }

  // Settle: waits until the dialog's thread has handled every message posted to it so far.
  void Settle() {
    PostMessageW(helper, kPing, 0, 0);
    EXPECT_EQ(WaitForSingleObject(pingEvent, kWaitMilliseconds), WAIT_OBJECT_0);
  }

  void SetControlKey(bool down) { SendMessageW(helper, kSetControlKey, down ? 1 : 0, 0); }

  // PressKey: posts a key press to target, as the keyboard does to the control with the focus,
  // and waits until the dialog has handled it.
  void PressKey(HWND target, WPARAM key) {
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001));
    Settle();
  }

  std::wstring Path(const wchar_t* name) const { return directory + name; }

  std::unique_ptr<ChatDialog> chat;
  std::wstring directory;
  wchar_t savedDirectory[MAX_PATH] = {};
  HWND helper = nullptr;
};

HWND Input(HWND dialog) { return GetDlgItem(dialog, IDC_INPUT); }
HWND Response(HWND dialog) { return GetDlgItem(dialog, IDC_RESPONSE); }

// Submit: types text into the input box and presses OK.
void Submit(HWND dialog, const std::wstring& text) {
  SetText(Input(dialog), text);
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
}

// SeedForRoll: seeds the process-wide generator so that the next turn's quip roll is roll.
void SeedForRoll(int32_t roll) {
  for (uint32_t seed = 1;; ++seed) {
    mimoza::srand(seed);
    if (RandomInt(0, 9) == roll) {
      mimoza::srand(seed);
      return;
    }
  }
}

std::string Entry(const std::wstring& key, const std::wstring& answer) {
  return "<KEY>" + Cp932(key) + "</KEY>\r\n<ANS>" + Cp932(answer) + "</ANS>\r\n";
}

TEST_F(ChatDialogTest, OpensAsTheTemplateSays) {
  RunDialog([&](HWND dialog) {
    EXPECT_EQ(Text(dialog), kTitle);
    EXPECT_EQ(Text(Response(dialog)), L" ");
    EXPECT_EQ(Text(Input(dialog)), L"");
    EXPECT_NE(SendMessageW(dialog, WM_GETICON, ICON_BIG, 0), 0);

    const struct {
      int id;
      const wchar_t* className;
      LONG style;
      RECT units;  // x, y, width, height in dialog units
    } kControls[] = {
        {IDOK, L"Button", 0x50010001, {38, 45, 50, 14}},
        {IDCANCEL, L"Button", 0x50010000, {99, 45, 50, 14}},
        {IDC_INPUT, L"Edit", 0x50810080, {7, 7, 173, 14}},
        {IDC_RESPONSE, L"Static", 0x50021100, {7, 27, 173, 9}},
    };
    for (const auto& expected : kControls) {
      SCOPED_TRACE(expected.id);
      HWND control = GetDlgItem(dialog, expected.id);
      ASSERT_NE(control, nullptr);
      EXPECT_EQ(lstrcmpiW(ClassName(control).c_str(), expected.className), 0);
      // The dialog manager may trade a control's WS_BORDER for a sunken client edge.
      LONG style = GetWindowLongW(control, GWL_STYLE);
      if (GetWindowLongW(control, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) style |= WS_BORDER;
      EXPECT_EQ(style & expected.style, expected.style);
      RECT pixels = expected.units;  // each value is mapped on its own, as the dialog manager does
      MapDialogRect(dialog, &pixels);
      RECT actual;
      GetWindowRect(control, &actual);
      MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
      EXPECT_EQ(actual.left, pixels.left);
      EXPECT_EQ(actual.top, pixels.top);
      EXPECT_EQ(actual.right - actual.left, pixels.right);
      EXPECT_EQ(actual.bottom - actual.top, pixels.bottom);
    }
    RECT client;
    GetClientRect(dialog, &client);
    RECT size = {0, 0, 187, 67};
    MapDialogRect(dialog, &size);
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);

    // Tab order is template order; the static line is no tab stop, and OK starts with the focus.
    HWND ok = GetDlgItem(dialog, IDOK);
    EXPECT_EQ(GetNextDlgTabItem(dialog, ok, FALSE), GetDlgItem(dialog, IDCANCEL));
    EXPECT_EQ(GetNextDlgTabItem(dialog, GetDlgItem(dialog, IDCANCEL), FALSE), Input(dialog));
    EXPECT_EQ(GetNextDlgTabItem(dialog, Input(dialog), FALSE), ok);
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info);
    EXPECT_EQ(info.hwndFocus, ok);
  });
}

// Windows refuses to start a program whose manifest asks for the common controls of another
// processor, so the one manifest both builds link must name "*" or this build's processor.
TEST(ManifestTest, CommonControlsFitThisBuildsProcessor) {
  HRSRC found = FindResourceW(nullptr, CREATEPROCESS_MANIFEST_RESOURCE_ID, RT_MANIFEST);
  ASSERT_NE(found, nullptr);
  const char* bytes = static_cast<const char*>(LockResource(LoadResource(nullptr, found)));
  ASSERT_NE(bytes, nullptr);
  const std::string manifest(bytes, SizeofResource(nullptr, found));
  const std::string attribute = "processorArchitecture=\"";
  const size_t start = manifest.find(attribute);
  ASSERT_NE(start, std::string::npos);
  const size_t end = manifest.find('"', start + attribute.size());
  ASSERT_NE(end, std::string::npos);
  const std::string processor =
      manifest.substr(start + attribute.size(), end - start - attribute.size());
  const char* thisBuild = sizeof(void*) == 8 ? "amd64" : "x86";
  EXPECT_TRUE(processor == "*" || lstrcmpiA(processor.c_str(), thisBuild) == 0) << processor;
}

TEST_F(ChatDialogTest, OkSubmitsTheLineAfterClearingTheBox) {
  ASSERT_TRUE(WriteBytes(Path(L"Dictionary.txt"), Entry(L"こんにちは", L"やあ")));
  RunDialog([&](HWND dialog) {
    SeedForRoll(0);
    Submit(dialog, L"こんにちは");
    EXPECT_EQ(Text(Response(dialog)), L"やあ");
    EXPECT_EQ(Text(Input(dialog)), L"");
    EXPECT_EQ(Text(dialog), kTitle);
    EXPECT_EQ(chat->Engine().LastResponse(), Cp932(L"やあ"));
  });
}

TEST_F(ChatDialogTest, EmptyLineChangesNothing) {
  RunDialog([&](HWND dialog) {
    std::string dictionary = ReadBytes(Path(L"Dictionary.txt"));
    Submit(dialog, L"");
    EXPECT_EQ(Text(Response(dialog)), L" ");
    EXPECT_EQ(Text(dialog), kTitle);
    EXPECT_EQ(ReadBytes(Path(L"Dictionary.txt")), dictionary);
    EXPECT_EQ(chat->Engine().State(), Idle);
    EXPECT_STREQ(chat->Engine().LastResponse(), "");
  });
}

TEST_F(ChatDialogTest, LineOfSpacesIsSubmitted) {
  // No quip file and no matching key: a line of four bytes is offered for learning.
  RunDialog([&](HWND dialog) {
    Submit(dialog, L"    ");
    EXPECT_EQ(Text(Response(dialog)), kOfferLearn);
    EXPECT_EQ(chat->Engine().State(), AwaitingConsent);
    EXPECT_STREQ(chat->Engine().PendingKey(), "    ");
  });
}

TEST_F(ChatDialogTest, LongInputIsCutAtACharacterBoundaryAndTheBoxEndsEmpty) {
  const std::wstring a3000(3000, L'あ');
  const struct {
    std::wstring typed;
    std::string submitted;
  } kCases[] = {
      {a3000, Cp932(std::wstring(2999, L'あ'))},  // 6000 bytes: the last pair cannot be halved
      {L"a" + a3000, Cp932(L"a" + std::wstring(2999, L'あ'))},  // 6001 bytes: 5999 fit
      {std::wstring(7000, L'x'), std::string(5999, 'x')},
      {L"é😀あ", "??" + Cp932(L"あ")},  // no code page 932 form: one "?" a character
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.typed.substr(0, 3));
    RunDialog([&](HWND dialog) {
      Submit(dialog, c.typed);
      EXPECT_EQ(Text(Input(dialog)), L"");
      EXPECT_EQ(chat->Engine().State(), AwaitingConsent);
      std::string pending = chat->Engine().PendingKey();
      EXPECT_EQ(pending.size(), c.submitted.size());
      EXPECT_TRUE(pending == c.submitted) << "submitted text differs";
    });
  }
}

TEST_F(ChatDialogTest, ControlHeldTakesTheControlPath) {
  // With a quip file every line is answered, so only Ctrl leads to an offer.
  ASSERT_TRUE(WriteBytes(Path(L"Boke.dat"), Cp932(L"ぼけ") + "\r\n"));
  RunDialog([&](HWND dialog) {
    Submit(dialog, L"ねこ");
    EXPECT_EQ(chat->Engine().State(), Idle);
    EXPECT_NE(Text(Response(dialog)), kOfferAdd);

    SetControlKey(true);
    Submit(dialog, L"ねこ");
    SetControlKey(false);
    EXPECT_EQ(Text(Response(dialog)), kOfferAdd);
    EXPECT_EQ(chat->Engine().State(), AwaitingConsent);
    EXPECT_EQ(chat->Engine().PendingKey(), Cp932(L"ねこ"));
  });
}

TEST_F(ChatDialogTest, OnlyAClickOnTheResponseLineShowsTheLastResponse) {
  DWORD thread = GetCurrentThreadId();
  RunDialog([&](HWND dialog) {
    auto notify = [&](WORD code) {
      PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_RESPONSE, code),
                   reinterpret_cast<LPARAM>(Response(dialog)));
      Settle();
    };
    // Nothing to show before the first turn.
    notify(STN_CLICKED);
    EXPECT_TRUE(TopLevelDialogs(thread, 0, dialog, false).empty());

    Submit(dialog, L"    ");
    notify(STN_DBLCLK);
    EXPECT_TRUE(TopLevelDialogs(thread, 0, dialog, false).empty());

    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_RESPONSE, STN_CLICKED),
                 reinterpret_cast<LPARAM>(Response(dialog)));
    HWND box = WaitForDialog(thread, 0, dialog);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(Text(box), L"内容");
    std::vector<std::wstring> texts = StaticTexts(box);
    EXPECT_EQ(texts, std::vector<std::wstring>{kOfferLearn});
    EXPECT_FALSE(IsWindowEnabled(dialog));  // the box is modal to the dialog
    SendMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(dialog) != FALSE; }));
  });
}

TEST_F(ChatDialogTest, EnterSubmitsAndEscapeDropsADialogueBeforeItCloses) {
  RunDialog([&](HWND dialog) {
    SetText(Input(dialog), L"    ");
    PostMessageW(Input(dialog), WM_KEYDOWN, VK_RETURN, 0x001C0001);
    PostMessageW(Input(dialog), WM_KEYUP, VK_RETURN, 0xC01C0001);
    Settle();
    EXPECT_EQ(Text(Response(dialog)), kOfferLearn);
    EXPECT_EQ(Text(Input(dialog)), L"");

    // The first Esc drops the pending dialogue, even with the focus on Cancel (the key is caught
    // before the dialog manager makes it that button's command); the second one closes.
    PressKey(GetDlgItem(dialog, IDCANCEL), VK_ESCAPE);
    EXPECT_EQ(Text(Response(dialog)), kDropped);
    EXPECT_EQ(chat->Engine().State(), Idle);
    PostMessageW(GetDlgItem(dialog, IDOK), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
  });
}

TEST_F(ChatDialogTest, CancelEndsTheDialogWithZeroEvenWithADialoguePending) {
  RunDialog([&](HWND dialog) {
    Submit(dialog, L"    ");
    SendMessageW(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
  });
}

TEST_F(ChatDialogTest, UpAndDownWalkTheLinesOfThisRun) {
  ASSERT_TRUE(WriteBytes(Path(L"Boke.dat"), Cp932(L"ぼけ") + "\r\n"));  // no learning offers
  RunDialog([&](HWND dialog) {
    for (const wchar_t* line : {L"一行目", L"二行目", L"二行目"}) Submit(dialog, line);
    SetText(Input(dialog), L"書きかけ");
    const std::pair<WPARAM, std::wstring> kWalk[] = {
        {VK_UP, L"二行目"},   {VK_UP, L"一行目"},     {VK_UP, L"一行目"},  // a repeat is kept once
        {VK_DOWN, L"二行目"}, {VK_DOWN, L"書きかけ"}, {VK_DOWN, L"書きかけ"}};
    for (const auto& [key, shown] : kWalk) {
      PressKey(Input(dialog), key);
      EXPECT_EQ(Text(Input(dialog)), shown);
    }
  });
}

TEST_F(ChatDialogTest, F3AndTheMenuItemOpenTheWhyWindow) {
  DWORD thread = GetCurrentThreadId();
  RunDialog([&](HWND dialog) {
    HMENU menu = GetSystemMenu(dialog, FALSE);
    wchar_t item[32] = {};
    GetMenuStringW(menu, IDM_RESTORE, item, 32, MF_BYCOMMAND);
    EXPECT_STREQ(item, L"元に戻す");

    Submit(dialog, L"    ");
    for (bool byMenu : {false, true}) {
      if (byMenu) {
        PostMessageW(dialog, WM_SYSCOMMAND, IDM_WHY, 0);
      } else {
        PostMessageW(Input(dialog), WM_KEYDOWN, VK_F3, 0x003D0001);
      }
      HWND why = WaitForDialog(thread, 0, dialog);
      ASSERT_NE(why, nullptr);
      EXPECT_EQ(Text(why), L"なぜ");
      HWND text = GetDlgItem(why, IDC_WHY_TEXT);
      EXPECT_NE(Text(text).find(kOfferLearn), std::wstring::npos);
      // Resizing keeps the text filling the window; Esc in the text closes it, not the chat.
      SetWindowPos(why, nullptr, 0, 0, 500, 300, SWP_NOMOVE | SWP_NOZORDER);
      RECT client;
      RECT shown;
      GetClientRect(why, &client);
      GetWindowRect(text, &shown);
      EXPECT_EQ(shown.right - shown.left, client.right);
      PostMessageW(text, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
      EXPECT_TRUE(WaitUntil([&] { return !IsWindow(why); }));
    }
    EXPECT_TRUE(IsWindow(dialog));
  });
}

// F4 and the menu's 忘れる ask in a box captioned 忘れる; with nothing to take back, each way says
// so in the response line instead.
TEST_F(ChatDialogTest, F4AndTheMenuItemsAskOrSayWhyNot) {
  DWORD thread = GetCurrentThreadId();
  ASSERT_TRUE(WriteBytes(Path(L"Dictionary.txt"), Entry(L"^ねこ", L"にゃー")));
  RunDialog([&](HWND dialog) {
    PressKey(Input(dialog), VK_F4);
    EXPECT_EQ(Text(Response(dialog)).find(L"忘れるものがありません"), 0u);
    PostMessageW(dialog, WM_SYSCOMMAND, IDM_RESTORE, 0);
    Settle();
    EXPECT_EQ(Text(Response(dialog)), L"元に戻せるバックアップがありません。");
    Submit(dialog, L"ねこが好き");
    const struct {
      HWND target;
      UINT message;
      WPARAM command;
    } kWays[] = {{Input(dialog), WM_KEYDOWN, VK_F4}, {dialog, WM_SYSCOMMAND, IDM_FORGET}};
    for (const auto& [target, message, command] : kWays) {
      PostMessageW(target, message, command, 0);
      HWND box = WaitForDialog(thread, 0, dialog);
      ASSERT_NE(box, nullptr);
      EXPECT_EQ(Text(box), L"忘れる");
      SendMessageW(box, WM_COMMAND, IDNO, 0);
      EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
    }
  });
}

TEST_F(ChatDialogTest, WhyWindowNamesTheKeyThatAnswered) {
  DWORD thread = GetCurrentThreadId();
  ASSERT_TRUE(WriteBytes(Path(L"Dictionary.txt"), Entry(L"^ねこ", L"にゃー")));
  RunDialog([&](HWND dialog) {
    SeedForRoll(0);
    Submit(dialog, L"ねこが好き");
    PostMessageW(Input(dialog), WM_KEYDOWN, VK_F3, 0x003D0001);
    HWND why = WaitForDialog(thread, 0, dialog);
    ASSERT_NE(why, nullptr);
    EXPECT_NE(Text(GetDlgItem(why, IDC_WHY_TEXT)).find(L"^ねこ"), std::wstring::npos);
    PostMessageW(why, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(why); }));
  });
}

// F4 and the system menu's 元に戻す against the real store: what the Yes/No box shows, the file
// and its backups after Yes and after No, and the engine's next turn on the changed file.
TEST_F(ChatDialogTest, ForgetTakesBackALearnedPairAndRestorePutsItBack) {
  DWORD thread = GetCurrentThreadId();
  // Answer: presses button in the dialog's next box, waits until the dialog handled what it did,
  // and returns the box's message.
  auto answer = [&](HWND dialog, int button) {
    HWND box = WaitForDialog(thread, 0, dialog);
    std::vector<std::wstring> texts =
        box != nullptr ? StaticTexts(box) : std::vector<std::wstring>{};
    SendMessageW(box, WM_COMMAND, button, 0);
    WaitUntil([&] { return !IsWindow(box); });
    Settle();
    return texts.empty() ? std::wstring(L"(no box)") : texts.back();
  };
  auto said = [&](HWND dialog, const wchar_t* words) {
    return Text(Response(dialog)).find(words) != std::wstring::npos;
  };
  RunDialog([&](HWND dialog) {
    for (const wchar_t* line : {L"ミモザの花", L"はい", L"黄色い"}) Submit(dialog, line);
    const std::string learned = ReadBytes(Path(L"Dictionary.txt"));
    PostMessageW(Input(dialog), WM_KEYDOWN, VK_F4, 0x003E0001);
    EXPECT_NE(answer(dialog, IDYES).find(L"キー「ミモザの花」"), std::wstring::npos);
    EXPECT_EQ(ReadBytes(Path(L"Dictionary.txt")).size() + Entry(L"ミモザの花", L"黄色い").size(),
              learned.size());
    EXPECT_TRUE(said(dialog, L"backups\\Dictionary-")) << Text(Response(dialog));
    // The record's lines are the old file's: nothing more until the next turn, which finds the
    // pair gone.
    PressKey(Input(dialog), VK_F4);
    EXPECT_TRUE(said(dialog, L"忘れるものがありません")) << Text(Response(dialog));
    Submit(dialog, L"ミモザの花");
    EXPECT_EQ(Text(Response(dialog)), kOfferLearn);
    PressKey(Input(dialog), VK_ESCAPE);

    PostMessageW(dialog, WM_SYSCOMMAND, IDM_RESTORE, 0);
    EXPECT_NE(answer(dialog, IDYES).find(L"Dictionary-"), std::wstring::npos);  // names it
    EXPECT_EQ(ReadBytes(Path(L"Dictionary.txt")), learned);
    EXPECT_TRUE(said(dialog, L"を戻しました")) << Text(Response(dialog));

    // The answer drawn goes by its line; No keeps the file and the response line.
    Submit(dialog, L"ミモザの花");
    ASSERT_EQ(Text(Response(dialog)), L"黄色い");
    PressKey(Input(dialog), VK_F4);
    EXPECT_NE(answer(dialog, IDNO).find(L"の答え「黄色い」"), std::wstring::npos);
    EXPECT_EQ(ReadBytes(Path(L"Dictionary.txt")), learned);
    EXPECT_EQ(Text(Response(dialog)), L"黄色い");
  });
}

TEST_F(ChatDialogTest, LearningDialogueAppendsThePair) {
  RunDialog([&](HWND dialog) {
    Submit(dialog, L"ミモザの花");
    EXPECT_EQ(Text(Response(dialog)), kOfferLearn);
    Submit(dialog, L"はい");
    EXPECT_EQ(Text(Response(dialog)), kAskAnswer);
    Submit(dialog, L"黄色い");
    EXPECT_EQ(Text(Response(dialog)), kLearned);
    EXPECT_EQ(chat->Engine().State(), Idle);
  });
  std::string dictionary = ReadBytes(Path(L"Dictionary.txt"));
  EXPECT_NE(dictionary.find(Entry(L"ミモザの花", L"黄色い")), std::string::npos) << dictionary;
}

TEST_F(ChatDialogTest, MissingTemplateFailsWithoutBinding) {
  chat = std::make_unique<ChatDialog>();
  EXPECT_EQ(chat->RunModal(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(999), nullptr), -1);
  EXPECT_EQ(chat->window, nullptr);
  EXPECT_EQ(windowMap.Count(), 0);
}

}  // namespace
}  // namespace mimoza
