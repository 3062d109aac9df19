// resources/resource.h: the ids shared by the resource script and the dialog code.
// Leaves this file: IDD_CHAT, IDD_WHY, IDI_MIMOZA, IDC_INPUT, IDC_RESPONSE, IDC_WHY_TEXT, the
// system menu items IDM_*, the strings IDS_* (IDOK and IDCANCEL are the platform's). Tested
// through tests/app/chat_dialog_test.cpp, which builds the real templates.
#pragma once

// clang-format off
#define IDD_CHAT             101     // the chat dialog template
#define IDD_WHY              102     // the "なぜ" window: the record of the last turn
#define IDI_MIMOZA           105     // icon group: one 32 x 32, 16-colour image
#define IDC_INPUT            1000    // edit: the line the user types
#define IDC_RESPONSE         1005    // static: the response line; reports clicks (SS_NOTIFY)
#define IDC_WHY_TEXT         1010    // edit, read-only, multi-line: the why window's text

// Items added to the chat dialog's system menu. The system keeps the low four bits of a
// WM_SYSCOMMAND for itself, and ids from 0xF000 up are its own commands: so multiples of 16 below.
#define IDM_WHY              0x0110  // なぜ?: the why window, as F3
#define IDM_FORGET           0x0120  // 忘れる: forget what the last turn showed, as F4
#define IDM_RESTORE          0x0130  // 元に戻す: put back the newest backup of the dictionary

// The window's own words (string table); the words of a turn come from the core.
#define IDS_WHY_ITEM         201     // "なぜ?\tF3"
#define IDS_FORGET_ITEM      202     // "忘れる\tF4"
#define IDS_RESTORE_ITEM     203     // "元に戻す"
#define IDS_FORGET_CAPTION   204     // "忘れる": caption of forget's boxes
#define IDS_RESTORE_CAPTION  205     // "元に戻す": caption of restore's boxes
// clang-format on
