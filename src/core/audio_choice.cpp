#include "core/audio_choice.h"

#include "core/settings.h"

namespace zendra {

namespace {
const QString kKey = QStringLiteral("audio/system");
}

AudioSystem decideAudioSystem(std::optional<AudioSystem> asked) {
    if (asked) {
        settings::setText(kKey, QString::fromLatin1(audioSystemKey(*asked)));
        return *asked;
    }
    const std::optional<QString> kept = settings::text(kKey);
    if (!kept) return AudioSystem::Automatic;
    return parseAudioSystem(kept->toStdString()).value_or(AudioSystem::Automatic);
}

}  // namespace zendra
