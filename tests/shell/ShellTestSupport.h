#pragma once

#include <QApplication>
#include <functional>
#include <memory>
#include <string>

#include "support/AuctionDatabase.h"
#include "support/FixtureAuction.h"
#include "support/ScriptedDesktop.h"

namespace corv {
class frmOpeningQuestions;
}

namespace corv::test {

// A script step for the opening question: choose one option, then press a button.
enum class Opening { Existing, New, Batch };
enum class Press { Continue, Cancel, CloseBox };
std::function<void(ModalDialog&)> AnswerOpening(Opening option, Press press);
// The opening question dialog behind a modal run (fails the test when it is another dialog).
frmOpeningQuestions* OpeningDialogOf(ModalDialog& modal);

}  // namespace corv::test
