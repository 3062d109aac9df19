// resources/resource.h: the ids shared by the resource script and the dialog code.
// Leaves this file: IDD_CHAT, IDI_MIMOZA, IDC_INPUT, IDC_RESPONSE (IDOK and IDCANCEL are the
// platform's). Tested through tests/app/chat_dialog_test.cpp, which builds the real template.
#pragma once

// clang-format off
#define IDD_CHAT       101   // the chat dialog template
#define IDI_MIMOZA     105   // icon group: one 32 x 32, 16-colour image
#define IDC_INPUT      1000  // edit: the line the user types
#define IDC_RESPONSE   1005  // static: the response line; reports clicks (SS_NOTIFY)
// clang-format on
