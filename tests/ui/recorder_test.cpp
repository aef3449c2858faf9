// The Record window, offscreen with offline sound: the tick handler is driven
// directly as a fake one-second clock, and captured bytes are pushed into the
// fake capture stream between ticks.
#include <QCloseEvent>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "core/frm_reworked.h"
#include "recording/frm_record.h"
#include "recording/take.h"
#include "signal_measure.h"
#include "sound/wav_file.h"
#include "ui_fixture.h"

namespace fs = std::filesystem;

namespace zendra::test {
namespace {

constexpr int kRate = 22050;
constexpr int kFull = 20 * kRate;  // bytes a capture buffer holds

// What the window shows: the five buttons (Start Recording, Stop Recording,
// Play, Stop Playing, Save to File) as "1"/"0", the timer (-1 off, else on
// with its interval), SecondCount and the time label.
struct View {
    std::string buttons;
    int timer = -1;
    int count = 0;
    QString label;
    bool operator==(const View&) const = default;
};

void PrintTo(const View& v, std::ostream* os) {
    *os << "{" << v.buttons << ", timer " << v.timer << ", count " << v.count << ", \"" << v.label.toStdString()
        << "\"}";
}

View view(frmRecord& w) {
    View v;
    for (QPushButton* b : {w.cmdStartRec, w.cmdStopRec, w.cmdPlayRec, w.cmdStopPlaying, w.cmdSaveToFile})
        v.buttons += b->isEnabled() ? '1' : '0';
    v.timer = w.tmrCountEnabled() ? w.tmrCount->interval() : -1;
    v.count = w.SecondCount;
    v.label = w.lblTIME->text();
    return v;
}

std::string readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The bytes a saved take holds; empty when it cannot be read.
std::vector<uint8_t> savedBytes(const fs::path& p) {
    try {
        return readWavFile(p.string()).bytes;
    } catch (const SoundError&) {
        return {};
    }
}

std::vector<std::string> entries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Refuses every output device with "allocated", as a card without full duplex
// does while its capture side is open.
class HalfDuplexBackend : public OfflineBackend {
public:
    std::unique_ptr<OutputDevice> openOutput(const std::string& device, OutputCallback* callback) override {
        if (refuse) throw SoundError(DSERR_ALLOCATED, "The sound device is in use.");
        return OfflineBackend::openOutput(device, callback);
    }
    bool refuse = false;
};

// A Record window on a device that offers the given capture formats.
class RecordWithFormats : public frmRecord {
public:
    explicit RecordWithFormats(int32_t formats) : formats_(formats) {}

protected:
    int32_t offeredFormats() override { return formats_; }

private:
    int32_t formats_;
};

class RecorderTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        dir = fs::temp_directory_path() / ("zendra-rec-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        UiTest::TearDown();
        fs::remove_all(dir);
    }

    frmRecord& open() {
        startSound();
        frmRecord& w = forms::frmRecord();
        w.showForm();
        return w;
    }

    FakeCaptureStream& mic() {
        FakeCaptureStream* s = backend->lastCapture();
        if (s == nullptr) throw std::runtime_error("no capture stream is open");
        return *s;
    }

    // Delivers `bytes` bytes of a known pattern, as a device would, and
    // notes in `take` what the capture buffer should have kept.
    void feed(int bytes) {
        std::vector<uint8_t> chunk(static_cast<size_t>(bytes));
        for (auto& b : chunk) b = static_cast<uint8_t>((serial++ * 37 + 11) & 0xff);
        if (mic().running()) {
            const size_t room = static_cast<size_t>(kFull) - std::min<size_t>(take.size(), kFull);
            take.insert(take.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(std::min(room, chunk.size())));
        }
        mic().push(chunk);
    }

    // One timer tick; the timer must be running for it to happen.
    void tick(frmRecord& w) {
        ASSERT_TRUE(w.tmrCount->isActive()) << "the timer is not running";
        EXPECT_EQ(w.tmrCount->interval(), 1000);
        w.tmrCount_Timer();
    }

