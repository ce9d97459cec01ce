#pragma once
// The short date form the window shows its date in.

#include <QString>

namespace tarvik::gui {

// `dateFormat` (a QDate format) with a two-letter year ("yy" with no other
// "y" beside it) made four letters. Scanned by hand: compiling a regular
// expression for this costs a noticeable share of the window's start-up.
inline QString withFullYear(const QString& dateFormat)
{
    QString full;
    full.reserve(dateFormat.size() + 2);
    for (qsizetype i = 0; i < dateFormat.size();) {
        qsizetype run = 0;
        while (i + run < dateFormat.size() && dateFormat[i + run] == u'y')
            ++run;
        if (run == 0) {
            full += dateFormat[i++];
            continue;
        }
        full += QString(run == 2 ? 4 : run, u'y');
        i += run;
    }
    return full;
}

} // namespace tarvik::gui
