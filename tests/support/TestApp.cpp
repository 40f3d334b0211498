#include <QApplication>
#include <QLocale>

#include "support/AuctionDatabase.h"

namespace corv::test {

QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "corvidel_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM",
                qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
        auto* a = new QApplication(argc, argv);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        return a;
    }();
    return *app;
}

}  // namespace corv::test
