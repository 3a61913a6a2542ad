#pragma once

#include <QDialog>

class QPlainTextEdit;

// Tools, "Check song...": the check report of one song, shown as soon as it
// has been worked out ("Checking NAME..." until then). Escape or Close ends it.
class CheckSongDialog : public QDialog {
    Q_OBJECT

public:
    explicit CheckSongDialog(QWidget* parent = nullptr);

    // A check of `path` has begun.
    void checking(const QString& path);
    // Its report, when `path` is the song it waits for.
    void report(const QString& path, const QString& text);

private:
    QPlainTextEdit* m_report;
    QString m_path;
};
