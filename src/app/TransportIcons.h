#pragma once

#include <QColor>
#include <QIcon>

// The signs on the transport buttons and the playlist's playing row, drawn
// here rather than asked of the style: the style's own look them up in the
// desktop's icon theme and read image files, loading every image format
// plugin on the way (5 ms of CPU and 200 page faults of each start, measured
// on a two-core machine).
enum class TransportSign { Play, Pause, Stop, Restart, Previous, Next };

// The sign in `color` at 24 and 48 pixels; Qt derives the disabled look.
QIcon transportIcon(TransportSign sign, const QColor& color);
