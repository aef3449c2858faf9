// The Record window with offline sound: its one-second timer is fired by a
// timer event, and captured bytes are pushed into the fake capture stream
// between ticks.
#include <QTemporaryDir>
#include <QTimerEvent>
#include <filesystem>
#include <functional>

#include "core/frm_reworked.h"
#include "recording/frm_record.h"
#include "recording/take.h"
#include "sound/sound_file.h"
#include "ui_fixture.h"

namespace fs = std::filesystem;

namespace zendra::test {
namespace {

constexpr int kRate = 22050;

// What the window shows: the five buttons (Start Recording, Stop Recording,
// Play, Stop Playing, Save to File) as "1"/"0", the timer (-1 off, else on
// with its interval), SecondCount and the time label.
struct View {
    std::string buttons;
    int timer = -1;
    int count = 0;
    QString label;
    bool operator==(const View&) const = default;
    friend void PrintTo(const View& v, std::ostream* os) {
        *os << v.buttons << ' ' << v.timer << ' ' << v.count << " \"" << v.label.toStdString() << '"';
    }
};

// The bytes a saved take holds.
std::vector<uint8_t> savedBytes(const fs::path& p) { return readSoundFile(p.string()).bytes; }

// A Record window on a device that offers the given capture formats.
class RecordOn : public frmRecord {
public:
    explicit RecordOn(int32_t formats) : frmRecord(forms::shared()), formats_(formats) {}

protected:
    int32_t offeredFormats() override { return formats_; }

private:
    int32_t formats_;
};

// Refuses every output device with "allocated", as a card without full duplex
// does while its capture side is open.
class HalfDuplexBackend : public OfflineBackend {
public:
    std::unique_ptr<OutputDevice> openOutput(const std::string& device, int frames, OutputCallback* callback) override {
        if (refuse) throw SoundError(DSERR_ALLOCATED, "The sound device is in use.");
        return OfflineBackend::openOutput(device, frames, callback);
    }
    bool refuse = false;
};

struct Step {
    std::string event;
    std::function<void()> act;
    View expect;
};

class RecorderTest : public UiTest {
protected:
    frmRecord& open() {
        startSound();
        forms::frmRecord().showForm();
        return forms::frmRecord();
    }
    FakeCaptureStream& mic() { return *backend->lastCapture(); }
    static View view(frmRecord& w) {
        View v;
        for (QPushButton* b : {w.cmdStartRec, w.cmdStopRec, w.cmdPlayRec, w.cmdStopPlaying, w.cmdSaveToFile})
            v.buttons += b->isEnabled() ? '1' : '0';
        return {v.buttons, w.tmrCountEnabled() ? w.tmrCount->interval() : -1, w.SecondCount, w.lblTIME->text()};
    }

    // Delivers `bytes` bytes of a known pattern, as a device would, and
    // notes in `take` what the 20-second capture buffer should have kept.
    void feed(int bytes) {
        std::vector<uint8_t> chunk(static_cast<size_t>(bytes));
        for (auto& b : chunk) b = static_cast<uint8_t>((serial++ * 37 + 11) & 0xff);
        for (size_t i = 0; mic().running() && i < chunk.size() && take.size() < 20u * kRate; ++i)
            take.push_back(chunk[i]);
        mic().push(chunk);
    }

    // One second of the timer; it must be running at one tick a second.
    static void tick(frmRecord& w) {
        ASSERT_TRUE(w.tmrCount->isActive() && w.tmrCount->interval() == 1000) << "the timer is not running";
        QTimerEvent e(w.tmrCount->timerId());
        QCoreApplication::sendEvent(w.tmrCount, &e);
    }
    static void press(QPushButton* b) { QTest::mouseClick(b, Qt::LeftButton); }

    // A take of `bytes` bytes, from Start Recording to Stop Recording.
    void record(frmRecord& w, int bytes) {
        take.clear();
        press(w.cmdStartRec);
        feed(bytes);
        press(w.cmdStopRec);
    }

