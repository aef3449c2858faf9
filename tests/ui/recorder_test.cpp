// The Record window, offscreen with offline sound: the tick handler is driven
// directly as a fake one-second clock, and captured bytes are pushed into the
// fake capture stream between ticks.
#include <sys/resource.h>

#include <QCloseEvent>
#include <algorithm>
#include <csignal>
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

struct ParsedWav {
    int tag = 0, channels = 0, rate = 0, byteRate = 0, align = 0, bits = 0;
    std::vector<uint8_t> data;
    bool ok = false;
};

uint32_t le(const std::string& s, size_t at, int n) {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(s[at + static_cast<size_t>(i)]);
    return v;
}

std::string readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Walks the chunks of a RIFF WAVE file.
ParsedWav parseWav(const fs::path& p) {
    ParsedWav w;
    const std::string s = readAll(p);
    if (s.size() < 12 || s.compare(0, 4, "RIFF") != 0 || s.compare(8, 4, "WAVE") != 0) return w;
    if (le(s, 4, 4) != s.size() - 8) return w;
    bool fmt = false, data = false;
    for (size_t at = 12; at + 8 <= s.size();) {
        const std::string id = s.substr(at, 4);
        const size_t size = le(s, at + 4, 4);
        if (at + 8 + size > s.size()) return w;
        if (id == "fmt ") {
            w.tag = static_cast<int>(le(s, at + 8, 2));
            w.channels = static_cast<int>(le(s, at + 10, 2));
            w.rate = static_cast<int>(le(s, at + 12, 4));
            w.byteRate = static_cast<int>(le(s, at + 16, 4));
            w.align = static_cast<int>(le(s, at + 20, 2));
            w.bits = static_cast<int>(le(s, at + 22, 2));
            fmt = true;
        } else if (id == "data") {
            w.data.assign(s.begin() + static_cast<std::ptrdiff_t>(at + 8),
                          s.begin() + static_cast<std::ptrdiff_t>(at + 8 + size));
            data = true;
        }
        at += 8 + size + (size & 1);
    }
    w.ok = fmt && data;
    return w;
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
    for (int t = 1; t <= 18; ++t)
        steps.push_back({"tick " + std::to_string(t), [&] { feed(kRate); tick(w); },
                         {"01000", 1000, t, QString::number(t)}});
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
    for (int t = 2; t <= 18; ++t)
        steps.push_back({"tick", [&] { feed(kRate); tick(w); }, {"01101", 1000, t, QString::number(t)}});
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
    for (int t = 1; t <= 18; ++t)
        steps.push_back({"tick while playing", [&] { render(1.0); tick(w); }, {"10111", 1000, t, QString::number(t)}});
    steps.push_back({"tick 19 while still playing", [&] { render(0.5); tick(w); }, {"10111", -1, 19, "Full"}});
    steps.push_back({"Start Recording", [&] { w.cmdStartRec->click(); }, {"01111", 1000, 19, "Full"}});
    for (int t = 20; t <= 40; ++t)
        steps.push_back({"tick past 19", [&] { feed(kRate); tick(w); }, {"01111", 1000, t, QString::number(t)}});
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
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Please record a sound first");
    EXPECT_EQ(messages[0].title, "Zendra");
    EXPECT_EQ(messages[0].icon, dialogs::Icon::None);
    EXPECT_TRUE(fileCalls.empty());

    // A first take, copied once.
    w.cmdStartRec->click();
    feed(3000);
    w.cmdStopRec->click();
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
    const ParsedWav f = parseWav(dir / "cut.wav");
    ASSERT_TRUE(f.ok);
    EXPECT_EQ(f.data, take);
}

