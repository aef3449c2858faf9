// Importing a Hydrogen drum kit from the File menu: the chooser as a player
// uses it, the bank and the Sample Dock after an import, a failed import
// changing nothing, and a saved kit bringing the import back.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTimer>

#include "core/frm_reworked.h"
#include "kits/drumkit_chooser.h"
#include "kits/kit_session.h"
#include "ui_fixture.h"

namespace zendra::test {
namespace {

using kits::DrumKitChooser;

class DrumKitWindowTest : public UiTest {
protected:
    QTemporaryDir tmp;

    QString path(const QString& rel) const { return tmp.filePath(rel); }
    void write(const QString& rel, const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(path(rel)).absolutePath());
        QFile f(path(rel));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    static QByteArray kitXml(const QByteArray& instruments) {
        return "<?xml version=\"1.0\"?>\n<drumkit_info xmlns=\"http://www.hydrogen-music.org/drumkit\">"
               "<name>Rock</name><instrumentList>" +
               instruments + "</instrumentList></drumkit_info>\n";
    }
    static QByteArray instrument(const QByteArray& name, const QByteArray& extra, const QByteArray& layers) {
        return "<instrument><id>0</id><name>" + name + "</name>" + extra +
               "<instrumentComponent><component_id>0</component_id><gain>1</gain>" + layers +
               "</instrumentComponent></instrument>";
    }
    static QByteArray layer(const QByteArray& file, const char* min, const char* max, const char* gain = "1") {
        return "<layer><filename>" + file + "</filename><min>" + min + "</min><max>" + max + "</max><gain>" + gain +
               "</gain><pitch>0</pitch></layer>";
    }

    // Once the chooser shows, `act` runs on it; then the File menu's import is asked for `kit`.
    void importThroughMenu(const QString& kit, std::function<void(DrumKitChooser&)> act) {
        openFiles.push_back(kit);
        bool shown = false;
        QTimer::singleShot(0, [&] {
            auto* chooser = qobject_cast<DrumKitChooser*>(QApplication::activeModalWidget());
            ASSERT_NE(chooser, nullptr);
            shown = true;
            act(*chooser);
            if (chooser->isVisible()) chooser->reject();  // a failed step leaves nothing waiting
        });
        forms::FrmReworked().ImportDrumKit->trigger();
        EXPECT_TRUE(shown);
    }
    static void press(QWidget* w, Qt::Key key) { QTest::keyClick(w, key); }
    // Moves the list's current row to `row` with the arrow keys.
    static void walkTo(QListWidget* list, int row) {
        while (list->currentRow() != row) {
            const int before = list->currentRow();
            press(list, list->currentRow() < row ? Qt::Key_Down : Qt::Key_Up);
            ASSERT_NE(list->currentRow(), before);
        }
    }
};

TEST_F(DrumKitWindowTest, ChooserTicksTheFirstSixteenWithSoundRefusesASeventeenthAndCancelChangesNothing) {
    QByteArray instruments = instrument("Silent", "", "");
    for (int i = 1; i <= 18; ++i)
        instruments +=
            instrument("Drum " + QByteArray::number(i), "",
                       layer("kick.wav", "0", "0.5") + (i == 1 ? QByteArray() : layer("kick.wav", "0.5", "1")));
    write("Many/drumkit.xml", kitXml(instruments));
    QFile::copy(demo("kick.wav"), path("Many/kick.wav"));
    ASSERT_TRUE(startMain());
    loadDrums(2);
    const auto before = sounds();
    const kits::Kit kitBefore = kits::currentKit(forms::app().kits());

    importThroughMenu(path("Many"), [](DrumKitChooser& c) {
        QListWidget* list = c.list;
        EXPECT_EQ(c.windowTitle(), "Import Drum Kit");
        ASSERT_EQ(list->count(), 19);
        EXPECT_EQ(list->item(0)->text(), QString::fromUtf8("Silent \u2014 no sound"));
        EXPECT_FALSE(list->item(0)->flags() & Qt::ItemIsEnabled);
        EXPECT_EQ(list->item(1)->text(), QString::fromUtf8("Drum 1 \u2014 1 layer"));
        EXPECT_EQ(list->item(2)->text(), QString::fromUtf8("Drum 2 \u2014 2 layers"));
        for (int r = 0; r < 19; ++r)
            EXPECT_EQ(list->item(r)->checkState(), r >= 1 && r <= 16 ? Qt::Checked : Qt::Unchecked) << r;
        EXPECT_EQ(c.count->text(), "16 of 16 chosen");
        EXPECT_EQ(c.focusWidget(), list);
        walkTo(list, 17);
        press(list, Qt::Key_Space);  // a seventeenth is refused
        EXPECT_EQ(list->item(17)->checkState(), Qt::Unchecked);
        EXPECT_TRUE(c.count->text().startsWith("16 of 16 chosen: the slots are full"));
        walkTo(list, 1);
        press(list, Qt::Key_Space);
        EXPECT_EQ(c.count->text(), "15 of 16 chosen");
        walkTo(list, 17);
        press(list, Qt::Key_Space);
        EXPECT_EQ(list->item(17)->checkState(), Qt::Checked);
        EXPECT_EQ(c.chosen(), (std::vector<int>{2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17}));
        press(list, Qt::Key_Escape);
    });
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(sounds(), before);
    EXPECT_EQ(kits::currentKit(forms::app().kits()), kitBefore);

    // Return takes the choice: Drum 2 to Drum 17 in the slots.
    importThroughMenu(path("Many"), [this](DrumKitChooser& c) {
        walkTo(c.list, 1);
        press(c.list, Qt::Key_Space);
        walkTo(c.list, 17);
        press(c.list, Qt::Key_Space);
        press(c.list, Qt::Key_Return);
    });
    ASSERT_EQ(messages.size(), 1u);  // the reader's summary
    EXPECT_TRUE(messages[0].text.contains("no sound: Silent")) << messages[0].text.toStdString();
    ASSERT_EQ(bank().count(), 16);
    EXPECT_EQ(bank().slot(0).name, "Drum 2");
    EXPECT_EQ(bank().slot(15).name, "Drum 17");
}

TEST_F(DrumKitWindowTest, ImportFillsTheBankAndTheDockAndSaysOnceWhatWasNotKeptASavedKitBringsItBack) {
    QDir().mkpath(path("Rock"));
    for (const char* name : {"kick.wav", "snare.wav", "hat.wav"})
        QFile::copy(demo(name), path(QString("Rock/") + name));
    write("Rock/drumkit.xml",
          kitXml(instrument("Kick", "<volume>0.5</volume><pan>-0.5</pan><muteGroup>4</muteGroup>",
                            layer("snare.wav", "0", "0.5", "0.5") + layer("kick.wav", "0.5", "1")) +
                 instrument("Empty", "", "") +
                 instrument("Snare", "<filterActive>true</filterActive><muteGroup>9</muteGroup>",
                            layer("snare.wav", "0", "1")) +
                 instrument("Hat", "<muteGroup>4</muteGroup><pan>0.25</pan>", layer("hat.wav", "0", "1"))));
    ASSERT_TRUE(startMain());
    loadDrums(4);
    importThroughMenu(path("Rock/drumkit.xml"), [](DrumKitChooser& c) { press(c.list, Qt::Key_Return); });

    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, "Zendra");
    EXPECT_TRUE(messages[0].text.contains("filter on 1 instrument")) << messages[0].text.toStdString();
    ASSERT_EQ(bank().count(), 3);
    const QString rock = QDir(path("Rock")).canonicalPath();
    const QStringList names = {"Kick", "Snare", "Hat"};
    const QStringList files = {rock + "/kick.wav", rock + "/snare.wav", rock + "/hat.wav"};
    const double gains[] = {-6.0206, 0.0, 0.0};
    const double pans[] = {-0.5, 0.0, 0.25};
    const int groups[] = {1, 2, 1};
    for (int i = 0; i < 3; ++i) {
        const model::SampleSlot& s = bank().slot(i);
        EXPECT_EQ(s.name, names[i]);
        EXPECT_EQ(s.file, files[i]);
        EXPECT_EQ(s.muteGroup, groups[i]);
        EXPECT_FALSE(s.loop);
        EXPECT_EQ(forms::frmLoadSamples().lblSample[i]->text(), files[i]);
        // The settings reached the new sounds (the bank's own: drumkit_slots_test).
        EXPECT_EQ(sound(i).GetVolume(), std::lround(gains[i] * 100)) << i;
        EXPECT_EQ(sound(i).GetPan(), std::lround(pans[i] * 10000)) << i;
    }
    EXPECT_TRUE(forms::frmLoadSamples().lblSample[3]->text().isEmpty());
    ASSERT_EQ(bank().slot(0).layers.size(), 2u);
    EXPECT_EQ(bank().slot(0).layers[0].file, rock + "/snare.wav");

