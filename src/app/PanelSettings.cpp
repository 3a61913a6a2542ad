#include "app/PanelSettings.h"

#include "base/SettingsFile.h"

#include <QFileInfo>
#include <QSettings>

#include <algorithm>

namespace {

constexpr std::array<const char*, 3> kChartNames{"spectrum", "notes", "duty"};

// An ini file of Qt's settings store at the path the other settings files
// take: QSettings' own choice of folder is made once per process, and would
// not follow a test's fresh XDG_CONFIG_HOME.
QSettings store()
{
    return QSettings(QString::fromStdString(settingsFilePath("panel.conf")), QSettings::IniFormat);
}

}  // namespace

PanelSettings readPanelSettings()
{
    const QSettings saved = store();
    PanelSettings settings;
    settings.playlist = saved.value("playlist/files").toStringList();
    settings.selected = saved.value("playlist/selected", settings.selected).toInt();
    settings.volumePosition = std::clamp(saved.value("playback/volume", settings.volumePosition).toInt(), 0, 127);
    settings.wholePlaylist = saved.value("playback/wholePlaylist", false).toBool();
    settings.repeatPlaylist = saved.value("playback/repeatPlaylist", false).toBool();
    settings.openFolder = saved.value("dialogs/openFolder").toString();
    settings.mainGeometry = saved.value("windows/main").toByteArray();
    for (std::size_t kind = 0; kind < kChartNames.size(); ++kind) {
        const QString name = QString("windows/") + kChartNames[kind];
        settings.chartGeometry[kind] = saved.value(name).toByteArray();
        settings.chartOpen[kind] = saved.value(name + "Open", false).toBool();
    }
    return settings;
}

void writePanelSettings(const PanelSettings& settings)
{
    QSettings saved = store();
    QStringList absolute;
    for (const QString& path : settings.playlist) {
        absolute << QFileInfo(path).absoluteFilePath();
    }
    saved.setValue("playlist/files", absolute);
    saved.setValue("playlist/selected", settings.selected);
    saved.setValue("playback/volume", settings.volumePosition);
    saved.setValue("playback/wholePlaylist", settings.wholePlaylist);
    saved.setValue("playback/repeatPlaylist", settings.repeatPlaylist);
    saved.setValue("dialogs/openFolder", settings.openFolder);
    saved.setValue("windows/main", settings.mainGeometry);
    for (std::size_t kind = 0; kind < kChartNames.size(); ++kind) {
        const QString name = QString("windows/") + kChartNames[kind];
        saved.setValue(name, settings.chartGeometry[kind]);
        saved.setValue(name + "Open", settings.chartOpen[kind]);
    }
}
