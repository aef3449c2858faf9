// Importing the drum kits Debian ships (hydrogen-drumkits, when installed):
// each kit read, its first sixteen sounding instruments turned into slots
// and every layer's file decoded as the import decodes them (all cores).
// One benchmark per kit, wall-clock time; none when the kits are absent.
#include <QCoreApplication>
#include <QDir>
#include <benchmark/benchmark.h>

#include "kits/drumkit_import.h"
#include "kits/drumkit_slots.h"
#include "sound/bank_decoder.h"

namespace zendra {
namespace {

const char* const kKits = "/usr/share/hydrogen/data/drumkits";

void importKit(benchmark::State& state, const QString& folder) {
    for (auto _ : state) {
        const kits::ImportedKit kit = kits::importDrumKit(folder);
        if (!kit.ok) {
            state.SkipWithError(kit.error.toStdString().c_str());
            return;
        }
        std::vector<kits::DrumInstrument> chosen;
        for (const kits::DrumInstrument& in : kit.instruments)
            if (in.hasSound() && chosen.size() < 16) chosen.push_back(in);
        const kits::DrumSlots made = kits::toSlots(chosen);
        std::vector<std::string> paths;
        for (const model::SampleSlot& s : made.slotList)
            for (const QString& f : s.soundFiles()) paths.push_back(QFile::encodeName(f).toStdString());
        BankDecoder decoder(paths);
        decoder.wait();
        if (!decoder.failures().empty()) {
            state.SkipWithError(decoder.failures()[0].message.c_str());
            return;
        }
        state.counters["instruments"] = static_cast<double>(made.slotList.size());
        state.counters["files"] = static_cast<double>(paths.size());
    }
}

[[maybe_unused]] const bool registered = [] {
    for (const QString& name : QDir(QString::fromLatin1(kKits)).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString folder = QString::fromLatin1(kKits) + QLatin1Char('/') + name;
        benchmark::RegisterBenchmark(("BM_ImportDrumKit/" + name.toStdString()).c_str(),
                                     [folder](benchmark::State& s) { importKit(s, folder); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(1);
    }
    return true;
}();

}  // namespace
}  // namespace zendra
