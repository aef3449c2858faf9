// Hydrogen drum kits: both layouts of drumkit.xml, folders and packed kits,
// and what a damaged or hostile kit is refused or trimmed to. Kits are written
// by the tests; the installed hydrogen-drumkits are read when present.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <archive.h>
#include <archive_entry.h>
#include <cstdlib>
#include <gtest/gtest.h>

#include "kits/drumkit_import.h"

namespace zendra::test {
namespace {

using kits::DrumKitLimits;
using kits::importDrumKit;
using kits::ImportedKit;

struct Entry {
    QByteArray path;
    QByteArray data;
    enum Kind { File, Folder, Link } kind = File;
    QByteArray target = {};  // a link's target
};

class DrumKitImportTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;

    QString path(const QString& rel) const { return tmp.filePath(rel); }

    void write(const QString& rel, const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(path(rel)).absolutePath());
        QFile f(path(rel));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << rel.toStdString();
        f.write(bytes);
    }

    // A real sound file from the demo kit.
    static QByteArray wav() {
        const char* dir = std::getenv("ZENDRA_DEMO_KIT");
        QFile f(QString::fromLocal8Bit(dir ? dir : "build/demo-kit") + "/kick.wav");
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return f.readAll();
    }

    static QByteArray kitXml(const QByteArray& instruments, const QByteArray& name = "Test Kit") {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<drumkit_info xmlns=\"http://www.hydrogen-music.org/drumkit\">\n<name>" +
               name + "</name>\n<author>tests</author>\n<instrumentList>\n" + instruments +
               "</instrumentList>\n</drumkit_info>\n";
    }

    // An older kit's instrument: the file straight on it, the pan as two sides.
    static QByteArray flatInstrument(int id, const QByteArray& name, const QByteArray& file, const char* panL = "1",
                                     const char* panR = "1") {
        return "<instrument><id>" + QByteArray::number(id) + "</id><filename>" + file + "</filename><name>" + name +
               "</name><volume>0.8</volume><isMuted>false</isMuted><pan_L>" + panL + "</pan_L><pan_R>" + panR +
               "</pan_R><exclude /></instrument>\n";
    }

    static QByteArray layer(const QByteArray& file, const char* min = "0", const char* max = "1",
                            const char* gain = "1", const char* pitch = "0") {
        return QByteArray("<layer><filename>") + file + "</filename><min>" + min + "</min><max>" + max +
               "</max><gain>" + gain + "</gain><pitch>" + pitch + "</pitch></layer>";
    }

    static QByteArray instrument(const QByteArray& name, const QByteArray& layers, const QByteArray& extra = "") {
        return "<instrument><id>0</id><name>" + name + "</name>" + extra + "<instrumentComponent>" +
               "<component_id>0</component_id><gain>1</gain>" + layers + "</instrumentComponent></instrument>\n";
    }

    // A gzip-compressed tar holding the entries, as Hydrogen packs a kit.
    void pack(const QString& rel, const std::vector<Entry>& entries) {
        archive* a = archive_write_new();
        archive_write_add_filter_gzip(a);
        archive_write_set_format_pax_restricted(a);
        ASSERT_EQ(archive_write_open_filename(a, QFile::encodeName(path(rel)).constData()), ARCHIVE_OK);
        for (const Entry& e : entries) {
            archive_entry* entry = archive_entry_new();
            archive_entry_set_pathname(entry, e.path.constData());
            archive_entry_set_filetype(entry, e.kind == Entry::File     ? AE_IFREG
                                              : e.kind == Entry::Folder ? AE_IFDIR
                                                                        : AE_IFLNK);
            archive_entry_set_perm(entry, e.kind == Entry::Folder ? 0755 : 0644);
            if (e.kind == Entry::Link) archive_entry_set_symlink(entry, e.target.constData());
            archive_entry_set_size(entry, e.kind == Entry::File ? e.data.size() : 0);
            ASSERT_EQ(archive_write_header(a, entry), ARCHIVE_OK) << archive_error_string(a);
            if (e.kind == Entry::File) archive_write_data(a, e.data.constData(), size_t(e.data.size()));
            archive_entry_free(entry);
        }
        archive_write_close(a);
        archive_write_free(a);
    }

