#pragma once

#include "config/ValueRules.h"

#include <QString>

#include <cmath>

namespace ui {

// The number a dialog reads from a text box: the leading number of the text,
// 0 when it does not start with one ("15 s" reads 15). Kept as a double so
// that a huge typed value is compared as it is instead of wrapping.
inline double boxNumber(const QString& text) {
    const double v = config::leadingNumber(text);
    return std::isnan(v) ? 0.0 : v;
}

// To a whole number, a half going to the even neighbour (the default
// rounding mode).
inline double roundEven(double v) {
    return std::nearbyint(v);
}

// The box's text for a whole number within the dialogs' ranges.
inline QString boxText(double n) {
    return QString::number(qint64(n));
}

} // namespace ui