    // A take of `bytes` bytes, from Start Recording to Stop Recording.
    void record(frmRecord& w, int bytes) {
        w.cmdStartRec->click();
        feed(bytes);
        w.cmdStopRec->click();
    }

    // Save to File, answering the dialog with `path`.
    void saveAs(frmRecord& w, const fs::path& path) {
        saveFiles.push_back(QString::fromStdString(path.string()));
        w.cmdSaveToFile->click();
    }

    // Bytes of the playback copy.
    static std::vector<uint8_t> copyBytes(const frmRecord& w) {
        std::vector<uint8_t> out(static_cast<size_t>(w.PlayBuffer->bufferBytes()));
        w.PlayBuffer->ReadBuffer(0, static_cast<int32_t>(out.size()), out.data(), 0);
        return out;
    }

    fs::path dir;
    uint32_t serial = 0;
    std::vector<uint8_t> take;  // what the capture buffer should hold
};

// ------------------------------------------------------------------ state table

struct Step {
    std::string event;
    std::function<void()> act;
    View expect;
};

// Ticks from..to, each after `act`, showing the count and `buttons`.
void addTicks(std::vector<Step>& steps, int from, int to, const std::string& buttons, const std::function<void()>& act) {
    for (int t = from; t <= to; ++t)
        steps.push_back({"tick " + std::to_string(t), act, {buttons, 1000, t, QString::number(t)}});
}

void runSteps(frmRecord& w, const std::vector<Step>& steps) {
    for (size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE("step " + std::to_string(i) + ": " + steps[i].event);
        steps[i].act();
        EXPECT_EQ(view(w), steps[i].expect);
        // The timer ticks exactly when it is enabled with an interval.
        EXPECT_EQ(w.tmrCount->isActive(), w.tmrCountEnabled() && w.tmrCount->interval() > 0);
    }
}

TEST_F(RecorderTest, LoadStateAndARecordingLeftRunningCountsToFull) {
    frmRecord& w = open();
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(ended);
    EXPECT_TRUE(w.FullDuplex);
    EXPECT_EQ(w.windowTitle(), "Record");
    EXPECT_EQ(w.lblLTime->text(), "Time:");
    EXPECT_EQ(w.cmbDone->text(), "Done");
    EXPECT_EQ(view(w), (View{"10000", 0, 0, ""}));

    std::vector<Step> steps;
    steps.push_back({"Start Recording", [&] { w.cmdStartRec->click(); }, {"01000", 1000, 0, ""}});
    addTicks(steps, 1, 18, "01000", [&] { feed(kRate); tick(w); });
    steps.push_back({"tick 19: full", [&] { feed(kRate); tick(w); }, {"01111", -1, 19, "Full"}});
    runSteps(w, steps);
    EXPECT_FALSE(mic().running());
    EXPECT_EQ(w.CaptureBuffer->GetStatus() & DSCBSTATUS_CAPTURING, 0);

    runSteps(w, {{"Stop Recording", [&] { w.cmdStopRec->click(); }, {"10111", -1, 0, ""}},
                 {"Stop Playing without a copy does nothing", [&] { w.cmdStopPlaying->click(); }, {"10111", -1, 0, ""}}});
    EXPECT_EQ(w.PlayBuffer, nullptr);
}

TEST_F(RecorderTest, TakeAfterASelfEndedPlaybackIsFullAtTheEighteenthTick) {
    frmRecord& w = open();
    std::vector<Step> steps = {
        {"Start Recording", [&] { w.cmdStartRec->click(); }, {"01000", 1000, 0, ""}},
        {"tick", [&] { feed(kRate / 2); tick(w); }, {"01000", 1000, 1, "1"}},
        {"Stop Recording", [&] { w.cmdStopRec->click(); }, {"10101", -1, 0, ""}},
        {"Play", [&] { w.cmdPlayRec->click(); }, {"10111", 1000, 0, ""}},
        {"tick while playing", [&] { render(0.2); tick(w); }, {"10111", 1000, 1, "1"}},
        {"tick, playback over", [&] { render(0.5); tick(w); }, {"10101", -1, 1, ""}},
        {"Start Recording", [&] { w.cmdStartRec->click(); }, {"01101", 1000, 1, ""}},
    };
    addTicks(steps, 2, 18, "01101", [&] { feed(kRate); tick(w); });
    steps.push_back({"18th tick: full", [&] { feed(kRate); tick(w); }, {"01111", -1, 19, "Full"}});
    runSteps(w, steps);
    EXPECT_FALSE(mic().running());
}

TEST_F(RecorderTest, FullDuringPlaybackLetsTheNextTakeCountPastNineteen) {
    frmRecord& w = open();
    std::vector<Step> steps = {
        {"Start Recording", [&] { w.cmdStartRec->click(); }, {"01000", 1000, 0, ""}},
        {"the buffer fills up", [&] { feed(kFull + 500); }, {"01000", 1000, 0, ""}},
        {"Stop Recording", [&] { w.cmdStopRec->click(); }, {"10101", -1, 0, ""}},
        {"Play the 20 s take", [&] { w.cmdPlayRec->click(); }, {"10111", 1000, 0, ""}},
    };
    addTicks(steps, 1, 18, "10111", [&] { render(1.0); tick(w); });
    steps.push_back({"tick 19 while still playing", [&] { render(0.5); tick(w); }, {"10111", -1, 19, "Full"}});
    steps.push_back({"Start Recording", [&] { w.cmdStartRec->click(); }, {"01111", 1000, 19, "Full"}});
    addTicks(steps, 20, 40, "01111", [&] { feed(kRate); tick(w); });
    steps.push_back({"Stop Recording", [&] { w.cmdStopRec->click(); }, {"10111", -1, 0, ""}});
    runSteps(w, steps);
    // The capture stopped by itself at the buffer's end, while the count went on.
    DSCURSORS c;
    w.CaptureBuffer->GetCurrentPosition(c);
    EXPECT_EQ(c.lPlay, kFull);
    EXPECT_TRUE(w.PlayBuffer->GetStatus() & DSBSTATUS_PLAYING);

    // The count stops at the largest 16-bit value.
    w.cmdStartRec->click();
    w.SecondCount = 32766;
    tick(w);
    tick(w);
    EXPECT_EQ(view(w), (View{"01111", 1000, 32767, "32767"}));
}

TEST_F(RecorderTest, StopRecordingBeforeAnyByteKeepsThePreviousCopy) {
    frmRecord& w = open();
    // Nothing ever recorded: Play does nothing, Save asks for a recording.
    runSteps(w, {{"Start Recording", [&] { w.cmdStartRec->click(); }, {"01000", 1000, 0, ""}},
                 {"Stop Recording at once", [&] { w.cmdStopRec->click(); }, {"10101", -1, 0, ""}},
                 {"Play: no copy", [&] { w.cmdPlayRec->click(); }, {"10101", -1, 0, ""}},
                 {"Save: no copy", [&] { w.cmdSaveToFile->click(); }, {"10101", -1, 0, ""}}});
    EXPECT_EQ(w.PlayBuffer, nullptr);
    expectOnlyMessage("Please record a sound first", "Zendra", dialogs::Icon::None);
    EXPECT_TRUE(fileCalls.empty());

    // A first take, copied once.
    record(w, 3000);
    w.cmdPlayRec->click();
    ASSERT_NE(w.PlayBuffer, nullptr);
    const std::vector<uint8_t> first = take;
    EXPECT_EQ(copyBytes(w), first);
    w.cmdStopPlaying->click();

    // An empty second take: Play plays the first take's copy again.
    take.clear();
    runSteps(w, {{"Start Recording", [&] { w.cmdStartRec->click(); }, {"01101", 1000, 0, ""}},
                 {"Stop Recording at once", [&] { w.cmdStopRec->click(); }, {"10101", -1, 0, ""}},
                 {"Play the old copy", [&] { w.cmdPlayRec->click(); }, {"10111", 1000, 0, ""}}});
    EXPECT_EQ(copyBytes(w), first);
    EXPECT_TRUE(w.PlayBuffer->GetStatus() & DSBSTATUS_PLAYING);
    runSteps(w, {{"Stop Playing", [&] { w.cmdStopPlaying->click(); }, {"10101", -1, 0, ""}}});
    EXPECT_FALSE(w.PlayBuffer->GetStatus() & DSBSTATUS_PLAYING);
    EXPECT_EQ(w.PlayBuffer->GetCurrentPosition(), 0);
}

TEST_F(RecorderTest, PlayOrSaveDuringARecordingEndsTheTakeThere) {
    frmRecord& w = open();
    w.cmdStartRec->click();
    feed(kRate);
    tick(w);
    w.cmdStopRec->click();  // Play becomes available

    take.clear();
    runSteps(w, {{"Start Recording", [&] { w.cmdStartRec->click(); }, {"01101", 1000, 0, ""}},
                 {"tick", [&] { feed(4000); tick(w); }, {"01101", 1000, 1, "1"}},
                 {"Play during the recording", [&] { w.cmdPlayRec->click(); }, {"01111", 1000, 0, ""}}});
    EXPECT_FALSE(mic().running());
    EXPECT_EQ(copyBytes(w), take);
    feed(1000);  // nothing more arrives
    EXPECT_EQ(copyBytes(w), take);
    // Still shows as recording; a tick while "recording" does not end the playback.
    runSteps(w, {{"tick", [&] { render(0.3); tick(w); }, {"01111", 1000, 1, "1"}}});

    // Save during a recording does the same, and stops the timer.
    w.cmdStopRec->click();
    take.clear();
    saveFiles.push_back(QString::fromStdString((dir / "cut").string()));
    runSteps(w, {{"Start Recording", [&] { w.cmdStartRec->click(); }, {"01111", 1000, 0, ""}},
                 {"tick", [&] { feed(5000); tick(w); }, {"01111", 1000, 1, "1"}},
                 {"Save during the recording", [&] { w.cmdSaveToFile->click(); }, {"01101", -1, 0, ""}}});
    EXPECT_FALSE(mic().running());
    EXPECT_EQ(savedBytes(dir / "cut.wav"), take);
}

TEST_F(RecorderTest, SaveWhilePlayingReplacesTheCopyAndStopsTheTimer) {
    frmRecord& w = open();
    record(w, 2 * kRate);
    w.cmdPlayRec->click();
    EXPECT_GT(rmsDb(splitInterleaved(render(0.3), engine().rate()).left), -30.0);
    const DirectSoundBuffer* playing = w.PlayBuffer.get();
    ASSERT_TRUE(w.PlayBuffer->GetStatus() & DSBSTATUS_PLAYING);
    saveFiles.push_back(QString::fromStdString((dir / "while-playing.wav").string()));
    runSteps(w, {{"Save while playing", [&] { w.cmdSaveToFile->click(); }, {"10101", -1, 0, ""}}});
    EXPECT_NE(w.PlayBuffer.get(), playing);
    EXPECT_FALSE(w.PlayBuffer->GetStatus() & DSBSTATUS_PLAYING);
    // The replaced copy is silent: nothing plays any more.
    EXPECT_LT(rmsDb(splitInterleaved(render(0.2), engine().rate()).left), -120.0);
    EXPECT_EQ(savedBytes(dir / "while-playing.wav"), take);
}

TEST_F(RecorderTest, DoneHidesAndEverythingGoesOn) {
    frmRecord& w = open();
    w.cmdStartRec->click();
    feed(1000);
    tick(w);
    w.cmbDone->click();
    EXPECT_FALSE(w.isShown());
    EXPECT_TRUE(w.tmrCount->isActive());
    EXPECT_TRUE(mic().running());
    feed(1000);
    tick(w);
    w.showForm();
    EXPECT_EQ(view(w), (View{"01000", 1000, 2, "2"}));
    EXPECT_EQ(backend->lastCapture(), &mic());  // no new load
    DSCURSORS c;
    w.CaptureBuffer->GetCurrentPosition(c);
    EXPECT_EQ(c.lPlay, 2000);
}

// ------------------------------------------------------------------ load

TEST_F(RecorderTest, LoadOpensTheDefaultDeviceAtTheTakeFormatAndReplacesTheOutputObject) {
    startSound();
    auto before = DXMoudule::ds;
    frmRecord& w = forms::frmRecord();
    EXPECT_FALSE(w.loaded());  // referring to it does not load it
    EXPECT_EQ(backend->lastCapture(), nullptr);
    w.showForm();
    ASSERT_TRUE(w.loaded());
    EXPECT_EQ(mic().device, "");
    EXPECT_EQ(mic().rate, 22050);
    EXPECT_EQ(mic().channels, 1);
    EXPECT_EQ(mic().bits, 8);
    EXPECT_EQ(w.CaptureBuffer->bufferBytes(), 441000);  // 20 seconds
    EXPECT_FALSE(mic().running());
    // A new output object at normal level, on the same output engine.
    ASSERT_NE(DXMoudule::ds, nullptr);
    EXPECT_NE(DXMoudule::ds, before);
    EXPECT_EQ(DXMoudule::ds->cooperativeLevel(), DSSCL_NORMAL);
    EXPECT_EQ(DXMoudule::ds->engine(), before->engine());
    EXPECT_EQ(backend->outputsOpened(), 1);

    // A copy made later comes from the new object, as a static volume-controlled buffer.
    record(w, 100);
    w.cmdPlayRec->click();
    ASSERT_NE(w.PlayBuffer, nullptr);
    EXPECT_NO_THROW(w.PlayBuffer->SetVolume(-100));
    EXPECT_THROW(w.PlayBuffer->SetFrequency(11025), SoundError);
    WAVEFORMATEX f;
    w.PlayBuffer->GetFormat(f);
    EXPECT_EQ(f.lSamplesPerSec, 22050);
    EXPECT_EQ(f.nChannels, 1);
    EXPECT_EQ(f.nBitsPerSample, 8);
}

TEST_F(RecorderTest, CaptureFormatFollowsTheOfferedFormats) {
    EXPECT_EQ(take::captureFormatFor(WAVE_FORMAT_2M08 | WAVE_FORMAT_1M08)->lSamplesPerSec, 22050);
    EXPECT_EQ(take::captureFormatFor(WAVE_FORMAT_2M08)->lSamplesPerSec, 22050);

    // A card offering only 11025 Hz records 20 seconds at that rate.
    startSound();
    RecordWithFormats w(WAVE_FORMAT_1M08);
    w.showForm();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(mic().rate, 11025);
    EXPECT_EQ(w.CaptureBuffer->bufferBytes(), 220500);
    record(w, 800);
    saveAs(w, dir / "low.wav");
    const SampleData f = readWavFile((dir / "low.wav").string());
    EXPECT_EQ(f.rate, 11025);
    EXPECT_EQ(f.bytes, take);
}

TEST_F(RecorderTest, LoadFailuresEndTheProgramWithTheirMessage) {
    struct Variant {
        const char* name;
        std::vector<CaptureDeviceInfo> devices;
        bool failCapture;
        int32_t formats;
        const char* text;
        dialogs::Icon icon;
    };
    const char* critical = "Unable to initialize sound card for capture.  Exiting this application";
    const Variant variants[] = {
        {"no capture device", {}, false, WAVE_FORMAT_2M08, critical, dialogs::Icon::Critical},
        {"capture cannot be opened", {{"Offline Microphone", "offline-mic"}}, true, WAVE_FORMAT_2M08, critical,
         dialogs::Icon::Critical},
        // 8-bit stereo and 16-bit at 11025 Hz only.
        {"no usable format", {{"Offline Microphone", "offline-mic"}}, false, 0x0E,
         "Capture is not supported with your sound card!", dialogs::Icon::None},
    };
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.name);
        forms::destroyAll();
        messages.clear();
        ended = false;
        backend->devices = v.devices;
        backend->failCapture = v.failCapture;
        startSound();
        RecordWithFormats w(v.formats);
        w.showForm();
        expectOnlyMessage(v.text, "Zendra", v.icon);
        EXPECT_TRUE(ended);
        EXPECT_EQ(w.CaptureBuffer, nullptr);
    }
}

