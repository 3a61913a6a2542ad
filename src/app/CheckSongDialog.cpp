#include "app/CheckSongDialog.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

CheckSongDialog::CheckSongDialog(QWidget* parent) : QDialog(parent), m_report(new QPlainTextEdit(this))
{
    setWindowTitle("Check song");
    m_report->setObjectName("checkReport");
    m_report->setReadOnly(true);
    m_report->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_report->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText("&Close");
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_report);
    layout->addWidget(buttons);
    resize(640, 240);
}

void CheckSongDialog::checking(const QString& path)
{
    m_path = path;
    setWindowTitle("Check song: " + QFileInfo(path).fileName());
    m_report->setPlainText("Checking " + QFileInfo(path).fileName() + "...");
}

void CheckSongDialog::report(const QString& path, const QString& text)
{
    if (path == m_path) {
        m_report->setPlainText(text);
    }
}