    // Save to File, answering the dialog with `path`.
    void saveAs(frmRecord& w, const fs::path& path) {
        saveFiles.push_back(QString::fromStdString(path.string()));
        press(w.cmdSaveToFile);
    }

    static std::vector<uint8_t> copyBytes(const frmRecord& w) {
        std::vector<uint8_t> out(static_cast<size_t>(w.PlayBuffer->bufferBytes()));
        w.PlayBuffer->ReadBuffer(0, static_cast<int32_t>(out.size()), out.data(), 0);
        return out;
    }

    // Ticks from..to, each after `act`, showing the count and `buttons`.
    static void addTicks(std::vector<Step>& steps, int from, int to, const std::string& buttons,
                         const std::function<void()>& act) {
        for (int t = from; t <= to; ++t)
            steps.push_back({"tick " + std::to_string(t), act, {buttons, 1000, t, QString::number(t)}});
    }

    // A tick after `bytes` captured bytes, or after `seconds` of output.
    std::function<void()> feedTick(frmRecord& w, int bytes) {
        return [this, &w, bytes] {
            feed(bytes);
            tick(w);
        };
    }
    std::function<void()> playTick(frmRecord& w, double seconds) {
        return [this, &w, seconds] {
            render(seconds);
            tick(w);
        };
    }

    void runSteps(frmRecord& w, const std::vector<Step>& steps) {
        for (size_t i = 0; i < steps.size(); ++i) {
            SCOPED_TRACE("step " + std::to_string(i) + ": " + steps[i].event);
            steps[i].act();
            EXPECT_EQ(view(w), steps[i].expect);
        }
    }