TEST_F(RecorderTest, WithoutFullDuplexPlayIsNeverEnabledButSavingWorks) {
    auto half = std::make_shared<HalfDuplexBackend>();
    backend = half;
    DXMoudule::setBackendFactory([half] { return half; });
    half->refuse = true;  // no output device can be opened while capture is open
    frmRecord& w = forms::frmRecord();
    w.showForm();
    expectOnlyMessage("This card does not support full duplex.  You may still record sound.", "No full duplex",
                      dialogs::Icon::Information);
    EXPECT_FALSE(ended);
    EXPECT_FALSE(w.FullDuplex);

    std::vector<Step> steps = {{"Start Recording", [&] { w.cmdStartRec->click(); }, {"01000", 1000, 0, ""}}};
    addTicks(steps, 1, 18, "01000", [&] { feed(kRate); tick(w); });
    steps.push_back({"tick 19", [&] { tick(w); }, {"01001", -1, 19, "Full"}});
    steps.push_back({"Stop Recording", [&] { w.cmdStopRec->click(); }, {"10001", -1, 0, ""}});
    runSteps(w, steps);

    // The copy to save needs an output object: one can be opened once capture is idle.
    half->refuse = false;
    DXMoudule::ds = DXMoudule::DX().DirectSoundCreate("");
    saveAs(w, dir / "half.wav");
    EXPECT_EQ(savedBytes(dir / "half.wav"), take);
}

