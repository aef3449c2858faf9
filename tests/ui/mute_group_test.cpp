// Mute groups as a player sets them in the Sample Editor and hears them.
#include <gtest/gtest.h>

#include "mixing/frm_sample_play.h"
#include "samples/sample_editor.h"
#include "ui_fixture.h"

namespace zendra::test {
namespace {

using MuteGroupTest = UiTest;

TEST_F(MuteGroupTest, APickedGroupIsTheSlotsAndStartingOneOfItStopsTheOther) {
    startSound();
    loadBank({demo("tone-22050.wav"), demo("tone-44100.wav"), demo("kick.wav")});
    SampleEditor& editor = forms::sampleEditor();
    editor.showForm();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&editor));
    EXPECT_EQ(editor.cmbGroup->currentText(), "None");
    for (int slot : {0, 1}) {
        pick(editor.cmbSample, slot);
        pick(editor.cmbGroup, 3);  // "3"
    }
    EXPECT_EQ(std::tuple(bank().slot(0).muteGroup, bank().slot(1).muteGroup, bank().slot(2).muteGroup),
              std::tuple(3, 3, 0));
    // The chooser follows the bank, whoever sets it.
    bank().setMuteGroup(1, 7);
    EXPECT_EQ(editor.cmbGroup->currentText(), "7");
    bank().setMuteGroup(1, 3);

    frmSamplePlay& pads = forms::frmSamplePlay();
    pads.showForm();
    QTest::mouseClick(pads.cmbSample[0], Qt::LeftButton);  // looping, as its Loop box says
    QTest::mouseClick(pads.cmbSample[2], Qt::LeftButton);  // another group: both play
    render(0.05);
    EXPECT_EQ(playing(), (std::vector<int>{0, 2}));
    QTest::mouseClick(pads.cmbSample[1], Qt::LeftButton);
    render(0.005);  // within 5 ms the other of its group has faded out
    EXPECT_EQ(playing(), (std::vector<int>{1, 2}));
}

}  // namespace
}  // namespace zendra::test
