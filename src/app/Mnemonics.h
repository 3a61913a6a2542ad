#pragma once

#include <QChar>
#include <QSet>
#include <QString>

class QMenuBar;

// `text` with a mnemonic: before the first letter of a word that no other
// entry of its menu has taken (`taken`, which it joins), else before any such
// letter; unchanged when no letter is free.
QString withMnemonic(const QString& text, QSet<QChar>& taken);

// Gives each menu of `bar`, and each entry of each menu, that has no mnemonic
// one of its own among its neighbours; mnemonics already given are kept.
void giveMnemonics(QMenuBar* bar);
