#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>

// What the panel remembers from one run to the next, and nothing else: the
// velocity curve, the channel, the shift and the coil limits live in their
// own files. Kept with Qt's settings store in `panel.conf` beside those
// files ($XDG_CONFIG_HOME/quillarc/, as settingsFilePath finds them), so that
// a fresh configuration folder starts a fresh panel.
struct PanelSettings {
    // Absolute paths, in the playlist's order, also of files that have gone.
    QStringList playlist;
    int selected = 0;
    // The volume slider's position (0, the top, is loudest).
    int volumePosition = 96;
    bool wholePlaylist = false;
    bool repeatPlaylist = false;
    // Where the Open dialog opens.
    QString openFolder;
    // QWidget::saveGeometry of the main window and of each analysis window
    // (by ChartKind); empty for none.
    QByteArray mainGeometry;
    std::array<QByteArray, 3> chartGeometry;
    // Which analysis windows were open, by ChartKind.
    std::array<bool, 3> chartOpen{};
};

// The settings saved last; the defaults above when none were.
PanelSettings readPanelSettings();
// Saves `settings`, the playlist's paths made absolute, for the next start.
void writePanelSettings(const PanelSettings& settings);
