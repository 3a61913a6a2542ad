#include "app/AboutDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName("aboutDialog");
    setWindowTitle("About...");

    auto* text = new QLabel("Quillarc Control Panel", this);
    text->setObjectName("aboutText");
    text->setAlignment(Qt::AlignCenter);
    auto* version = new QLabel(QString("Version ") + QUILLARC_VERSION, this);
    version->setObjectName("aboutVersion");
    version->setAlignment(Qt::AlignCenter);
    auto* okButton = new QPushButton("OK", this);
    okButton->setObjectName("okButton");
    okButton->setDefault(true);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(version);
    layout->addLayout(buttons);
}
