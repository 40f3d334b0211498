#include <gtest/gtest.h>

#include "platform/DesktopServices.h"
#include "support/ScriptedDesktop.h"

using namespace corv;
using corv::test::ScriptedDesktop;
using corv::test::ProgramEnded;

TEST(ScriptedDesktopTest, AnswersFromTheQueueThenCautiously) {
    ScriptedDesktop d;
    d.Answer(MsgAnswer::Yes);
    EXPECT_EQ(d.MessageBox("one\rtwo", MsgButtons::YesNo, MsgIcon::None, "T1"), MsgAnswer::Yes);
    EXPECT_EQ(d.unscripted, 0);
    EXPECT_EQ(d.MessageBox("q", MsgButtons::YesNo, MsgIcon::None, ""), MsgAnswer::No);
    EXPECT_EQ(d.MessageBox("q", MsgButtons::OK, MsgIcon::Information, ""), MsgAnswer::OK);
    EXPECT_EQ(d.MessageBox("q", MsgButtons::OKCancel, MsgIcon::None, ""), MsgAnswer::Cancel);
    EXPECT_EQ(d.unscripted, 2);  // an OK box asks nothing
    ASSERT_EQ(d.boxes.size(), 4u);
    EXPECT_EQ(d.boxes[0].text, "one\rtwo");
    EXPECT_EQ(d.boxes[0].title, "T1");
    EXPECT_EQ(d.boxes[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(d.boxes[0].answer, MsgAnswer::Yes);
    EXPECT_EQ(d.boxes[2].icon, MsgIcon::Information);
    EXPECT_EQ(d.LastBox().buttons, MsgButtons::OKCancel);
}

TEST(ScriptedDesktopTest, FileAndInputDialogsRecordOptionsAndCancelWhenUnscripted) {
    ScriptedDesktop d;
    d.OpenFile("/x/12_001.mdb").OpenFile(std::nullopt).SaveFile("/y/out.txt").Input("abc");
    FileDialogOptions o;
    o.filter = "Access (*.mdb)|*.mdb";
    o.initialDir = "/dl";
    EXPECT_EQ(d.OpenFileDialog(o), std::optional<std::string>("/x/12_001.mdb"));
    EXPECT_EQ(d.OpenFileDialog(o), std::nullopt);
    EXPECT_EQ(d.SaveFileDialog(o), std::optional<std::string>("/y/out.txt"));
    EXPECT_EQ(d.OpenFileDialog(o), std::nullopt);
    EXPECT_EQ(d.unscripted, 1);
    ASSERT_EQ(d.fileDialogs.size(), 4u);
    EXPECT_FALSE(d.fileDialogs[0].save);
    EXPECT_TRUE(d.fileDialogs[2].save);
    EXPECT_EQ(d.fileDialogs[1].options.initialDir, "/dl");
    EXPECT_EQ(d.fileDialogs[1].options.filter, "Access (*.mdb)|*.mdb");

    EXPECT_EQ(d.InputBox("Prompt", "T", "def"), std::optional<std::string>("abc"));
    EXPECT_EQ(d.InputBox("Prompt", "T", "def"), std::nullopt);
    ASSERT_EQ(d.inputBoxes.size(), 2u);
    EXPECT_EQ(d.inputBoxes[0].defaultText, "def");
    EXPECT_TRUE(d.ScriptUsedUp());
}

TEST(ScriptedDesktopTest, ModalRunsTheScriptNotTheDialog) {
    struct Form : ModalDialog {
        bool execd = false;
        bool cancelled = false;
        void ExecModal() override { execd = true; }
    } form;
    ScriptedDesktop d;
    d.Modal([](ModalDialog& m) { dynamic_cast<Form&>(m).cancelled = true; });
    d.RunModal(form);
    EXPECT_TRUE(form.cancelled);
    EXPECT_FALSE(form.execd);
    d.RunModal(form);  // unscripted: left as it was
    EXPECT_EQ(d.modalRuns, 2);
    EXPECT_EQ(d.unscripted, 1);
}

TEST(ScriptedDesktopTest, EndProgramThrowsAndInstallMakesItTheDesktop) {
    {
        ScriptedDesktop d("/prog", "/down");
        d.Install();
        EXPECT_EQ(&Desktop(), &d);
        EXPECT_EQ(Desktop().ProgramFolder(), "/prog");
        EXPECT_EQ(Desktop().DownloadsFolder(), "/down");
        EXPECT_THROW(Desktop().EndProgram(), ProgramEnded);
        EXPECT_EQ(d.endProgramCalls, 1);
        {
            BusyPointer outer;
            BusyPointer inner;
            EXPECT_EQ(d.busyDepth, 2);
        }
        EXPECT_EQ(d.busyDepth, 0);
        EXPECT_EQ(d.maxBusyDepth, 2);
    }
    ScriptedDesktop other;
    other.Install();
    EXPECT_EQ(&Desktop(), &other);
}

TEST(ScriptedDesktopTest, ProgressCancelsFromTheChosenStep) {
    ScriptedDesktop d;
    d.CancelProgressAtStep(2);
    d.ProgressBegin("T", "start", 5);
    EXPECT_TRUE(d.ProgressStep(1, "a"));
    EXPECT_FALSE(d.ProgressStep(2, "b"));
    EXPECT_FALSE(d.ProgressStep(3, "c"));
    d.ProgressEnd();
    ASSERT_EQ(d.progress.size(), 1u);
    EXPECT_EQ(d.progress[0].maximum, 5);
    EXPECT_EQ(d.progress[0].steps.size(), 3u);
    EXPECT_TRUE(d.progress[0].ended);
}

TEST(ScriptedDesktopTest, SettingsKeepPerKeyValues) {
    ScriptedDesktop d;
    EXPECT_EQ(d.GetSetting("Corvidel", "Settings", "Top", "5"), "5");
    d.SaveSetting("Corvidel", "Settings", "Top", "10");
    EXPECT_EQ(d.GetSetting("Corvidel", "Settings", "Top", "5"), "10");
    EXPECT_EQ(d.GetSetting("Corvidel", "Other", "Top", "5"), "5");
}
