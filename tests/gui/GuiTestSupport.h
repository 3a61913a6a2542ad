#pragma once

#include "app/AppContext.h"
#include "app/MainWindow.h"
#include "midiout/Controller.h"
#include "midiout/MidiOutPort.h"
#include "midiout/VirtualMidiService.h"
#include "support/ConfigFolder.h"
#include "support/SmfBuilder.h"

#include <QDir>
#include <QFile>
#include <QStatusBar>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using Message = std::array<std::uint8_t, 3>;
using Messages = std::vector<Message>;

inline Message noteOn(int key, int velocity)
{
    return {0x90, static_cast<std::uint8_t>(key), static_cast<std::uint8_t>(velocity)};
}
inline Message controlChange(int controller, int value)
{
    return {0xB0, static_cast<std::uint8_t>(controller), static_cast<std::uint8_t>(value)};
}
inline const Message kAllSoundOff = controlChange(120, 0);
inline const Message kAllNotesOff = controlChange(123, 0);

inline int countOf(const Messages& messages, const Message& message)
{
    return static_cast<int>(std::count(messages.begin(), messages.end(), message));
}

// `count` devices named "Synth N" with the controller at `controllerIndex`
// (none when negative).
inline std::vector<std::string> devicesWithController(int count, int controllerIndex)
{
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        names.push_back(i == controllerIndex ? kControllerName : "Synth " + std::to_string(i));
    }
    return names;
}

// A song of `seconds` on `channel`: one short note every 250 ms. Ticks are
// milliseconds (500 per quarter at the default 120 beats per minute).
inline std::vector<std::uint8_t> steadySong(int seconds, int channel = 0)
{
    SmfBuilder song(0, 500);
    song.track();
    std::uint32_t gap = 0;
    for (int i = 0; i < seconds * 4; ++i) {
        const int key = 50 + i % 20;
        song.noteOn(gap, channel, key, 100).noteOff(100, channel, key);
        gap = 150;
    }
    return song.end().bytes();
}

// One control panel on in-memory devices: the service, the context built on
// it, and the main window, torn down in reverse order so that the next test
// can install a service of its own.
class Panel {
public:
    // `limitsFile` and `rigFile`, when given, are the coil limits file and
    // the rig file the panel finds at start.
    explicit Panel(std::vector<std::string> deviceNames, const std::optional<std::string>& limitsFile = {},
                   const std::optional<std::string>& rigFile = {})
        : service(std::make_shared<VirtualMidiService>(std::move(deviceNames)))
    {
        if (limitsFile) {
            config.writeLimits(*limitsFile);
        }
        if (rigFile) {
            std::filesystem::create_directories(config.dir() + "/quillarc");
            std::ofstream(config.dir() + "/quillarc/rig.conf") << *rigFile;
        }
        installed = MidiOutPort::installService(service);
        context = std::make_unique<AppContext>();
        window = std::make_unique<MainWindow>(*context);
        window->show();
    }
    ~Panel()
    {
        window.reset();
        context.reset();
    }

    AppState& state() { return context->state; }
    QString status() const { return window->statusBar()->currentMessage(); }
    Messages messages(int device) const { return service->messages(device); }

    template <typename T>
    T* find(const char* name) const
    {
        return window->findChild<T*>(name);
    }

    // The file dialogs answer with these paths (the playlist's loading and
    // saving both with `playlistPath`).
    void answerDialogs(const QStringList& openPaths, const QString& addPath = {}, const QString& curvePath = {},
                       const QString& playlistPath = {})
    {
        const auto playlist = [playlistPath](QWidget*) { return playlistPath; };
        window->setFileDialogs({[openPaths](QWidget*) { return openPaths; }, [addPath](QWidget*) { return addPath; },
                                [curvePath](QWidget*) { return curvePath; }, playlist, playlist});
    }

    // Before the context, which reads the limits file from it.
    ConfigFolder config;
    std::shared_ptr<VirtualMidiService> service;
    bool installed = false;
    std::unique_ptr<AppContext> context;
    std::unique_ptr<MainWindow> window;
};

// Writes `bytes` as `name` in `dir` and returns the path.
inline QString writeFile(const QTemporaryDir& dir, const QString& name, const std::vector<std::uint8_t>& bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    }
    return path;
}

inline QString writeText(const QTemporaryDir& dir, const QString& name, const QByteArray& text)
{
    return writeFile(dir, name, std::vector<std::uint8_t>(text.begin(), text.end()));
}
