#pragma once

#include <QLabel>

// A channel name that works as a toggle: every press, with any button,
// flips the state and reports it.
class Varlabel : public QLabel
{
    Q_OBJECT

public:
    explicit Varlabel(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~Varlabel() override;

    bool isOn() const { return m_on; }

signals:
    void clicked(bool);

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    bool m_on = false;
};