    QTemporaryDir tmp;
    const fs::path dir = tmp.path().toStdString();
    uint32_t serial = 0;
    std::vector<uint8_t> take;  // what the capture buffer should hold
};

TEST_F(RecorderTest, LoadShowsAnIdleWindowAndATakeLeftRunningCountsToFull) {
    startSound();
    frmRecord& w = forms::frmRecord();
    EXPECT_FALSE(w.loaded());  // referring to it does not load it
    w.showForm();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(w.windowTitle() + w.lblLTime->text() + w.cmbDone->text() + mic().device.c_str(), "RecordTime:Done");
    std::vector<Step> steps = {{"load", [] {}, {"10000", 0, 0, ""}},
                               {"Start Recording", [&] { press(w.cmdStartRec); }, {"01000", 1000, 0, ""}}};
    addTicks(steps, 1, 9, "01000", feedTick(w, kRate));
    steps.push_back({"Done hides; recording goes on",
                     [&] {
                         press(w.cmbDone);
                         EXPECT_TRUE(!w.isShown() && mic().running());
                         feed(kRate);
                         tick(w);
                     },
                     {"01000", 1000, 10, "10"}});
    steps.push_back({"shown again", [&] { w.showForm(); }, {"01000", 1000, 10, "10"}});
    addTicks(steps, 11, 18, "01000", feedTick(w, kRate));
    steps.push_back({"tick 19: full", feedTick(w, kRate), {"01111", -1, 19, "Full"}});
    steps.push_back({"Stop Recording", [&] { press(w.cmdStopRec); }, {"10111", -1, 0, ""}});
    runSteps(w, steps);
    EXPECT_FALSE(mic().running());
    // Playing the 19-second take: "Full" at the 19th tick while it still
    // plays; the next take then counts on past 19, up to 32767.
    steps = {{"Play", [&] { press(w.cmdPlayRec); }, {"10111", 1000, 0, ""}}};
    addTicks(steps, 1, 18, "10111", playTick(w, 1.0));
    steps.push_back({"tick 19 while playing", playTick(w, 0.4), {"10111", -1, 19, "Full"}});
    steps.push_back({"Start Recording", [&] { press(w.cmdStartRec); }, {"01111", 1000, 19, "Full"}});
    addTicks(steps, 20, 22, "01111", [&] { tick(w); });
    runSteps(w, steps);
    EXPECT_EQ(copyBytes(w), take);
    WAVEFORMATEX f;  // the play copy: 22050 Hz, mono, 8 bits
    w.PlayBuffer->GetFormat(f);
    EXPECT_EQ(std::tuple(f.lSamplesPerSec, f.nChannels, f.nBitsPerSample), std::tuple(22050, 1, 8));
    for (int t = 23; t <= 32768 && !HasFatalFailure(); ++t) tick(w);
    EXPECT_EQ(view(w), (View{"01111", 1000, 32767, "32767"}));
}

TEST_F(RecorderTest, AnEmptyTakeKeepsThePreviousCopyAndPlayDuringARecordingEndsTheTake) {
    frmRecord& w = open();
    runSteps(w, {{"Start Recording", [&] { press(w.cmdStartRec); }, {"01000", 1000, 0, ""}},
                 {"Stop Recording at once", [&] { press(w.cmdStopRec); }, {"10101", -1, 0, ""}},
                 {"Play: no copy", [&] { press(w.cmdPlayRec); }, {"10101", -1, 0, ""}},
                 {"Save: no copy", [&] { press(w.cmdSaveToFile); }, {"10101", -1, 0, ""}}});
    expectOnlyMessage("Please record a sound first", "Zendra", dialogs::Icon::None);
    record(w, 3000);
    press(w.cmdPlayRec);
    take.clear();
    runSteps(w, {{"Stop Playing", [&] { press(w.cmdStopPlaying); }, {"10101", -1, 0, ""}},
                 {"Start Recording", [&] { press(w.cmdStartRec); }, {"01101", 1000, 0, ""}},
                 {"Stop Recording at once", [&] { press(w.cmdStopRec); }, {"10101", -1, 0, ""}},
                 {"Play the old copy", [&] { press(w.cmdPlayRec); }, {"10111", 1000, 0, ""}},
                 {"tick while playing", playTick(w, 0.02), {"10111", 1000, 1, "1"}},
                 {"tick, playback over", playTick(w, 0.5), {"10101", -1, 1, ""}}});
    // The count stays at 1 after a playback that ended by itself: the next
    // take is full at its 18th tick.
    std::vector<Step> steps = {{"Start Recording", [&] { press(w.cmdStartRec); }, {"01101", 1000, 1, ""}}};
    addTicks(steps, 2, 18, "01101", [&] { tick(w); });
    steps.push_back({"18th tick: full", [&] { tick(w); }, {"01111", -1, 19, "Full"}});
    steps.push_back({"Stop Recording", [&] { press(w.cmdStopRec); }, {"10111", -1, 0, ""}});
    runSteps(w, steps);
    runSteps(w, {{"Play again", [&] { press(w.cmdPlayRec); }, {"10111", 1000, 0, ""}},
                 {"Start Recording", [&] { press(w.cmdStartRec); }, {"01111", 1000, 0, ""}},
                 {"tick", feedTick(w, 4000), {"01111", 1000, 1, "1"}},
                 {"Play during the recording", [&] { press(w.cmdPlayRec); }, {"01111", 1000, 0, ""}},
                 {"tick: still recording", playTick(w, 0.3), {"01111", 1000, 1, "1"}}});
    EXPECT_FALSE(mic().running());
    EXPECT_EQ(copyBytes(w), take);
    // Save during a recording ends the take there too and stops the timer;
    // Save while playing silences the playing copy.
    runSteps(w, {{"Stop Recording", [&] { press(w.cmdStopRec); }, {"10111", -1, 0, ""}},
                 {"Start Recording",
                  [&] {
                      take.clear();
                      press(w.cmdStartRec);
                  },
                  {"01111", 1000, 0, ""}},
                 {"tick", feedTick(w, kRate), {"01111", 1000, 1, "1"}},
                 {"Save during the recording", [&] { saveAs(w, dir / "cut"); }, {"01101", -1, 0, ""}},
                 {"Stop Recording", [&] { press(w.cmdStopRec); }, {"10101", -1, 0, ""}},
                 {"Play", [&] { press(w.cmdPlayRec); }, {"10111", 1000, 0, ""}},
                 {"Save while playing",
                  [&] {
                      EXPECT_GT(rmsDb(out(0.1).left), -30.0);
                      saveAs(w, dir / "playing");
                  },
                  {"10101", -1, 0, ""}}});
    EXPECT_FALSE(mic().running());
    EXPECT_EQ(savedBytes(dir / "cut.wav"), take);
    EXPECT_EQ(savedBytes(dir / "playing.wav"), take);
    EXPECT_LT(rmsDb(out(0.2).left), -120.0);
}

TEST_F(RecorderTest, LoadFailuresEndTheProgramWithTheirMessageOrLeaveAWorkingWindow) {
    const char* critical = "Unable to initialize sound card for capture.  Exiting this application";
    struct Variant {
        const char* name;
        bool noDevice, failCapture, failOutput, halfDuplex;
        int32_t formats;  // 0x0E: 8-bit stereo and 16-bit at 11025 Hz only
        const char *text, *title;
        dialogs::Icon icon;
    };
    const Variant variants[] = {
        {"no capture device", true, false, false, false, WAVE_FORMAT_2M08, critical, "Zendra", dialogs::Icon::Critical},
        {"capture cannot be opened", false, true, false, false, WAVE_FORMAT_2M08, critical, "Zendra",
         dialogs::Icon::Critical},
        {"no usable format", false, false, false, false, 0x0E, "Capture is not supported with your sound card!",
         "Zendra", dialogs::Icon::None},
        {"no full duplex: recording goes on", false, false, false, true, WAVE_FORMAT_2M08,
         "This card does not support full duplex.  You may still record sound.", "No full duplex",
         dialogs::Icon::Information},
        {"no output at all: counts as full duplex", false, false, true, false, WAVE_FORMAT_2M08, nullptr, nullptr,
         dialogs::Icon::None},
        {"only 11025 Hz: 20 seconds at that rate", false, false, false, false, WAVE_FORMAT_1M08, nullptr, nullptr,
         dialogs::Icon::None},
    };
    auto half = std::make_shared<HalfDuplexBackend>();
    setBackendFactory([half] { return half; });
    backend = half;
    const auto mics = backend->devices;
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.name);
        forms::destroyAll();
        forms::destroyAll();
        messages.clear();
        ended = false;
        backend->devices = v.noDevice ? decltype(mics){} : mics;
        backend->failCapture = v.failCapture;
        backend->failOutput = v.failOutput;
        half->refuse = v.halfDuplex;
        RecordOn w(v.formats);
        w.showForm();
        if (v.text) expectOnlyMessage(v.text, v.title, v.icon);
        EXPECT_EQ(ended, v.text && !v.halfDuplex);
        if (ended) continue;
        EXPECT_EQ(mic().rate, v.formats == WAVE_FORMAT_1M08 ? 11025 : 22050);
        EXPECT_EQ(w.CaptureBuffer->bufferBytes(), 20 * mic().rate);
        record(w, 1000);
        EXPECT_EQ(view(w), (View{v.halfDuplex ? "10001" : "10101", -1, 0, ""}));  // Play only with full duplex
    }
}