    // Where packed kits unpack: empty unless a kit is held.
    QString unpackParent() {
        QDir().mkpath(path("unpack"));
        return path("unpack");
    }
    QStringList unpacked() { return QDir(path("unpack")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot); }
};

// An instrument's numbers, for one comparison: volume pan gain mute group
// filter, then attack decay sustain release.
std::string numbers(const kits::DrumInstrument& in) {
    const kits::DrumEnvelope& e = in.envelope;
    return QString::asprintf("%g %g %g %d %d | %g %g %g %g", in.volume, in.pan, in.gain, in.muteGroup, in.filterActive,
                             e.attackFrames, e.decayFrames, e.sustain, e.releaseFrames)
        .toStdString();
}
// A layer's velocity range, gain and pitch.
std::string numbers(const kits::DrumLayer& l) {
    return QString::asprintf("%g-%g %g %g", l.minVelocity, l.maxVelocity, l.gain, l.pitch).toStdString();
}

// A summary line that starts with `start`, or an empty string.
QString lineStarting(const ImportedKit& kit, const char* start) {
    for (const QString& l : kit.notKept)
        if (l.startsWith(QLatin1String(start))) return l;
    return {};
}

TEST_F(DrumKitImportTest, OlderFlatKitReadsFilesVolumesAndTwoSidedPan) {
    write("Flat/kick.wav", wav());
    write("Flat/snare.wav", wav());
    write("Flat/hat.wav", wav());
    write("Flat/drumkit.xml",
          kitXml("<instrument><id>0</id><filename>kick.wav</filename><name>Kick</name><volume>0.8</volume>"
                 "<pan_L>1</pan_L><pan_R>1</pan_R></instrument>\n" +
                     flatInstrument(1, "Snare", "snare.wav", "0.4", "1") +
                     flatInstrument(2, "Hat", "hat.wav", "1", "0.25") + flatInstrument(7, "Gone", "gone.wav"),
                 "Flat Kit"));
    const ImportedKit kit = importDrumKit(path("Flat/drumkit.xml"));
    ASSERT_TRUE(kit.ok) << kit.error.toStdString();
    EXPECT_EQ(kit.name, "Flat Kit");
    ASSERT_EQ(kit.instruments.size(), 4u);
    const auto& kick = kit.instruments[0];
    EXPECT_EQ(kick.name, "Kick");
    EXPECT_EQ(numbers(kick), "0.8 0 1 -1 0 | 0 0 1 1000");
    ASSERT_EQ(kick.layers.size(), 1u);
    EXPECT_EQ(kick.layers[0].file, QDir::cleanPath(path("Flat/kick.wav")));
    EXPECT_EQ(numbers(kick.layers[0]), "0-1 1 0");
    EXPECT_FLOAT_EQ(kit.instruments[1].pan, 0.6f);    // the left side lower: right of centre
    EXPECT_FLOAT_EQ(kit.instruments[2].pan, -0.75f);  // the right side lower: left of centre
    EXPECT_EQ(kit.instruments[3].id, 7);
    EXPECT_FALSE(kit.instruments[3].hasSound());
    EXPECT_EQ(kit.notKept, QStringList({"files missing: gone.wav", "no sound: Gone"}));
}

