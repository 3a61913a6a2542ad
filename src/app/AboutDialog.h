#pragma once

#include <QDialog>

// "About...": the program's name, its version and OK; Escape closes it as the close box does.
class AboutDialog : public QDialog {
    Q_OBJECT

public:
    explicit AboutDialog(QWidget* parent = nullptr);
};