TEST_F(RecorderTest, SaveWhilePlayingReplacesTheCopyAndStopsTheTimer) {
    frmRecord& w = open();
    w.cmdStartRec->click();
    feed(2 * kRate);
    w.cmdStopRec->click();
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
    EXPECT_EQ(parseWav(dir / "while-playing.wav").data, take);
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
    EXPECT_EQ(w.CaptureFormat.nBlockAlign, 1);
    EXPECT_EQ(w.CaptureFormat.lAvgBytesPerSec, 22050);
    EXPECT_EQ(w.CaptureDesc.lBufferBytes, 441000);
    EXPECT_EQ(static_cast<uint32_t>(w.CaptureDesc.lFlags), 0x80000000u);
    EXPECT_EQ(w.CaptureBuffer->bufferBytes(), 441000);
    EXPECT_FALSE(mic().running());
    // A new output object at normal level, on the same output engine.
    ASSERT_NE(DXMoudule::ds, nullptr);
    EXPECT_NE(DXMoudule::ds, before);
    EXPECT_EQ(DXMoudule::ds->cooperativeLevel(), DSSCL_NORMAL);
    EXPECT_EQ(DXMoudule::ds->engine(), before->engine());
    EXPECT_EQ(backend->outputsOpened(), 1);

    // A copy made later comes from the new object, as a static volume-controlled buffer.
    w.cmdStartRec->click();
    feed(100);
    w.cmdStopRec->click();
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
    EXPECT_EQ(take::captureFormatFor(WAVE_FORMAT_1M08)->lSamplesPerSec, 11025);
    EXPECT_FALSE(take::captureFormatFor(0x0E | 0x20).has_value());

    // A card offering only 11025 Hz records 20 seconds at that rate.
    startSound();
    RecordWithFormats w(WAVE_FORMAT_1M08);
    w.showForm();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(mic().rate, 11025);
    EXPECT_EQ(w.CaptureFormat.lAvgBytesPerSec, 11025);
    EXPECT_EQ(w.CaptureDesc.lBufferBytes, 220500);
    w.cmdStartRec->click();
    feed(800);
    w.cmdStopRec->click();
    saveFiles.push_back(QString::fromStdString((dir / "low.wav").string()));
    w.cmdSaveToFile->click();
    const ParsedWav f = parseWav(dir / "low.wav");
    ASSERT_TRUE(f.ok);
    EXPECT_EQ(f.rate, 11025);
    EXPECT_EQ(f.byteRate, 11025);
    EXPECT_EQ(f.data, take);
}

TEST_F(RecorderTest, NoUsableCaptureFormatEndsTheProgram) {
    startSound();
    RecordWithFormats w(0x0E);  // 8-bit stereo and 16-bit at 11025 Hz only
    w.showForm();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Capture is not supported with your sound card!");
    EXPECT_EQ(messages[0].icon, dialogs::Icon::None);
    EXPECT_EQ(messages[0].title, "Zendra");
    EXPECT_TRUE(ended);
    EXPECT_EQ(w.CaptureBuffer, nullptr);
}

TEST_F(RecorderTest, LoadFailuresEndTheProgramWithTheCriticalMessage) {
    struct Variant {
        const char* name;
        std::vector<CaptureDeviceInfo> devices;
        bool failCapture;
    };
    const Variant variants[] = {{"no capture device", {}, false},
                                {"capture cannot be opened", {{"Offline Microphone", "offline-mic"}}, true}};
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.name);
        forms::destroyAll();
        messages.clear();
        ended = false;
        backend->devices = v.devices;
        backend->failCapture = v.failCapture;
        startSound();
        forms::frmRecord().showForm();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].text, "Unable to initialize sound card for capture.  Exiting this application");
        EXPECT_EQ(messages[0].icon, dialogs::Icon::Critical);
        EXPECT_EQ(messages[0].buttons, dialogs::Buttons::Ok);
        EXPECT_EQ(messages[0].title, "Zendra");
        EXPECT_TRUE(ended);
        EXPECT_EQ(forms::frmRecord().CaptureBuffer, nullptr);
    }
}

TEST_F(RecorderTest, WithoutFullDuplexPlayIsNeverEnabledButSavingWorks) {
    auto half = std::make_shared<HalfDuplexBackend>();
    backend = half;
    DXMoudule::setBackendFactory([half] { return half; });
    half->refuse = true;  // no output device can be opened while capture is open
    frmRecord& w = forms::frmRecord();
    w.showForm();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "This card does not support full duplex.  You may still record sound.");
    EXPECT_EQ(messages[0].title, "No full duplex");
    EXPECT_EQ(messages[0].icon, dialogs::Icon::Information);
    EXPECT_FALSE(ended);
    EXPECT_FALSE(w.FullDuplex);

    std::vector<Step> steps = {{"Start Recording", [&] { w.cmdStartRec->click(); }, {"01000", 1000, 0, ""}}};
    for (int t = 1; t <= 18; ++t)
        steps.push_back({"tick", [&] { feed(kRate); tick(w); }, {"01000", 1000, t, QString::number(t)}});
    steps.push_back({"tick 19", [&] { tick(w); }, {"01001", -1, 19, "Full"}});
    steps.push_back({"Stop Recording", [&] { w.cmdStopRec->click(); }, {"10001", -1, 0, ""}});
    runSteps(w, steps);

    // The copy to save needs an output object: one can be opened once capture is idle.
    half->refuse = false;
    DXMoudule::ds = DXMoudule::DX().DirectSoundCreate("");
    saveFiles.push_back(QString::fromStdString((dir / "half.wav").string()));
    w.cmdSaveToFile->click();
    EXPECT_EQ(parseWav(dir / "half.wav").data, take);
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