TEST_F(RecorderTest, OtherOutputFailuresAtLoadCountAsFullDuplex) {
    backend->failOutput = true;  // no output at all, and not "allocated"
    frmRecord& w = forms::frmRecord();
    w.showForm();
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(ended);
    EXPECT_TRUE(w.FullDuplex);
    EXPECT_EQ(DXMoudule::ds, nullptr);
    EXPECT_EQ(view(w), (View{"10000", 0, 0, ""}));
}

TEST_F(RecorderTest, AVanishedChosenDeviceIsReportedAndTheDefaultUsed) {
    backend->devices = {{"Mic One", "one"}};
    DXMoudule::CaptureGuid = QStringLiteral("gone");
    DXMoudule::CaptureDescription = QStringLiteral("USB Headset");
    frmRecord& w = open();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.contains("\"USB Headset\"")) << messages[0].text.toStdString();
    EXPECT_TRUE(messages[0].text.contains("default capture device")) << messages[0].text.toStdString();
    EXPECT_FALSE(ended);
    EXPECT_EQ(mic().device, "");
    w.cmdStartRec->click();
    EXPECT_EQ(mic().device, "");
    EXPECT_TRUE(mic().running());
}

// ------------------------------------------------------------------ failures of capture operations

TEST_F(RecorderTest, FailingCaptureOperationsAreReportedAndTheWindowGoesOn) {
    frmRecord& w = open();
    backend->failCapture = true;
    runSteps(w, {{"Start Recording fails", [&] { w.cmdStartRec->click(); }, {"10000", 0, 0, ""}}});
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith("Recording could not start.")) << messages[0].text.toStdString();
    EXPECT_TRUE(messages[0].text.contains("No capture device could be opened."));
    EXPECT_EQ(messages[0].icon, dialogs::Icon::Exclamation);
    EXPECT_FALSE(ended);

    backend->failCapture = false;
    runSteps(w, {{"Start Recording again", [&] { w.cmdStartRec->click(); }, {"01000", 1000, 0, ""}},
                 {"tick", [&] { feed(2000); tick(w); }, {"01000", 1000, 1, "1"}},
                 {"Stop Recording", [&] { w.cmdStopRec->click(); }, {"10101", -1, 0, ""}}});

    // Every voice of the output taken: the copy for playing cannot be made.
    std::vector<std::shared_ptr<DirectSoundBuffer>> hogs;
    try {
        for (;;) {
            DSBUFFERDESC d;
            d.lBufferBytes = 2;
            WAVEFORMATEX f = take::MakeWaveFormat(22050, 1, 8);
            hogs.push_back(DXMoudule::ds->CreateSoundBuffer(d, f));
        }
    } catch (const SoundError&) {
    }
    runSteps(w, {{"Play fails", [&] { w.cmdPlayRec->click(); }, {"10101", -1, 0, ""}}});
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_TRUE(messages[1].text.startsWith("The take could not be played.")) << messages[1].text.toStdString();
    EXPECT_EQ(w.PlayBuffer, nullptr);

    saveFiles.push_back(QString::fromStdString((dir / "never.wav").string()));
    runSteps(w, {{"Save fails", [&] { w.cmdSaveToFile->click(); }, {"10101", -1, 0, ""}}});
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_TRUE(messages[2].text.contains("nothing was saved")) << messages[2].text.toStdString();
    EXPECT_TRUE(fileCalls.empty());

    hogs.clear();
    render(0.01);  // the voices are handed back
    runSteps(w, {{"Play", [&] { w.cmdPlayRec->click(); }, {"10111", 1000, 0, ""}}});
    EXPECT_EQ(copyBytes(w), take);
    EXPECT_EQ(messages.size(), 3u);
}

