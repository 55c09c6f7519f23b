#include "chartrangesdialog.h"

#include "chart.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {
// Far beyond any channel's values (distances reach 65535 mm).
constexpr int Limit = 1000000;
} // namespace

ChartRangesDialog::ChartRangesDialog(QWidget *parent, Chart *chart, const QStringList &names)
    : QDialog(parent)
    , m_chart(chart)
{
    setObjectName(QStringLiteral("chartRangesDialog"));
    setWindowTitle(tr("Chart Ranges"));
    auto *grid = new QGridLayout;
    grid->addWidget(new QLabel(tr("Min")), 0, 1);
    grid->addWidget(new QLabel(tr("Max")), 0, 2);
    for (int k = 0; k < ChannelModel::PlottedChannels; ++k) {
        const size_t i = size_t(k);
        auto *name = new QLabel(names.value(k));
        name->setTextFormat(Qt::PlainText); // a name from config.ini is text
        grid->addWidget(name, k + 1, 0);
        for (QSpinBox *&box : { std::ref(m_min[i]), std::ref(m_max[i]) }) {
            box = new QSpinBox;
            box->setRange(-Limit, Limit);
            box->setKeyboardTracking(false); // 1500 typed is not 1, 15, 150 first
            connect(box, QOverload<int>::of(&QSpinBox::valueChanged), this,
                    [this, k] { apply(k); });
        }
        grid->addWidget(m_min[i], k + 1, 1);
        grid->addWidget(m_max[i], k + 1, 2);
        m_messages[i] = new QLabel;
        m_messages[i]->setStyleSheet(QStringLiteral("color: red"));
        // Room for the message from the start: the dialog does not grow.
        m_messages[i]->setMinimumWidth(m_messages[i]->fontMetrics().horizontalAdvance(refusedText())
                                       + 2);
        grid->addWidget(m_messages[i], k + 1, 3);
    }
    auto *hint = new QLabel(tr("The curves keep to these with Fixed Ranges on (Ctrl+F)."));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    QPushButton *samples = buttons->addButton(tr("From &Samples"), QDialogButtonBox::ActionRole);
    samples->setObjectName(QStringLiteral("fromSamples"));
    connect(samples, &QPushButton::clicked, this, &ChartRangesDialog::fromSamples);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(hint);
    layout->addWidget(buttons);
}

QString ChartRangesDialog::refusedText()
{
    return tr("Max must be above Min: not applied");
}

QString ChartRangesDialog::message(int channel) const
{
    return m_messages[size_t(channel)]->text();
}

void ChartRangesDialog::showEvent(QShowEvent *event)
{
    // What the chart has now: the file's values, or the last applied.
    showLimits(m_chart->look().min, m_chart->look().max);
    QDialog::showEvent(event);
}

void ChartRangesDialog::fromSamples()
{
    ChartRanges::Limits min = m_chart->look().min;
    ChartRanges::Limits max = m_chart->look().max;
    ChartRanges::fromSamples(m_chart->shownModel(), min, max);
    showLimits(min, max);
    for (int k = 0; k < ChannelModel::PlottedChannels; ++k)
        apply(k);
}

void ChartRangesDialog::showLimits(const ChartRanges::Limits &min, const ChartRanges::Limits &max)
{
    // Both boxes of a row before either is applied: a pair set one at a time
    // could pass through a Max below the new Min.
    for (size_t k = 0; k < min.size(); ++k) {
        const QSignalBlocker blockMin(m_min[k]);
        const QSignalBlocker blockMax(m_max[k]);
        m_min[k]->setValue(min[k]);
        m_max[k]->setValue(max[k]);
        m_messages[k]->clear();
    }
}

void ChartRangesDialog::apply(int channel)
{
    const size_t k = size_t(channel);
    const int min = m_min[k]->value();
    const int max = m_max[k]->value();
    if (max <= min) {
        m_messages[k]->setText(refusedText());
        return;
    }
    m_messages[k]->clear();
    m_chart->changeLook([k, min, max](ChartLook &look) {
        look.min[k] = min;
        look.max[k] = max;
    });
}
