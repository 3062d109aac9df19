// app/last_turn.cpp: the seams where the dialog calls the core's why record, forget and restore.
// Leaves this file: LastTurn's operations. Tested by tests/app/chat_dialog_test.cpp.
//
// Until the core has forget and restore, they find nothing to do. Their texts are the ones the
// core will give in those cases.
#include "app/last_turn.h"

#include "conversation/messages.h"

namespace mimoza {

namespace {

constexpr char kNothingToForget[] =  // "忘れるものがありません。"
    "\x96\x59\x82\xEA\x82\xE9\x82\xE0\x82\xCC\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1\x81"
    "\x42";
constexpr char kNoBackup[] =  // "元に戻せるバックアップがありません。"
    "\x8C\xB3\x82\xC9\x96\xDF\x82\xB9\x82\xE9\x83\x6F\x83\x62\x83\x4E\x83\x41\x83\x62\x83\x76\x82"
    "\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1\x81\x42";

}  // namespace

LastTurn::LastTurn(Conversation& theConversation) : conversation(theConversation) {
  conversation.SetTurnObserver(&turn);
}

std::string LastTurn::WhyText() const {
  if (!turn.started) return Compose(LanguageJapanese, MsgNothingSaidYet);
  return DescribeTurn(turn, LanguageJapanese);
}

// Seam: the core's forget of what the last turn showed, asking confirm with the entry's text.
std::string LastTurn::Forget(const Confirm& confirm) {
  static_cast<void>(confirm);
  return kNothingToForget;
}

// Seam: the core's restore of the newest backup, asking confirm with its name and what it
// undoes.
std::string LastTurn::Restore(const Confirm& confirm) {
  static_cast<void>(confirm);
  return kNoBackup;
}

}  // namespace mimoza