// ------------------------------------------------------------------ saving

TEST_F(RecorderTest, SavedFileIsPcmMono8BitAtTheTakeRateHoldingTheCapturedBytes) {
    frmRecord& w = open();
    w.cmdStartRec->click();
    for (int t = 0; t < 3; ++t) {
        feed(kRate);
        tick(w);
    }
    feed(1234);
    w.cmdStopRec->click();
    saveFiles.push_back(std::nullopt);  // cancelled before any name was chosen: nothing saved
    w.cmdSaveToFile->click();
    EXPECT_TRUE(fs::is_empty(dir));
    saveAs(w, dir / "take");
    ASSERT_EQ(fileCalls.size(), 2u);
    EXPECT_EQ(fileCalls[0].title, "Save Wave File");
    EXPECT_EQ(fileCalls[0].filter, "*.wav");
    EXPECT_EQ(fileCalls[0].suggested, "");
    EXPECT_TRUE(messages.empty());

    const SampleData f = readWavFile((dir / "take.wav").string());
    EXPECT_EQ(f.format, SampleFormat::U8);
    EXPECT_EQ(f.channels, 1);
    EXPECT_EQ(f.rate, 22050);
    ASSERT_EQ(f.bytes.size(), static_cast<size_t>(3 * kRate + 1234));
    EXPECT_TRUE(f.bytes == take) << "the file's data differ from the captured bytes";

    // Saving again overwrites without asking, from a fresh copy of the same take.
    saveAs(w, dir / "take.wav");
    EXPECT_EQ(fileCalls.back().suggested, QString::fromStdString((dir / "take").string()));
    EXPECT_EQ(savedBytes(dir / "take.wav"), take);

    // A later take, cancelled: the earlier file stays as it was.
    const std::string firstFile = readAll(dir / "take.wav");
    take.clear();
    record(w, 900);
    saveFiles.push_back(std::nullopt);
    w.cmdSaveToFile->click();
    EXPECT_EQ(fileCalls.back().suggested, QString::fromStdString((dir / "take.wav").string()));
    EXPECT_EQ(readAll(dir / "take.wav"), firstFile);
    EXPECT_EQ(entries(dir), std::vector<std::string>{"take.wav"});
    EXPECT_TRUE(messages.empty());
}

