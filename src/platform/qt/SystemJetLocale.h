#pragma once

#include <QLocale>

#include "engine/functions/JetLocale.h"

namespace corv {

// The separators, names and date patterns of a Qt locale in the engine's terms.
JetLocale JetLocaleOf(const QLocale& locale);

}  // namespace corv
