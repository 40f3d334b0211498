#include "shell/ShellText.h"

#include <cmath>
#include <limits>

namespace corv::shell {

QString VersionText(int major, int minor, int patch) {
    return QStringLiteral("Version %1.%2.%3").arg(major).arg(minor).arg(patch);
}

QString VersionText() {
    return VersionText(CORVIDEL_VERSION_MAJOR, CORVIDEL_VERSION_MINOR, CORVIDEL_VERSION_PATCH);
}

QString WholeNumberText(const Value& value) {
    if (value.isInteger()) return QString::number(value.asInteger());
    double d = 0;
    bool number = false;
    if (value.isReal()) {
        d = value.asDouble();
        number = true;
    } else if (value.isText()) {
        bool ok = false;
        d = QString::fromStdString(value.text()).trimmed().toDouble(&ok);
        number = ok;
    }
    // Only whole numbers in the range of a 64-bit integer lose their decimal point.
    if (number && std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 9.0e18)
        return QString::number(static_cast<qint64>(d));
    return QString::fromStdString(value.toString());
}

int TwipsSetting(const std::string& stored, int defaultTwips) {
    bool ok = false;
    const qlonglong v = QString::fromStdString(stored).trimmed().toLongLong(&ok);
    // A value outside what a window can be is as unusable as no value at all.
    if (!ok || v < -10'000'000 || v > 10'000'000) return defaultTwips;
    return static_cast<int>(v);
}

}  // namespace corv::shell
