#include "midi/midi_mapping.h"

#include <QJsonArray>
#include <QJsonObject>

namespace zendra::midi {

QJsonObject MidiMapping::toJson() const {
    QJsonArray notes;
    for (int n : notes_) notes.append(n);
    return QJsonObject{{QStringLiteral("notes"), notes}, {QStringLiteral("velocity"), velocity}};
}

MidiMapping MidiMapping::fromJson(const QJsonObject& o) {
    MidiMapping m;
    const QJsonArray notes = o.value(QStringLiteral("notes")).toArray();
    for (int i = 0; i < kSamples && i < notes.size(); ++i) {
        const int n = notes.at(i).toInt(-2);
        if (n >= -1 && n <= 127) m.notes_[i] = n;
    }
    m.velocity = o.value(QStringLiteral("velocity")).toBool(true);
    return m;
}

}  // namespace zendra::midi
