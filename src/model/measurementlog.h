#pragma once

#include "pointaverager.h"

#include <QAbstractTableModel>
#include <QByteArray>
#include <QDateTime>
#include <QPointF>
#include <QString>
#include <QVector>

// The rows of the measurement log: each point averaged, with the reference
// distance typed for it and the error, mean less reference. A table model,
// so a view shows it; copied as tab-separated text, saved as CSV.
class MeasurementLog : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column {
        Time,
        Reference,
        Frames,
        Mean,
        StdDev,
        Noise,
        Min,
        Max,
        MeanEnergy,
        MeanAmbient,
        Error,
        ColumnCount
    };

    struct Row
    {
        QDateTime time;
        bool hasReference = false;
        double reference = 0; // mm
        PointAverager::Point point;
    };

    // A reference as typed: empty is none; otherwise a distance of 0 mm or
    // more. False, with the reason in *message, for anything else.
    static bool readReference(const QString &text, bool *has, double *mm, QString *message);
    // Frames per point: a whole number, 1 to PointAverager::MostFrames.
    static bool readFrames(const QString &text, int *frames, QString *message);

    explicit MeasurementLog(QObject *parent = nullptr)
        : QAbstractTableModel(parent)
    { }

    void append(const Row &row);
    void clear();
    const QVector<Row> &rows() const { return m_rows; }

    // The cell as shown, copied and saved; empty for no reference.
    QString cell(int row, int column) const;
    // A header line, then one line per row.
    QString tabSeparated() const;
    QByteArray csv() const;
    // Error against reference, of the rows with a reference.
    QVector<QPointF> errorPoints() const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QStringList header() const;

    QVector<Row> m_rows;
};
