#include "core/command_line.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QStringList>
#include <cstdio>

namespace zendra {

namespace {
void print(FILE* to, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), to);
    std::fflush(to);
}

// Qt's own options, which QApplication takes out of the arguments later.
void acceptQtOptions(QCommandLineParser& parser) {
    for (const char* name : {"platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
                             "qwindowicon", "qwindowtitle", "display", "geometry", "style", "stylesheet", "session"}) {
        QCommandLineOption o(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        o.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(o);
    }
    for (const char* name : {"reverse", "nograb", "dograb", "sync", "widgetcount"}) {
        QCommandLineOption o(QString::fromLatin1(name));
        o.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(o);
    }
}
}  // namespace

CommandLine parseCommandLine(int argc, char** argv) {
    QStringList args;
    for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Zendra: play WAV samples live from the keyboard."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Displays this help."));
    parser.addOption(help);
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Displays version information."));
    parser.addOption(version);
    const QCommandLineOption audio(
        QStringLiteral("audio"),
        QStringLiteral("The sound system to play through: pipewire, jack or sdl (PulseAudio, then ALSA); auto "
                       "chooses PipeWire when its server answers, else SDL. Remembered for later runs."),
        QStringLiteral("system"));
    parser.addOption(audio);
    const QCommandLineOption fresh(
        QStringLiteral("fresh"),
        QStringLiteral("Starts once without the kept set-up (no last session, remembered devices, folders, MIDI "
                       "input or sound system) and keeps nothing of this run."));
    parser.addOption(fresh);
    parser.addPositionalArgument(
        QStringLiteral("files"),
        QStringLiteral("Sound files, or folders of them, to load into the Sample Dock in their order (at most "
                       "sixteen); or one kit (.zkit) to open, or one Hydrogen drum kit (drumkit.xml, .h2drumkit or its "
                       "folder) to import."),
        QStringLiteral("[file...]"));
    acceptQtOptions(parser);

    CommandLine result;
    const QString program = QStringLiteral("zendra");
    if (!parser.parse(args)) {
        print(stderr, program + ": " + parser.errorText() + "\nTry 'zendra --help' for more information.\n");
        result.exitCode = 2;
        return result;
    }
    if (parser.isSet(help)) {
        // Qt names the program after the running binary, or not at all before QApplication exists.
        const QString text = parser.helpText();
        print(stdout, "Usage: " + program + " [options] [file...]" + text.mid(text.indexOf('\n')));
        result.exitCode = 0;
        return result;
    }
    if (parser.isSet(version)) {
        print(stdout, program + " " + QStringLiteral(ZENDRA_VERSION) + "\n");
        result.exitCode = 0;
        return result;
    }
    if (parser.isSet(audio)) {
        result.audio = parseAudioSystem(parser.value(audio).toStdString());
        if (!result.audio) {
            print(stderr, program + ": unknown sound system '" + parser.value(audio) +
                              "' for --audio: use pipewire, jack, sdl or auto.\nTry 'zendra --help' for more "
                              "information.\n");
            result.exitCode = 2;
            return result;
        }
    }
    result.fresh = parser.isSet(fresh);
    for (const QString& f : parser.positionalArguments()) result.files << QFileInfo(f).absoluteFilePath();
    return result;
}

}  // namespace zendra
