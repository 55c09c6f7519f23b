#pragma once

#include "historyintake.h"
#include "historystore.h"

#include <QObject>
#include <QPointer>
#include <QString>

class Chart;
class HistoryWindow;
class QAction;
class QWidget;

// The History window's place in the main window: the store of every frame
// since start-up (the feed's listener is intake()), and the action History…
// (Ctrl+H, anywhere in the window and in the chart's context menu) that
// shows the window, made on first use with the chart's colours and shown
// channels.
class HistoryPanel : public QObject
{
    Q_OBJECT

public:
    HistoryPanel(QWidget *window, Chart *chart);
    ~HistoryPanel() override;

    HistoryIntake &intake() { return m_intake; }
    // Shows the window, and loads `recording` into it when one is named.
    HistoryWindow *show(const QString &recording = QString());

private:
    QWidget *m_window;
    Chart *m_chart;
    HistoryStore m_store;
    HistoryIntake m_intake;
    QPointer<HistoryWindow> m_history;
};