TEST_F(RecorderTest, SavedFilesHoldTheTakeUnderTheChosenNamePlusWav) {
    // The capture device chosen in Properties is gone: said so, the default used.
    forms::shared().CaptureGuid = QStringLiteral("gone");
    forms::shared().CaptureDescription = QStringLiteral("USB Headset");
    frmRecord& w = open();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.contains("\"USB Headset\"") && messages[0].text.contains("default capture device") &&
                mic().device.empty() && !ended)
        << messages[0].text.toStdString();
    // Failures of Start Recording, Play and Save are reported; the window goes on.
    backend->failCapture = true;
    press(w.cmdStartRec);
    backend->failCapture = false;
    EXPECT_EQ(view(w), (View{"10000", 0, 0, ""}));
    record(w, 3 * kRate + 1234);
    std::vector<std::shared_ptr<DirectSoundBuffer>> hogs;  // every output voice taken
    DSBUFFERDESC d{.lBufferBytes = 2};
    WAVEFORMATEX fmt = take::MakeWaveFormat(22050, 1, 8);
    try {
        for (;;) hogs.push_back(forms::shared().ds->CreateSoundBuffer(d, fmt));
    } catch (const SoundError&) {}
    press(w.cmdPlayRec);
    press(w.cmdSaveToFile);
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_TRUE(messages[1].text.startsWith("Recording could not start.") &&
                messages[2].text.startsWith("The take could not be played.") &&
                messages[3].text.contains("nothing was saved") && messages[1].icon == dialogs::Icon::Exclamation);
    EXPECT_TRUE(w.PlayBuffer == nullptr && fileCalls.empty());
    hogs.clear();
    render(0.01);  // the voices are handed back
    messages.clear();
    saveFiles.push_back(std::nullopt);  // cancelled: nothing saved
    press(w.cmdSaveToFile);
    ASSERT_EQ(fileCalls.size(), 1u);
    EXPECT_EQ(fileCalls[0].title + fileCalls[0].filter + "|" + fileCalls[0].suggested, "Save Wave File*.wav|");
    EXPECT_TRUE(fs::is_empty(dir));
    saveAs(w, dir / "take");
    const SampleData f = readSoundFile((dir / "take.wav").string());
    EXPECT_EQ(std::tuple(f.format, f.channels, f.rate), std::tuple(SampleFormat::U8, 1, 22050));
    EXPECT_TRUE(f.bytes == take) << "the file's data differ from the captured bytes";
    const std::pair<std::string, std::string> names[] = {
        {"plain.wav", "plain.wav"},
        {"loud.WAV", "loud.WAV.wav"},
        {"dotted.wav.bak", "dotted.wav.bak.wav"},
        {"with space", "with space.wav"},
        {"take.wav", "take.wav"}};  // the last overwrites without asking
    for (const auto& [chosen, name] : names) {
        saveAs(w, dir / chosen);
        EXPECT_EQ(savedBytes(dir / name), take) << chosen;
    }
    EXPECT_EQ(fileCalls.back().suggested, QString::fromStdString((dir / "with space").string()));
    EXPECT_FALSE(fs::exists(dir / "loud.WAV"));
    EXPECT_TRUE(messages.empty());
    // Refused and said so: a name that is not a full path, a missing folder.
    saveAs(w, "relative/take");
    const fs::path nowhere = dir / "missing" / "take.wav";
    saveAs(w, nowhere);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_TRUE(messages[0].text.contains("relative/take.wav")) << messages[0].text.toStdString();
    EXPECT_TRUE(messages[1].text.contains(QString("\"%1\"").arg(QString::fromStdString(nowhere.string()))) &&
                messages[1].text.contains("does not exist") && messages[1].icon == dialogs::Icon::Exclamation)
        << messages[1].text.toStdString();
}

// Closing the Record window, or the main window, ends the program; a Record
// window that was shown releases the sound objects, one never shown nothing.
TEST_F(RecorderTest, ClosingEndsTheProgramAndReleasesTheSoundObjects) {
    for (int variant : {0, 1, 2}) {
        SCOPED_TRACE(variant);
        forms::destroyAll();
        forms::destroyAll();
        ended = false;
        ASSERT_TRUE(startMain());
        frmRecord& w = forms::frmRecord();
        if (variant < 2) w.showForm();
        if (variant == 0)
            w.close();
        else
            forms::FrmReworked().close();
        EXPECT_TRUE(ended && endCode == 0 && backend->lastCapture() == nullptr);
        EXPECT_EQ(forms::shared().ds == nullptr, variant < 2);
    }
}

}  // namespace
}  // namespace zendra::test
