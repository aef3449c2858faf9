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
};

TEST_F(CaptureChoiceTest, ListsDevicesInEnumerationOrderAndOkStoresTheFirst) {
    frmProperties& w = forms::frmProperties();
    EXPECT_FALSE(w.loaded());
    EXPECT_EQ(w.cboCapture->count(), 0);  // filled at the first showing
    w.showForm();
    EXPECT_EQ(w.windowTitle(), "Properties");
    EXPECT_TRUE(w.lblExplanation->text().startsWith(
        "Please chose your sound cards emulated wave device so that you can record your work."));
    EXPECT_FALSE(w.cboCapture->isEditable());
    EXPECT_EQ(items(w), (QStringList{"Zeta Line In", "Alpha Mic", "Monitor of Output"}));
    EXPECT_EQ(w.cboCapture->currentIndex(), 0);
    EXPECT_FALSE(DXMoudule::CaptureGuid.isValid());

    w.cmdOK->click();
    EXPECT_EQ(DXMoudule::CaptureGuid.toString(), "zeta");
    EXPECT_EQ(DXMoudule::CaptureDescription.toString(), "Zeta Line In");
    EXPECT_FALSE(w.isShown());
    EXPECT_TRUE(messages.empty());
}

TEST_F(CaptureChoiceTest, ThirdEntryStoresTheThirdIdentifierAndTheListSurvivesOk) {
    frmProperties& w = forms::frmProperties();
    w.showForm();
    w.cboCapture->setCurrentIndex(2);
    w.cmdOK->click();
    EXPECT_EQ(DXMoudule::CaptureGuid.toString(), "mon");
    EXPECT_EQ(DXMoudule::CaptureDescription.toString(), "Monitor of Output");

    // Showing it again does not enumerate: a device plugged in since is not listed.
    backend->devices.insert(backend->devices.begin(), {"New USB Mic", "usb"});
    w.showForm();
    EXPECT_EQ(items(w), (QStringList{"Zeta Line In", "Alpha Mic", "Monitor of Output"}));
    EXPECT_EQ(w.cboCapture->currentIndex(), 2);
    w.cboCapture->setCurrentIndex(1);
    w.cmdOK->click();
    EXPECT_EQ(DXMoudule::CaptureGuid.toString(), "alpha");
    EXPECT_EQ(DXMoudule::CaptureDescription.toString(), "Alpha Mic");
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
    EXPECT_TRUE(w.isShown());
    EXPECT_EQ(items(w), (QStringList{"New USB Mic", "Alpha Mic"}));
    EXPECT_EQ(w.cboCapture->currentIndex(), 0);
    w.cmdOK->click();
    EXPECT_EQ(DXMoudule::CaptureGuid.toString(), "usb");
    EXPECT_FALSE(ended);
}

TEST_F(CaptureChoiceTest, NoCaptureDeviceLeavesTheListEmptyAndOkStoresNothing) {
    backend->devices.clear();
    frmProperties& w = forms::frmProperties();
    w.showForm();
    EXPECT_EQ(w.cboCapture->count(), 0);
    EXPECT_EQ(w.cboCapture->currentIndex(), -1);
    w.cmdOK->click();
    EXPECT_FALSE(DXMoudule::CaptureGuid.isValid());
    EXPECT_FALSE(DXMoudule::CaptureDescription.isValid());
    EXPECT_FALSE(w.isShown());
    EXPECT_TRUE(messages.empty());
}

TEST_F(CaptureChoiceTest, TheRecorderRecordsFromTheChosenDevice) {
    startSound();
    frmProperties& p = forms::frmProperties();
    p.showForm();
    p.cboCapture->setCurrentIndex(1);
    p.cmdOK->click();
    frmRecord& r = forms::frmRecord();
    r.showForm();
    r.cmdStartRec->click();
    ASSERT_NE(backend->lastCapture(), nullptr);
    EXPECT_EQ(backend->lastCapture()->device, "alpha");
    EXPECT_TRUE(backend->lastCapture()->running());
    EXPECT_TRUE(messages.empty());
}

}  // namespace
}  // namespace zendra::test