TEST_F(RecorderTest, RecordsFromTheDeviceChosenInProperties) {
    backend->devices = {{"Mic One", "one"}, {"Mic Two", "two"}};
    DXMoudule::CaptureGuid = QStringLiteral("two");
    DXMoudule::CaptureDescription = QStringLiteral("Mic Two");
    open();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(mic().device, "two");
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
    saveFiles.push_back(QString::fromStdString((dir / "take").string()));
    w.cmdSaveToFile->click();
    ASSERT_EQ(fileCalls.size(), 1u);
    EXPECT_EQ(fileCalls[0].title, "Save Wave File");
    EXPECT_EQ(fileCalls[0].filter, "*.wav");
    EXPECT_EQ(fileCalls[0].suggested, "");
    EXPECT_TRUE(messages.empty());

    const ParsedWav f = parseWav(dir / "take.wav");
    ASSERT_TRUE(f.ok);
    EXPECT_EQ(f.tag, 1);
    EXPECT_EQ(f.channels, 1);
    EXPECT_EQ(f.bits, 8);
    EXPECT_EQ(f.rate, 22050);
    EXPECT_EQ(f.byteRate, 22050);
    EXPECT_EQ(f.align, 1);
    ASSERT_EQ(f.data.size(), static_cast<size_t>(3 * kRate + 1234));
    EXPECT_TRUE(f.data == take) << "the file's data differ from the captured bytes";
    EXPECT_EQ(entries(dir), std::vector<std::string>{"take.wav"});

    // Saving again overwrites without asking, from a fresh copy of the same take.
    saveFiles.push_back(QString::fromStdString((dir / "take.wav").string()));
    w.cmdSaveToFile->click();
    ASSERT_EQ(fileCalls.size(), 2u);
    EXPECT_EQ(fileCalls[1].suggested, QString::fromStdString((dir / "take").string()));
    EXPECT_EQ(parseWav(dir / "take.wav").data, take);
    EXPECT_EQ(entries(dir), std::vector<std::string>{"take.wav"});
}

TEST_F(RecorderTest, FileNameRules) {
    EXPECT_EQ(take::fileNameFor(""), "");
    EXPECT_EQ(take::fileNameFor(".wav"), ".wav");
    EXPECT_EQ(take::fileNameFor("a.wa"), "a.wa.wav");

    frmRecord& w = open();
    w.cmdStartRec->click();
    feed(500);
    w.cmdStopRec->click();
    struct Case {
        std::string chosen, saved;
    };
    const std::string d = dir.string();
    const Case cases[] = {
        {d + "/take", d + "/take.wav"},
        {d + "/plain.wav", d + "/plain.wav"},
        {d + "/loud.WAV", d + "/loud.WAV.wav"},
        {d + "/dotted.wav.bak", d + "/dotted.wav.bak.wav"},
        {d + "/with space", d + "/with space.wav"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chosen);
        saveFiles.push_back(QString::fromStdString(c.chosen));
        w.cmdSaveToFile->click();
        EXPECT_TRUE(fs::exists(c.saved));
        EXPECT_EQ(parseWav(c.saved).data, take);
    }
    EXPECT_EQ(entries(dir), (std::vector<std::string>{"dotted.wav.bak.wav", "loud.WAV.wav", "plain.wav", "take.wav",
                                                      "with space.wav"}));
    EXPECT_TRUE(messages.empty());

    // A name that is not a full path is refused and said so.
    saveFiles.push_back(QStringLiteral("relative/take"));
    w.cmdSaveToFile->click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.contains("relative/take.wav")) << messages[0].text.toStdString();
    EXPECT_FALSE(fs::exists("relative"));
}