TEST_F(DrumKitImportTest, LayeredKitReadsLayersEnvelopeMuteGroupAndPan) {
    for (const char* f : {"k-soft.wav", "k-hard.wav", "s.wav", "old.wav"}) write(QString("New/") + f, wav());
    const QByteArray kick =
        "<instrument><id>3</id><name>Kick</name><volume>0.9</volume><pan>-0.5</pan><gain>1.5</gain>"
        "<filterActive>true</filterActive><Attack>100</Attack><Decay>2000</Decay><Sustain>0.5</Sustain>"
        "<Release>44100</Release><muteGroup>2</muteGroup><instrumentComponent><component_id>0</component_id>"
        "<gain>0.5</gain>" +
        layer("k-soft.wav", "0", "0.5", "1.2", "-2") + layer("k-hard.wav", "0.5", "1", "2", "1.5") +
        "</instrumentComponent></instrument>\n";
    // 0.9-style: layers straight on the instrument; then one with no files at all.
    const QByteArray old = "<instrument><id>4</id><name>Old</name>" + layer("old.wav", "0.2", "0.7") +
                           "<filterActive>true</filterActive></instrument>\n";
    write("New/drumkit.xml", kitXml(kick + instrument("Snare", layer("s.wav")) + old +
                                    "<instrument><id>5</id><name>Empty</name><instrumentComponent/></instrument>\n"));
    const ImportedKit kit = importDrumKit(path("New"));
    ASSERT_TRUE(kit.ok) << kit.error.toStdString();
    ASSERT_EQ(kit.instruments.size(), 4u);
    const auto& k = kit.instruments[0];
    EXPECT_EQ(k.id, 3);
    EXPECT_EQ(numbers(k), "0.9 -0.5 1.5 2 1 | 100 2000 0.5 44100");
    ASSERT_EQ(k.layers.size(), 2u);
    EXPECT_EQ(k.layers[0].file, QDir::cleanPath(path("New/k-soft.wav")));
    EXPECT_EQ(numbers(k.layers[0]), "0-0.5 0.6 -2");  // the component's gain folded in
    EXPECT_EQ(k.layers[1].file, QDir::cleanPath(path("New/k-hard.wav")));
    EXPECT_EQ(numbers(k.layers[1]), "0.5-1 1 1.5");
    EXPECT_EQ(numbers(kit.instruments[1]), "1 0 1 -1 0 | 0 0 1 1000");  // Hydrogen's defaults where it says nothing
    ASSERT_EQ(kit.instruments[2].layers.size(), 1u);
    EXPECT_EQ(numbers(kit.instruments[2].layers[0]), "0.2-0.7 1 0");
    EXPECT_FALSE(kit.instruments[3].hasSound());
    EXPECT_EQ(kit.notKept, QStringList({"no sound: Empty", "filter on 2 instruments"}));
}

TEST_F(DrumKitImportTest, DamagedKitFilesAreRefusedNamingTheFile) {
    write("a/drumkit.xml", "RIFF\x10\0\0\0WAVEfmt garbage");
    write("b/drumkit.xml", kitXml(""));
    write("c/drumkit.xml", "<drumkit_info><name>x</name><instrumentList><instrument><name>a</name>");
    write("d/drumkit.xml", "<song><name>not a kit</name></song>");
    for (const char* folder : {"a", "b", "c", "d", "nothing-here"}) {
        const ImportedKit kit = importDrumKit(path(folder));
        EXPECT_FALSE(kit.ok) << folder;
        EXPECT_TRUE(kit.instruments.empty()) << folder;
        EXPECT_TRUE(kit.error.startsWith(QString(folder))) << kit.error.toStdString();
    }
    EXPECT_TRUE(importDrumKit(path("b")).error.contains("no instruments"));
    EXPECT_TRUE(importDrumKit(path("d")).error.contains("not a Hydrogen drum kit"));
    QDir().mkpath(path("e"));
    EXPECT_TRUE(importDrumKit(path("e")).error.contains("no drumkit.xml"));
}

