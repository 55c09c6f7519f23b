#pragma once

#include <QString>
#include <QWidget>

namespace Ui {
class AboutQT;
}
using AboutQTUi = Ui::AboutQT;

// Says which version of Qt the program runs on and how Qt is licensed.
class AboutQT : public QWidget
{
    Q_OBJECT

public:
    explicit AboutQT(QWidget *parent = nullptr);
    ~AboutQT() override;

    // The text shown, for the Qt version the program is running on.
    static QString aboutText();

private:
    AboutQTUi *ui;
};