TEST_F(RecorderTest, CancelSavesNothingEvenAfterAnEarlierName) {
    frmRecord& w = open();
    w.cmdStartRec->click();
    feed(700);
    w.cmdStopRec->click();

    saveFiles.push_back(std::nullopt);  // cancelled before any name was chosen
    w.cmdSaveToFile->click();
    EXPECT_TRUE(fs::is_empty(dir));

    saveFiles.push_back(QString::fromStdString((dir / "first.wav").string()));
    w.cmdSaveToFile->click();
    const std::string firstFile = readAll(dir / "first.wav");
    const std::vector<uint8_t> firstTake = take;

    take.clear();
    w.cmdStartRec->click();
    feed(900);
    w.cmdStopRec->click();
    saveFiles.push_back(std::nullopt);  // cancelled: the earlier file stays as it was
    w.cmdSaveToFile->click();
    ASSERT_EQ(fileCalls.size(), 3u);
    EXPECT_EQ(fileCalls[2].suggested, QString::fromStdString((dir / "first.wav").string()));
    EXPECT_EQ(readAll(dir / "first.wav"), firstFile);
    EXPECT_EQ(parseWav(dir / "first.wav").data, firstTake);
    EXPECT_EQ(entries(dir), std::vector<std::string>{"first.wav"});
    EXPECT_TRUE(messages.empty());
}

TEST_F(RecorderTest, FailingSaveIsReportedAndNeverHarmsAnExistingFile) {
    frmRecord& w = open();
    w.cmdStartRec->click();
    feed(kFull);  // a full 20-second take
    w.cmdStopRec->click();

    // A folder that does not exist.
    const fs::path nowhere = dir / "missing" / "take.wav";
    saveFiles.push_back(QString::fromStdString(nowhere.string()));
    w.cmdSaveToFile->click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.contains(QString::fromStdString("\"" + nowhere.string() + "\"")))
        << messages[0].text.toStdString();
    EXPECT_TRUE(messages[0].text.contains("does not exist")) << messages[0].text.toStdString();
    EXPECT_EQ(messages[0].icon, dialogs::Icon::Exclamation);
    EXPECT_FALSE(fs::exists(dir / "missing"));

    // A write broken midway (a file-size limit holds even for root): the old file survives.
    const fs::path target = dir / "keep.wav";
    std::ofstream(target, std::ios::binary) << "precious old take";
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit tight = old;
    tight.rlim_cur = 4096;
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
    saveFiles.push_back(QString::fromStdString(target.string()));
    w.cmdSaveToFile->click();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_TRUE(messages[1].text.contains(QString::fromStdString("\"" + target.string() + "\"")))
        << messages[1].text.toStdString();
    EXPECT_TRUE(messages[1].text.contains("write error")) << messages[1].text.toStdString();
    EXPECT_EQ(readAll(target), "precious old take");
    EXPECT_EQ(entries(dir), std::vector<std::string>{"keep.wav"});
    EXPECT_FALSE(ended);

    // The window goes on: the same save works once the limit is lifted.
    saveFiles.push_back(QString::fromStdString(target.string()));
    w.cmdSaveToFile->click();
    EXPECT_EQ(messages.size(), 2u);
    EXPECT_EQ(parseWav(target).data, take);
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

TEST_F(RecorderTest, MainWindowClosingClosesTheLoadedRecordWindowWithIt) {
    ASSERT_TRUE(startMain());
    forms::frmRecord().showForm();
    ASSERT_NE(backend->lastCapture(), nullptr);
    forms::FrmReworked().close();
    EXPECT_TRUE(ended);
    EXPECT_EQ(DXMoudule::ds, nullptr);
    EXPECT_EQ(backend->lastCapture(), nullptr);
}

TEST_F(RecorderTest, AnUnloadedRecordWindowReleasesNothingOnClose) {
    ASSERT_TRUE(startMain());
    forms::frmRecord();  // referred to, never shown
    forms::FrmReworked().close();
    EXPECT_TRUE(ended);
    EXPECT_NE(DXMoudule::ds, nullptr);
}

}  // namespace
}  // namespace zendra::test