TEST_F(RecorderTest, FileNameRules) {
    EXPECT_EQ(take::fileNameFor(""), "");
    EXPECT_EQ(take::fileNameFor(".wav"), ".wav");

    frmRecord& w = open();
    record(w, 500);
    const std::pair<std::string, std::string> cases[] = {
        {"take", "take.wav"},         {"plain.wav", "plain.wav"},         {"loud.WAV", "loud.WAV.wav"},
        {"a.wa", "a.wa.wav"},         {"dotted.wav.bak", "dotted.wav.bak.wav"}, {"with space", "with space.wav"},
    };
    std::vector<std::string> saved;
    for (const auto& [chosen, name] : cases) {
        SCOPED_TRACE(chosen);
        saveAs(w, dir / chosen);
        EXPECT_EQ(savedBytes(dir / name), take);
        saved.push_back(name);
    }
    std::sort(saved.begin(), saved.end());
    EXPECT_EQ(entries(dir), saved);
    EXPECT_TRUE(messages.empty());

    // A name that is not a full path is refused and said so.
    saveAs(w, "relative/take");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.contains("relative/take.wav")) << messages[0].text.toStdString();
    EXPECT_FALSE(fs::exists("relative"));
}

// A save that fails (here: into a missing folder) names the file; the window
// goes on. A write broken midway is in the unit tests of the WAV writer.
TEST_F(RecorderTest, FailingSaveIsReportedAndTheWindowGoesOn) {
    frmRecord& w = open();
    record(w, kFull);  // a full 20-second take
    const fs::path nowhere = dir / "missing" / "take.wav";
    saveAs(w, nowhere);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.contains(QString::fromStdString("\"" + nowhere.string() + "\"")))
        << messages[0].text.toStdString();
    EXPECT_TRUE(messages[0].text.contains("does not exist")) << messages[0].text.toStdString();
    EXPECT_EQ(messages[0].icon, dialogs::Icon::Exclamation);
    EXPECT_FALSE(fs::exists(dir / "missing"));
    EXPECT_FALSE(ended);

    saveAs(w, dir / "take.wav");
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(savedBytes(dir / "take.wav"), take);
}

