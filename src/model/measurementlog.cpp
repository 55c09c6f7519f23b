#include "measurementlog.h"

#include "csvrecorder.h"

#include <QLocale>

#include <cmath>

bool MeasurementLog::readReference(const QString &text, bool *has, double *mm, QString *message)
{
    const QString t = text.trimmed();
    if (t.isEmpty()) {
        *has = false;
        return true;
    }
    bool ok = false;
    const double value = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(value) || value < 0) {
        *message = tr("The reference \"%1\" is not a distance: type it in mm, such as 1500, "
                      "or leave it empty.")
                       .arg(t);
        return false;
    }
    *has = true;
    *mm = value;
    return true;
}

bool MeasurementLog::readFrames(const QString &text, int *frames, QString *message)
{
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok);
    if (!ok || value < 1 || value > PointAverager::MostFrames) {
        *message = tr("Frames per point must be a whole number from 1 to %1, not \"%2\".")
                       .arg(PointAverager::MostFrames)
                       .arg(text.trimmed());
        return false;
    }
    *frames = int(value);
    return true;
}

void MeasurementLog::append(const Row &row)
{
    beginInsertRows(QModelIndex(), m_rows.size(), m_rows.size());
    m_rows.append(row);
    endInsertRows();
}

void MeasurementLog::clear()
{
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

QString MeasurementLog::cell(int row, int column) const
{
    const Row &r = m_rows.at(row);
    const PointAverager::Point &p = r.point;
    auto mm = [](double v) {
        return QString::number(v, 'f', 3);
    };
    switch (column) {
    case Time:
        return r.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case Reference:
        return r.hasReference ? QString::number(r.reference, 'g', 12) : QString();
    case Frames:
        return QString::number(p.frames);
    case Mean:
        return mm(p.mean);
    case StdDev:
        return mm(p.stdDev);
    case Noise:
        return mm(p.noise);
    case Min:
        return QString::number(p.min, 'f', 0);
    case Max:
        return QString::number(p.max, 'f', 0);
    case MeanEnergy:
        return QString::number(p.meanEnergy, 'f', 2);
    case MeanAmbient:
        return QString::number(p.meanAmbient, 'f', 2);
    case Error:
        return r.hasReference ? mm(p.mean - r.reference) : QString();
    default:
        return QString();
    }
}

QStringList MeasurementLog::header() const
{
    return { tr("time"),   tr("reference_mm"), tr("frames"),  tr("mean_mm"),
             tr("std_mm"), tr("noise_mm"),     tr("min_mm"),  tr("max_mm"),
             tr("energy"), tr("ambient"),      tr("error_mm") };
}

QString MeasurementLog::tabSeparated() const
{
    QString text = header().join(QLatin1Char('\t')) + QLatin1Char('\n');
    for (int r = 0; r < m_rows.size(); ++r) {
        QStringList cells;
        for (int c = 0; c < ColumnCount; ++c)
            cells.append(cell(r, c));
        text += cells.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return text;
}

QByteArray MeasurementLog::csv() const
{
    QByteArray out = Csv::row(header());
    for (int r = 0; r < m_rows.size(); ++r) {
        QStringList cells;
        for (int c = 0; c < ColumnCount; ++c)
            cells.append(cell(r, c));
        out += Csv::row(cells);
    }
    return out;
}

QVector<QPointF> MeasurementLog::errorPoints() const
{
    QVector<QPointF> points;
    for (const Row &r : m_rows)
        if (r.hasReference)
            points.append({ r.reference, r.point.mean - r.reference });
    return points;
}

int MeasurementLog::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

int MeasurementLog::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant MeasurementLog::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return QVariant();
    // The day is in the copy and the file; on screen the room goes to the figures.
    if (role == Qt::DisplayRole && index.column() == Time)
        return m_rows.at(index.row()).time.toString(QStringLiteral("HH:mm:ss"));
    if (role == Qt::DisplayRole || (role == Qt::ToolTipRole && index.column() == Time))
        return cell(index.row(), index.column());
    if (role == Qt::TextAlignmentRole && index.column() != Time)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return QVariant();
}

QVariant MeasurementLog::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Vertical)
        return section + 1;
    return header().value(section);
}
