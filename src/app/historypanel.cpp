#include "historypanel.h"

#include "chart.h"
#include "historywindow.h"

#include <QAction>

HistoryPanel::HistoryPanel(QWidget *window, Chart *chart)
    : QObject(window)
    , m_window(window)
    , m_chart(chart)
    , m_intake(&m_store)
{
    auto *separator = new QAction(window);
    separator->setSeparator(true);
    auto *action = new QAction(tr("&History…"), window);
    action->setObjectName(QStringLiteral("actionHistory"));
    action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    action->setShortcutContext(Qt::WindowShortcut);
    chart->addActions({ separator, action });
    connect(action, &QAction::triggered, this, [this] { show(); });
}

HistoryPanel::~HistoryPanel()
{
    // Before the store it shows goes.
    delete m_history;
}

HistoryWindow *HistoryPanel::show(const QString &recording)
{
    if (!m_history) {
        m_history = new HistoryWindow(&m_intake, m_window);
        // Closing the main window ends the program, this one open or not.
        m_history->setAttribute(Qt::WA_QuitOnClose, false);
        m_history->setLook(m_chart->look());
    }
    m_history->show();
    m_history->raise();
    m_history->activateWindow();
    if (!recording.isEmpty())
        m_history->openRecording(recording);
    return m_history;
}
