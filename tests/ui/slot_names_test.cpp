// Sample names where the windows show only numbers: tooltips of the pads,
// the Sample Properties rows, Key Associations and the sample choosers,
// following a new bank and a renamed slot; the Sample Dock's rows, the file
// name first and the whole path as tooltip.
#include <QHelpEvent>
#include <QImage>
#include <QToolTip>

#include "keyboard/frm_key_board.h"
#include "mixing/frm_cross_fade.h"
#include "mixing/frm_fx.h"
#include "mixing/frm_sample_play.h"
#include "mixing/frm_var.h"
#include "tappad/frm_settings.h"
#include "ui_fixture.h"

namespace zendra::test {
namespace {

class SlotNamesTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        startSound();
    }
    static frmLoadSamples& dock() { return forms::frmLoadSamples(); }

    // Every tooltip that names sample i, with what it says.
    static std::vector<std::pair<std::string, QString>> slotTips(int i) {
        frmVar& var = forms::frmVar();
        std::vector<std::pair<std::string, QString>> tips{
            {"pad", forms::frmSamplePlay().cmbSample[i]->toolTip()},
            {"row number", var.lblSampleNum[i]->toolTip()},
            {"volume", var.hscVol[i]->toolTip()},
            {"pan", var.hscPan[i]->toolTip()},
            {"frequency", var.hscFre[i]->toolTip()},
            {"key association", forms::frmSettings().lblSample[i]->toolTip()},
        };
        for (QComboBox* c : choosers())
            tips.emplace_back(c->window()->windowTitle().toStdString(),
                              i < c->count() ? c->itemData(i, Qt::ToolTipRole).toString() : QString());
        return tips;
    }
    static std::vector<QComboBox*> choosers() {
        return {forms::frmCrossFade().comSample[0], forms::frmCrossFade().comSample[1], forms::frmFX().comSamplePlay,
                forms::frmKeyBoard().ComSampleKeyBoard};
    }
    static void expectTips(int i, const QString& name) {
        for (const auto& [where, tip] : slotTips(i))
            EXPECT_EQ(tip.toStdString(), name.toStdString()) << "sample " << i + 1 << ", " << where;
    }

    // The tooltip the row shows when the pointer rests on it.
    static QString hoverTip(QWidget* w) {
        w->window()->show();
        QHelpEvent e(QEvent::ToolTip, w->rect().center(), w->mapToGlobal(w->rect().center()));
        QApplication::sendEvent(w, &e);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    }
    static SlotFileLabel& row(int i) { return *qobject_cast<SlotFileLabel*>(dock().lblSample[i]); }
    static int shownWidth(int i) { return row(i).fontMetrics().horizontalAdvance(row(i).shown()); }
};

TEST_F(SlotNamesTest, TooltipsNameTheLoadedSamplesAndFollowANewBankAndARename) {
    for (int i = 0; i < 16; ++i) expectTips(i, QString());  // before the first bank
    loadDrums(2);
    expectTips(0, "kick");
    expectTips(1, "snare");
    for (int i = 2; i < 16; ++i) expectTips(i, QString());

    bank().setName(1, "Big Snare");
    expectTips(1, "Big Snare");
    expectTips(0, "kick");

    loadBank({demo("hat.wav"), demo("clap.wav"), demo("kick.wav")});
    expectTips(0, "hat");
    expectTips(1, "Big Snare");  // the slot's own name outlives the bank
    expectTips(2, "kick");
    bank().setName(1, QString());
    expectTips(1, "clap");
}

TEST_F(SlotNamesTest, RenamingKeepsTheChoosersPick) {
    loadDrums(3);
    for (QComboBox* c : choosers()) pick(c, 2);
    bank().setName(2, "Ride");
    for (QComboBox* c : choosers()) {
        EXPECT_EQ(c->currentIndex(), 2) << c->window()->windowTitle().toStdString();
        EXPECT_EQ(c->itemData(2, Qt::ToolTipRole).toString(), "Ride");
        // The open list shows the tooltip on the entry.
        EXPECT_EQ(c->view()->model()->index(2, 0).data(Qt::ToolTipRole).toString(), "Ride");
    }
}

TEST_F(SlotNamesTest, DockRowsShowTheFileNameFirstAndTheWholePathAsTooltip) {
    dock().showForm();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dock()));
    const QString deep = "/home/me/music/samples/a-folder-with-a-rather-long-name/another-long-one/drums/kick.wav";
    dock().lblSample[0]->setText(demo("snare.wav"));
    dock().lblSample[1]->setText(deep);
    EXPECT_EQ(row(0).shown(), "snare.wav \u2014 " + QFileInfo(demo("snare.wav")).path());
    // Whole folders give way before the last one.
    EXPECT_TRUE(row(1).shown().startsWith("kick.wav \u2014 /home/me/") && row(1).shown().endsWith("/\u2026/drums"))
        << row(1).shown().toStdString();
    EXPECT_TRUE(row(2).shown().isEmpty());
    for (int i = 0; i < 2; ++i) EXPECT_LE(shownWidth(i), row(i).contentsRect().width()) << i;
    EXPECT_EQ(hoverTip(dock().lblSample[1]), deep);
    EXPECT_EQ(hoverTip(dock().lblSample[0]), demo("snare.wav"));
    EXPECT_EQ(dock().lblSample[1]->text(), deep);  // the path stays the row's text
    if (const char* out = std::getenv("ZENDRA_DOCK_PNG")) dock().grab().save(QString::fromLocal8Bit(out));
}

TEST_F(SlotNamesTest, ADockRowTooNarrowForTheFolderShowsTheFileNameCutInTheMiddle) {
    const QString file = "/tmp/" + QString(60, 'x') + "-end.wav";
    dock().lblSample[0]->setText(file);
    const QString shown = row(0).shown();
    EXPECT_TRUE(shown.startsWith("xxx") && shown.endsWith("-end.wav") && shown.contains(u'\u2026'))
        << shown.toStdString();
    EXPECT_LE(shownWidth(0), row(0).contentsRect().width());
}

}  // namespace
}  // namespace zendra::test
