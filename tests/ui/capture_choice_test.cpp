// The Properties window: listing the capture devices, storing the choice, and
// enumerating afresh after the window system's close.
#include <QFile>
#include <QMdiSubWindow>
#include <QTemporaryDir>

#include "core/settings.h"
#include "recording/frm_properties.h"
#include "recording/frm_record.h"
#include "ui_fixture.h"

namespace zendra::test {
namespace {

class CaptureChoiceTest : public ConfigTest {
protected:
    static QStringList items(const frmProperties& w) {
        QStringList out;
        for (int i = 0; i < w.cboCapture->count(); ++i) out << w.cboCapture->itemText(i);
        return out;
    }

    // Picks entry `row`, clicks OK; the stored choice must be `id`, `name`.
    static void choose(frmProperties& w, int row, const char* id, const char* name) {
        pick(w.cboCapture, row);
        QTest::mouseClick(w.cmdOK, Qt::LeftButton);
        EXPECT_EQ(forms::shared().CaptureGuid.toString() + "|" + forms::shared().CaptureDescription.toString(),
                  QString(id) + "|" + name);
        EXPECT_FALSE(w.isShown());
    }
};

TEST_F(CaptureChoiceTest, ListsDevicesInEnumerationOrderOkStoresTheChoiceAndTheRecorderUsesIt) {
    ASSERT_TRUE(startMain());
    // Not in alphabetical order: the list keeps this order.
    backend->devices = {{"Zeta Line In", "zeta"}, {"Alpha Mic", "alpha"}, {"Monitor of Output", "mon"}};
    frmProperties& w = forms::frmProperties();
    EXPECT_EQ(w.cboCapture->count(), 0);  // filled at the first showing
    w.showForm();
    EXPECT_TRUE(w.lblExplanation->text().startsWith(
        "Please chose your sound cards emulated wave device so that you can record your work."));
    EXPECT_EQ(items(w), (QStringList{"Zeta Line In", "Alpha Mic", "Monitor of Output"}));
    EXPECT_FALSE(forms::shared().CaptureGuid.isValid());
    choose(w, 2, "mon", "Monitor of Output");
    // Showing it again does not enumerate: a device plugged in since is not listed.
    backend->devices.insert(backend->devices.begin(), {"New USB Mic", "usb"});
    w.showForm();
    EXPECT_EQ(std::pair(w.cboCapture->count(), w.cboCapture->currentIndex()), std::pair(3, 2));
    choose(w, 1, "alpha", "Alpha Mic");
    forms::frmRecord().showForm();
    QTest::mouseClick(forms::frmRecord().cmdStartRec, Qt::LeftButton);
    EXPECT_EQ(backend->lastCapture()->device, "alpha");

    // Closed by the window system: enumerated afresh at the next showing.
    w.showForm();
    backend->devices = {{"New USB Mic", "usb"}, {"Alpha Mic", "alpha"}};
    qobject_cast<QMdiSubWindow*>(w.frame())->close();
    EXPECT_FALSE(w.isShown());
    w.showForm();
    EXPECT_EQ(items(w), (QStringList{"New USB Mic", "Alpha Mic"}));
    EXPECT_EQ(w.cboCapture->currentIndex(), 0);
    choose(w, 0, "usb", "New USB Mic");
    EXPECT_TRUE(messages.empty());
}

// Remembering between runs: the device kept from the last run comes
// selected when it is listed; when it is gone the list starts at the first.
TEST_F(CaptureChoiceTest, TheRememberedDeviceIsSelectedWhenListed) {
    settings::setRemembering(true);
    settings::setText(frmProperties::kKeptGuid, "alpha");
    backend->devices = {{"Zeta Line In", "zeta"}, {"Alpha Mic", "alpha"}};
    forms::frmProperties().showForm();
    const int withIt = forms::frmProperties().cboCapture->currentIndex();
    forms::destroyAll();
    backend->devices = {{"Zeta Line In", "zeta"}, {"Monitor of Output", "mon"}};
    forms::frmProperties().showForm();
    EXPECT_EQ(std::pair(withIt, forms::frmProperties().cboCapture->currentIndex()), std::pair(1, 0));
}

TEST_F(CaptureChoiceTest, NoCaptureDeviceLeavesTheListEmptyAndOkStoresNothing) {
    backend->devices.clear();
    forms::frmProperties().showForm();
    EXPECT_EQ(forms::frmProperties().cboCapture->currentIndex(), -1);
    QTest::mouseClick(forms::frmProperties().cmdOK, Qt::LeftButton);
    EXPECT_FALSE(forms::shared().CaptureGuid.isValid() || forms::frmProperties().isShown());
    EXPECT_TRUE(messages.empty());
}

}  // namespace
}  // namespace zendra::test
