// The kit file's second format: every setting it added comes back as written;
// a first-format kit reads as before; damaged new settings refuse the kit.
#include <gtest/gtest.h>

#include "kits/kit_file.h"

namespace zendra::test {
namespace {

using kits::Kit;
using kits::KitSample;

KitSample full() {
    KitSample s;
    s.file = "/kits/a/kick.wav";
    s.loop = false;
    s.volume = -1;
    s.pan = 1;
    s.frequency = 44100;
    s.key = "q";
    s.name = "Kick Soft";
    s.gainDb = -4.25;
    s.balance = 0.3;
    // A name beginning with ':' is a file, not one of Qt's resources.
    s.layers = {{"/kits/:kick-soft.wav", 1, 63, -3.5}, {"/kits/a/kick.wav", 64, 127, 2.0}};
    s.defaultLayer = 1;
    s.muteGroup = 8;
    s.envelope = {1.5, 20.0, 0.25, 300.0, true};
    s.startFrame = 100;
    s.endFrame = 9000000000;
    return s;
}

TEST(KitFile, EverySettingOfTheSecondFormatComesBack) {
    Kit kit;
    KitSample plain;
    plain.file = "/kits/b/snare.wav";
    kit.samples = {full(), plain};
    for (const QString& folder : {QString("/kits"), QString()}) {
        const QByteArray bytes = kits::serializeKit(kit, folder);
        EXPECT_TRUE(bytes.contains("\"version\": 2"));
        const auto read = kits::parseKit(bytes, folder.isEmpty() ? "/elsewhere" : folder);
        ASSERT_TRUE(read.kit) << read.error.toStdString();
        EXPECT_EQ(*read.kit, kit);
    }
}

TEST(KitFile, FirstFormatReadsAsBeforeNewerIsRefused) {
    const QByteArray v1 = R"({"format": "zendra-kit", "version": 1, "samples": [
        {"file": "a.wav", "loop": false, "volume": -2, "pan": -3, "key": "x", "frequency": 22050}]})";
    const auto read = kits::parseKit(v1, "/k");
    ASSERT_TRUE(read.kit) << read.error.toStdString();
    KitSample want;
    want.file = "/k/a.wav";
    want.loop = false;
    want.volume = -2;
    want.pan = -3;
    want.key = "x";
    want.frequency = 22050;
    want.gainDb = -10.0;
    want.balance = -0.9999;
    EXPECT_EQ(read.kit->samples, std::vector<KitSample>{want});
    QByteArray v3 = v1;
    v3.replace("\"version\": 1", "\"version\": 3");
    EXPECT_TRUE(kits::parseKit(v3, "/k").error.contains("written by a newer Zendra"));
}

TEST(KitFile, DamagedSettingsOfTheSecondFormatRefuseTheKit) {
    const char* damaged[] = {
        R"("name": 5)",
        R"("gainDb": 3)",
        R"("gainDb": "loud")",
        R"("balance": -1.5)",
        R"("layers": {})",
        R"("layers": [{"file": "", "minVelocity": 1, "maxVelocity": 2}])",
        R"("layers": [{"file": "a.wav", "minVelocity": 0, "maxVelocity": 2}])",
        R"("layers": [{"file": "a.wav", "minVelocity": 90, "maxVelocity": 20}])",
        R"("layers": [{"file": "a.wav", "minVelocity": 1, "maxVelocity": 128}])",
        R"("layers": [{"file": "a.wav"},{"file": "a.wav"},{"file": "a.wav"},{"file": "a.wav"},{"file": "a.wav"},
                      {"file": "a.wav"},{"file": "a.wav"},{"file": "a.wav"},{"file": "a.wav"}])",
        R"("layers": [{"file": "a.wav"}], "defaultLayer": 1)",
        R"("defaultLayer": 0)",
        R"("muteGroup": 9)",
        R"("muteGroup": 1.5)",
        R"("envelope": 3)",
        R"("envelope": {"sustain": 2})",
        R"("envelope": {"attackMs": -1})",
        R"("envelope": {"releaseOnNoteOff": 1})",
        R"("startFrame": -5)",
        R"("startFrame": 10, "endFrame": 10)",
        R"("endFrame": -2)",
    };
    for (const char* field : damaged) {
        const QByteArray bytes =
            QByteArray(R"({"format": "zendra-kit", "version": 2, "samples": [{"file": "a.wav", )") + field + "}]}";
        const auto read = kits::parseKit(bytes, "/k");
        EXPECT_FALSE(read.kit) << field;
        EXPECT_EQ(read.error, "the settings of sample 1 are damaged.") << field;
    }
    const QByteArray fine =
        R"({"format": "zendra-kit", "version": 2, "samples": [{"file": "a.wav", "layers": [{"file": "a.wav"}],
            "defaultLayer": 0, "endFrame": -1, "muteGroup": 0}]})";
    EXPECT_TRUE(kits::parseKit(fine, "/k").kit);
}

}  // namespace
}  // namespace zendra::test
