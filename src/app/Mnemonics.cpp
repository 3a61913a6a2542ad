#include "app/Mnemonics.h"

#include <QAction>
#include <QList>
#include <QMenu>
#include <QMenuBar>

namespace {

void giveMnemonicsTo(const QList<QAction*>& actions)
{
    QSet<QChar> taken;
    for (const QAction* action : actions) {
        const qsizetype at = action->text().indexOf('&');
        if (at >= 0 && at + 1 < action->text().size()) {
            taken.insert(action->text()[at + 1].toLower());
        }
    }
    for (QAction* action : actions) {
        if (!action->isSeparator() && !action->text().contains('&')) {
            action->setText(withMnemonic(action->text(), taken));
        }
    }
}

}  // namespace

QString withMnemonic(const QString& text, QSet<QChar>& taken)
{
    for (const bool initialsOnly : {true, false}) {
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar letter = text[i].toLower();
            const bool initial = i == 0 || text[i - 1] == ' ';
            if (text[i].isLetter() && (initial || !initialsOnly) && !taken.contains(letter)) {
                taken.insert(letter);
                return QString(text).insert(i, '&');
            }
        }
    }
    return text;
}

void giveMnemonics(QMenuBar* bar)
{
    giveMnemonicsTo(bar->actions());
    for (QAction* top : bar->actions()) {
        if (QMenu* menu = top->menu()) {
            giveMnemonicsTo(menu->actions());
        }
    }
}