TEST_F(DrumKitImportTest, OutOfRangeNumbersAreClampedAndSaid) {
    write("K/a.wav", wav());
    write("K/drumkit.xml",
          kitXml("<instrument><id>0</id><name>Wild</name><volume>nan</volume><gain>1e30</gain><pan>-7</pan>"
                 "<Attack>-5</Attack><Sustain>3</Sustain><Release>inf</Release><muteGroup>-9</muteGroup>"
                 "<instrumentComponent><gain>1</gain>" +
                 layer("a.wav", "0.9", "0.1", "-4", "100") + layer("a.wav", "-1", "7", "nan") +
                 "</instrumentComponent></instrument>\n"));
    const ImportedKit kit = importDrumKit(path("K"));
    ASSERT_TRUE(kit.ok) << kit.error.toStdString();
    const auto& in = kit.instruments[0];
    // Unreadable: Hydrogen's default; beyond the limits: the limit; a reversed range: swapped.
    EXPECT_EQ(numbers(in), "1 -1 5 -1 0 | 0 0 1 1000");
    ASSERT_EQ(in.layers.size(), 2u);
    EXPECT_EQ(numbers(in.layers[0]), "0.1-0.9 0 24");
    EXPECT_EQ(numbers(in.layers[1]), "0-1 1 0");
    EXPECT_EQ(lineStarting(kit, "velocity range reversed"), "velocity range reversed (swapped): a.wav");
    EXPECT_EQ(lineStarting(kit, "values out of range"),
              "values out of range (set within range): volume of instrument 1, gain of instrument 1, "
              "pan of instrument 1, attack of instrument 1, sustain of instrument 1 and 5 more");
}

TEST_F(DrumKitImportTest, ThousandsOfInstrumentsAreCutToTheLimit) {
    QByteArray many;
    for (int i = 0; i < 1000; ++i) many += flatInstrument(i, "i" + QByteArray::number(i), "none.wav");
    write("Many/drumkit.xml", kitXml(many));
    const ImportedKit kit = importDrumKit(path("Many/drumkit.xml"));
    ASSERT_TRUE(kit.ok) << kit.error.toStdString();
    ASSERT_EQ(kit.instruments.size(), 128u);
    EXPECT_EQ(kit.instruments.back().id, 127);
    EXPECT_EQ(lineStarting(kit, "instruments"), "instruments 129 to 1000 left out (too many instruments)");
    EXPECT_EQ(lineStarting(kit, "files missing"), "files missing: none.wav");
    DrumKitLimits limits;
    limits.maxInstruments = 999;
    EXPECT_EQ(lineStarting(importDrumKit(path("Many"), limits), "instrument"),
              "instrument 1000 left out (too many instruments)");
}

TEST_F(DrumKitImportTest, SamplesOutsideTheKitFolderAreRefused) {
    write("Kit/in.wav", wav());
    write("Kit/sub/deep.wav", wav());
    write("elsewhere.wav", wav());
    ASSERT_TRUE(QFile::link(path("elsewhere.wav"), path("Kit/link.wav")));
    ASSERT_TRUE(QFile::link(path("Kit/in.wav"), path("Kit/inner-link.wav")));
    ASSERT_TRUE(QFile::link(tmp.path(), path("Kit/up")));
    QDir().mkpath(path("Kit/folder.wav"));
    write("Kit/drumkit.xml",
          kitXml(instrument("A", layer("in.wav") + layer("sub/deep.wav") + layer("inner-link.wav")) +
                 instrument("B", layer("../elsewhere.wav") + layer("sub/../../elsewhere.wav")) +
                 instrument("C", layer(QFile::encodeName(path("elsewhere.wav"))) + layer("link.wav")) +
                 instrument("D", layer("up/elsewhere.wav") + layer("folder.wav") +
                                     layer(QFile::encodeName(path("Kit/in.wav"))))));
    const ImportedKit kit = importDrumKit(path("Kit"));
    ASSERT_TRUE(kit.ok) << kit.error.toStdString();
    EXPECT_EQ(kit.instruments[0].layers.size(), 3u);
    EXPECT_EQ(kit.instruments[0].layers[1].file, QDir::cleanPath(path("Kit/sub/deep.wav")));
    EXPECT_FALSE(kit.instruments[1].hasSound());
    EXPECT_FALSE(kit.instruments[2].hasSound());
    ASSERT_EQ(kit.instruments[3].layers.size(), 1u);  // an absolute path inside the kit is fine
    EXPECT_EQ(lineStarting(kit, "outside the kit"), "outside the kit: ../elsewhere.wav, sub/../../elsewhere.wav, " +
                                                        path("elsewhere.wav") + ", link.wav, up/elsewhere.wav");
    EXPECT_EQ(lineStarting(kit, "files missing"), "files missing: folder.wav");
}

