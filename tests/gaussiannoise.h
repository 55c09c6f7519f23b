#pragma once

#include <QVector>
#include <QtGlobal>

#include <cmath>

// Whole-millimetre distances around 2000 mm with Gaussian noise of 3 mm, the
// same for every run: a 64-bit LCG (Knuth's MMIX constants) from seed 47 and
// the Box-Muller transform, rounded half up. The figures the tests expect of
// them were computed apart from this program, in Python, from the same
// generator written there.
inline QVector<quint32> gaussianDistances(int count)
{
    quint64 state = 47;
    auto uniform = [&state] {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return (double(state >> 11) + 0.5) / 9007199254740992.0; // 2^53
    };
    const double twoPi = 2.0 * 3.14159265358979323846;
    QVector<quint32> values;
    while (values.size() < count) {
        const double u1 = uniform();
        const double u2 = uniform();
        const double r = std::sqrt(-2.0 * std::log(u1));
        values.append(quint32(2000 + std::floor(3.0 * r * std::cos(twoPi * u2) + 0.5)));
        values.append(quint32(2000 + std::floor(3.0 * r * std::sin(twoPi * u2) + 0.5)));
    }
    values.resize(count);
    return values;
}
