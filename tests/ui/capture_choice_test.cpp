// The Properties window: listing the capture devices, storing the choice, and
// enumerating afresh after the window system's close.
#include <QMdiSubWindow>

#include "recording/frm_properties.h"
#include "recording/frm_record.h"
#include "ui_fixture.h"

namespace zendra::test {
namespace {

class CaptureChoiceTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        // Deliberately not in alphabetical order: the list keeps this order.
        backend->devices = {{"Zeta Line In", "zeta"}, {"Alpha Mic", "alpha"}, {"Monitor of Output", "mon"}};
    }

    static QStringList items(const frmProperties& w) {
        QStringList out;
        for (int i = 0; i < w.cboCapture->count(); ++i) out << w.cboCapture->itemText(i);
        return out;
    }

    // Picks entry `row` and presses OK; the stored choice must be `id`, `name`.
    static void choose(frmProperties& w, int row, const char* id, const char* name) {
        w.cboCapture->setCurrentIndex(row);
        w.cmdOK->click();
        EXPECT_EQ(DXMoudule::CaptureGuid.toString(), id);
        EXPECT_EQ(DXMoudule::CaptureDescription.toString(), name);
        EXPECT_FALSE(w.isShown());
    }
};

TEST_F(CaptureChoiceTest, ListsDevicesInEnumerationOrderAndOkStoresTheChoice) {
    frmProperties& w = forms::frmProperties();
    EXPECT_EQ(w.cboCapture->count(), 0);  // filled at the first showing
    w.showForm();
    EXPECT_TRUE(w.lblExplanation->text().startsWith(
        "Please chose your sound cards emulated wave device so that you can record your work."));
    EXPECT_FALSE(w.cboCapture->isEditable());
    EXPECT_EQ(items(w), (QStringList{"Zeta Line In", "Alpha Mic", "Monitor of Output"}));
    EXPECT_FALSE(DXMoudule::CaptureGuid.isValid());
    choose(w, 0, "zeta", "Zeta Line In");
    w.showForm();
    choose(w, 2, "mon", "Monitor of Output");

    // Showing it again does not enumerate: a device plugged in since is not listed.
    backend->devices.insert(backend->devices.begin(), {"New USB Mic", "usb"});
    w.showForm();
    EXPECT_EQ(items(w), (QStringList{"Zeta Line In", "Alpha Mic", "Monitor of Output"}));
    EXPECT_EQ(w.cboCapture->currentIndex(), 2);
    choose(w, 1, "alpha", "Alpha Mic");
    EXPECT_TRUE(messages.empty());

    // The recorder records from the chosen device.
    startSound();
    forms::frmRecord().showForm();
    forms::frmRecord().cmdStartRec->click();
    ASSERT_NE(backend->lastCapture(), nullptr);
    EXPECT_EQ(backend->lastCapture()->device, "alpha");
    EXPECT_TRUE(backend->lastCapture()->running());
    EXPECT_TRUE(messages.empty());
}

TEST_F(CaptureChoiceTest, WindowSystemCloseEnumeratesAfreshAtTheNextShowing) {
    ASSERT_TRUE(startMain());
    frmProperties& w = forms::frmProperties();
    w.showForm();
    auto* sub = qobject_cast<QMdiSubWindow*>(w.frame());
    ASSERT_NE(sub, nullptr);
    w.cboCapture->setCurrentIndex(2);

    backend->devices = {{"New USB Mic", "usb"}, {"Alpha Mic", "alpha"}};
    sub->close();  // the frame's close button
    EXPECT_FALSE(w.isShown());
    EXPECT_FALSE(w.loaded());
    ASSERT_EQ(&forms::frmProperties(), &w);  // the same window, unloaded

    w.showForm();
    EXPECT_EQ(items(w), (QStringList{"New USB Mic", "Alpha Mic"}));
    EXPECT_EQ(w.cboCapture->currentIndex(), 0);
    choose(w, 0, "usb", "New USB Mic");
    EXPECT_FALSE(ended);
}

TEST_F(CaptureChoiceTest, NoCaptureDeviceLeavesTheListEmptyAndOkStoresNothing) {
    backend->devices.clear();
    frmProperties& w = forms::frmProperties();
    w.showForm();
    EXPECT_EQ(w.cboCapture->currentIndex(), -1);
    w.cmdOK->click();
    EXPECT_FALSE(DXMoudule::CaptureGuid.isValid());
    EXPECT_FALSE(DXMoudule::CaptureDescription.isValid());
    EXPECT_FALSE(w.isShown());
    EXPECT_TRUE(messages.empty());
}

}  // namespace
}  // namespace zendra::test