TEST_F(DrumKitImportTest, PackedKitUnpacksPrivatelyForAsLongAsItIsHeld) {
    pack("Packed.h2drumkit", {{"Packed", {}, Entry::Folder},
                              {"Packed/drumkit.xml", kitXml(instrument("Kick", layer("kick.wav")), "Packed")},
                              {"Packed/kick.wav", wav()}});
    QString sample;
    {
        const ImportedKit kit = importDrumKit(path("Packed.h2drumkit"), {}, unpackParent());
        ASSERT_TRUE(kit.ok) << kit.error.toStdString();
        ASSERT_TRUE(kit.unpacked);
        EXPECT_EQ(kit.name, "Packed");
        ASSERT_EQ(kit.instruments.size(), 1u);
        ASSERT_EQ(kit.instruments[0].layers.size(), 1u);
        sample = kit.instruments[0].layers[0].file;
        EXPECT_TRUE(sample.startsWith(QDir(kit.unpacked->path()).canonicalPath() + "/"));
        QFile f(sample);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), wav());
        EXPECT_EQ(unpacked().size(), 1);
        EXPECT_TRUE(kit.notKept.isEmpty()) << kit.notKept.join("; ").toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(sample));
    EXPECT_TRUE(unpacked().isEmpty());
}

TEST_F(DrumKitImportTest, HostilePackedKitsAreRefusedAndLeaveNothing) {
    const QByteArray xml = kitXml(instrument("Kick", layer("kick.wav")));
    write("noise.h2drumkit", QByteArray(3000, '\x5a'));
    write("xml.h2drumkit", xml);
    pack("traversal.h2drumkit", {{"Kit/drumkit.xml", xml}, {"Kit/../../escaped.wav", wav()}});
    pack("absolute.h2drumkit", {{"Kit/drumkit.xml", xml}, {QFile::encodeName(path("absolute-escaped.wav")), wav()}});
    pack("empty.h2drumkit", {{"Kit/readme.txt", "no kit here"}});
    struct Case {
        const char* file;
        const char* why;
    };
    for (const Case& c :
         {Case{"noise.h2drumkit", "not a packed drum kit"}, Case{"xml.h2drumkit", "not a packed"},
          Case{"traversal.h2drumkit", "a path leading out of it (Kit/../../escaped.wav)"},
          Case{"absolute.h2drumkit", "an absolute path inside"}, Case{"empty.h2drumkit", "no drumkit.xml inside"}}) {
        const ImportedKit kit = importDrumKit(path(c.file), {}, unpackParent());
        EXPECT_FALSE(kit.ok) << c.file;
        EXPECT_FALSE(kit.unpacked) << c.file;
        EXPECT_TRUE(kit.error.startsWith(QString(c.file) + ": ")) << kit.error.toStdString();
        EXPECT_TRUE(kit.error.contains(c.why)) << kit.error.toStdString();
        EXPECT_TRUE(unpacked().isEmpty()) << c.file;
    }
    EXPECT_FALSE(QFileInfo::exists(path("escaped.wav")));
    EXPECT_FALSE(QFileInfo::exists(path("unpack/escaped.wav")));
    EXPECT_FALSE(QFileInfo::exists(path("absolute-escaped.wav")));
}

