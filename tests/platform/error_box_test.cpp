#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "engine/CorvError.h"
#include "platform/DesktopServices.h"
#include "platform/ErrorBox.h"
#include "support/ScriptedDesktop.h"

namespace corv {
namespace {

TEST(ErrorBox, EachFormPlacesColonAndBlanksItsOwnWay) {
    EXPECT_EQ(ErrorText(ErrorForm::NumberColon, 91, "No auction database is open"),
              "Error 91: No auction database is open");
    EXPECT_EQ(ErrorText(ErrorForm::ColonNoSpace, 3343, "Unrecognized database format"),
              "Error:3343 Unrecognized database format");
    EXPECT_EQ(ErrorText(ErrorForm::NoColon, 76, "Path not found"), "Error 76 Path not found");
    EXPECT_EQ(ErrorText(ErrorForm::ColonSpace, 3021, "No current record"), "Error: 3021 No current record");
    EXPECT_EQ(ErrorText(ErrorForm::NumberColon, -5, ""), "Error -5: ");
}

TEST(ErrorBox, ShowsOkWithoutIconUnderTheCallersTitle) {
    test::ScriptedDesktop desktop;
    desktop.Install();
    ShowErrorBox(ErrorForm::ColonSpace, CorvError(3021, "No current record"));
    ShowErrorBox(ErrorForm::NoColon, std::bad_alloc(), "Export");
    ShowErrorBox(ErrorForm::NumberColon, std::runtime_error("disk full"));
    ASSERT_EQ(desktop.boxes.size(), 3u);
    EXPECT_EQ(desktop.boxes[0].text, "Error: 3021 No current record");
    EXPECT_EQ(desktop.boxes[0].title, "");
    EXPECT_EQ(desktop.boxes[1].text, "Error 7 Out of memory");
    EXPECT_EQ(desktop.boxes[1].title, "Export");
    EXPECT_EQ(desktop.boxes[2].text, "Error " + std::to_string(err::EngineFailure) + ": disk full");
    for (const auto& b : desktop.boxes) {
        EXPECT_EQ(b.buttons, MsgButtons::OK);
        EXPECT_EQ(b.icon, MsgIcon::None);
    }
}

TEST(BusyPointer, NestedPointersReleaseInTurn) {
    test::ScriptedDesktop desktop;
    desktop.Install();
    {
        BusyPointer outer;
        {
            BusyPointer inner;
            EXPECT_EQ(desktop.busyDepth, 2);
        }
        EXPECT_EQ(desktop.busyDepth, 1);
    }
    EXPECT_EQ(desktop.busyDepth, 0);
}

}  // namespace
}  // namespace corv
