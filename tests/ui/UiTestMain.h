#pragma once

#include "TApplication.h"

#include <QTest>

// Like QTEST_MAIN, with the program's own application object, so that an error raised in a
// handler is reported as the program reports it.
#define KESTRUN_UI_TEST_MAIN(TestClass)                                                            \
    int main(int argc, char **argv)                                                                \
    {                                                                                              \
        TApplication app(argc, argv);                                                              \
        QApplication::setApplicationName(QStringLiteral("Kestrun"));                               \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        TestClass tc;                                                                              \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
