#include "app/ChannelBoxes.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>

namespace {

QString channelText(int channel, const std::optional<SongChannel>& song)
{
    QString text = channel < 10 ? QString("&%1").arg(channel) : QString("1&%1").arg(channel - 10);
    if (song) {
        text += QString("  %1 notes").arg(song->notes);
        if (!song->track.empty()) {
            text += ", " + QString::fromStdString(song->track).replace('&', "&&");
        }
    }
    return text;
}

}  // namespace

std::array<QCheckBox*, 16> makeChannelBoxes(QGroupBox* group)
{
    std::array<QCheckBox*, 16> boxes{};
    auto* grid = new QGridLayout(group);
    for (int channel = 0; channel < 16; ++channel) {
        auto* box = new QCheckBox(group);
        box->setObjectName(QString("channelBox%1").arg(channel));
        grid->addWidget(box, channel % 8, channel / 8);
        boxes[static_cast<std::size_t>(channel)] = box;
    }
    return boxes;
}

void labelChannelBoxes(const std::array<QCheckBox*, 16>& boxes,
                       const std::optional<std::array<SongChannel, 16>>& channels)
{
    for (int channel = 0; channel < 16; ++channel) {
        QCheckBox* box = boxes[static_cast<std::size_t>(channel)];
        std::optional<SongChannel> song;
        if (channels) {
            song = (*channels)[static_cast<std::size_t>(channel)];
        }
        box->setText(channelText(channel, song));
        // Greyed, not disabled: a channel silent in this song may carry
        // another's tune.
        QPalette palette = QApplication::palette(box);
        if (song && song->notes == 0) {
            for (const auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text}) {
                palette.setColor(role, palette.color(QPalette::Disabled, role));
            }
        }
        box->setPalette(palette);
    }
}