TEST_F(DrumKitImportTest, LinksInAPackedKitAreLeftOut) {
    write("secret.wav", wav());
    pack("links.h2drumkit",
         {{"Kit/drumkit.xml", kitXml(instrument("Kick", layer("kick.wav")) + instrument("Out", layer("out.wav")))},
          {"Kit/kick.wav", wav()},
          {"Kit/out.wav", {}, Entry::Link, QFile::encodeName(path("secret.wav"))},
          {"Kit/up", {}, Entry::Link, "../.."}});
    const ImportedKit kit = importDrumKit(path("links.h2drumkit"), {}, unpackParent());
    ASSERT_TRUE(kit.ok) << kit.error.toStdString();
    EXPECT_TRUE(kit.instruments[0].hasSound());
    EXPECT_FALSE(kit.instruments[1].hasSound());
    EXPECT_EQ(lineStarting(kit, "links"), "links and special files in the packed kit left out: Kit/out.wav, Kit/up");
    EXPECT_EQ(lineStarting(kit, "files missing"), "files missing: out.wav");
    EXPECT_FALSE(QFileInfo(QFileInfo(kit.instruments[0].layers[0].file).absolutePath() + "/out.wav").exists());
}

TEST_F(DrumKitImportTest, PackedKitsBeyondTheLimitsStopAndCleanUp) {
    const QByteArray xml = kitXml(instrument("Kick", layer("kick.wav")));
    pack("big.h2drumkit", {{"Kit/drumkit.xml", xml}, {"Kit/kick.wav", QByteArray(200000, '\0')}});
    pack("crowded.h2drumkit", {{"Kit/drumkit.xml", xml}, {"Kit/a", "1"}, {"Kit/b", "2"}, {"Kit/c", "3"}});
    DrumKitLimits limits;
    limits.maxUnpackedBytes = 100000;
    limits.maxEntries = 3;
    const ImportedKit big = importDrumKit(path("big.h2drumkit"), limits, unpackParent());
    EXPECT_FALSE(big.ok);
    EXPECT_EQ(big.error, "big.h2drumkit: unpacks to more than 100000 bytes, not unpacked");
    EXPECT_TRUE(unpacked().isEmpty());
    const ImportedKit crowded = importDrumKit(path("crowded.h2drumkit"), limits, unpackParent());
    EXPECT_FALSE(crowded.ok);
    EXPECT_EQ(crowded.error, "crowded.h2drumkit: more than 3 files inside, not unpacked");
    EXPECT_TRUE(unpacked().isEmpty());
    limits.maxEntries = 4;
    limits.maxUnpackedBytes = 200000 + xml.size();
    EXPECT_TRUE(importDrumKit(path("big.h2drumkit"), limits, unpackParent()).ok);
    EXPECT_TRUE(importDrumKit(path("crowded.h2drumkit"), limits, unpackParent()).ok);
}

TEST(InstalledHydrogenKits, EveryKitReadsWithSound) {
    const QDir root(QStringLiteral("/usr/share/hydrogen/data/drumkits"));
    const QStringList kitsFound = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    if (kitsFound.isEmpty()) GTEST_SKIP() << "hydrogen-drumkits is not installed";
    for (const QString& name : kitsFound) {
        const ImportedKit kit = importDrumKit(root.filePath(name));
        ASSERT_TRUE(kit.ok) << kit.error.toStdString();
        int withSound = 0;
        for (const auto& in : kit.instruments) {
            withSound += in.hasSound();
            for (const auto& l : in.layers) {
                EXPECT_TRUE(l.file.startsWith(root.filePath(name) + "/")) << l.file.toStdString();
                EXPECT_LE(l.minVelocity, l.maxVelocity);
            }
        }
        EXPECT_GT(withSound, 0) << name.toStdString();
    }
}

}  // namespace
}  // namespace zendra::test