// ------------------------------------------------------------------ closing

TEST_F(RecorderTest, ClosingReleasesTheSoundObjectsAndEndsTheProgram) {
    frmRecord& w = open();
    w.cmdStartRec->click();
    feed(100);
    ASSERT_NE(backend->lastCapture(), nullptr);
    w.close();
    EXPECT_TRUE(ended);
    EXPECT_EQ(endCode, 0);
    EXPECT_EQ(DXMoudule::ds, nullptr);
    EXPECT_EQ(DXMoudule::dx, nullptr);
    EXPECT_EQ(backend->lastCapture(), nullptr);  // the capture stream is closed
}

// Closing the main window ends the program; a Record window that was shown
// goes with it and releases the sound objects, one never shown releases nothing.
TEST_F(RecorderTest, MainWindowClosingClosesTheLoadedRecordWindowWithIt) {
    for (bool shown : {true, false}) {
        SCOPED_TRACE(shown ? "shown" : "never shown");
        forms::destroyAll();
        DXMoudule::reset();
        ended = false;
        ASSERT_TRUE(startMain());
        if (shown) {
            forms::frmRecord().showForm();
            ASSERT_NE(backend->lastCapture(), nullptr);
        } else {
            forms::frmRecord();  // referred to, never shown
        }
        forms::FrmReworked().close();
        EXPECT_TRUE(ended);
        EXPECT_EQ(DXMoudule::ds == nullptr, shown);
        EXPECT_EQ(backend->lastCapture(), nullptr);
    }
}

}  // namespace
}  // namespace zendra::test