    // Saved and opened again over another bank: the same bank.
    const kits::Kit imported = kits::currentKit(forms::app().kits());
    saveFiles.push_back(path("rock.zkit"));
    forms::FrmReworked().SaveKitAs->trigger();
    QFile saved(path("rock.zkit"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_TRUE(saved.readAll().contains("\"version\": 2"));
    loadDrums(2);
    messages.clear();
    openFiles.push_back(path("rock.zkit"));
    forms::FrmReworked().OpenKit->trigger();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(kits::currentKit(forms::app().kits()), imported);
    EXPECT_EQ(bank().slot(2).name, "Hat");
    EXPECT_EQ(bank().slot(0).layers.size(), 2u);
    EXPECT_EQ(sound(0).GetVolume(), -602);
}

TEST_F(DrumKitWindowTest, AnImportWhoseSoundDoesNotLoadChangesNothing) {
    write("Bad/bad.wav", "RIFF not a wave at all");
    QFile::copy(demo("kick.wav"), path("Bad/kick.wav"));
    write("Bad/drumkit.xml", kitXml(instrument("Kick", "", layer("kick.wav", "0", "1")) +
                                    instrument("Broken", "", layer("bad.wav", "0", "1"))));
    ASSERT_TRUE(startMain());
    loadDrums(2);
    const auto before = sounds();
    const kits::Kit kitBefore = kits::currentKit(forms::app().kits());
    importThroughMenu(path("Bad"), [](DrumKitChooser& c) { press(c.list, Qt::Key_Return); });
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.contains("1 of its samples cannot be loaded")) << messages[0].text.toStdString();
    EXPECT_TRUE(messages[0].text.contains(QDir(path("Bad")).canonicalPath() + "/bad.wav"));
    EXPECT_TRUE(messages[0].text.contains("Nothing was changed"));
    EXPECT_EQ(sounds(), before);
    EXPECT_EQ(kits::currentKit(forms::app().kits()), kitBefore);
    EXPECT_EQ(forms::frmLoadSamples().lblSample[0]->text(), demo("kick.wav"));
}

}  // namespace
}  // namespace zendra::test
