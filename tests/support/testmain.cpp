// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/privatebuses.h"
#include "support/testregistry.h"

#include <QApplication>
#include <QTest>

#include <cstdio>

// `tessel_tests <test> [Qt Test options]`: runs one registered test as its own
// QTEST_MAIN would.
int main(int argc, char **argv)
{
    const QString name = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const TestRegistry::Factory factory = TestRegistry::tests().value(name);
    if (!factory) {
        std::fprintf(stderr, "usage: %s <test> [Qt Test options]; tests:\n", argv[0]);
        for (const QString &known : TestRegistry::tests().keys())
            std::fprintf(stderr, "  %s\n", qPrintable(known));
        return 2;
    }
    // Qt Test sees the program name followed by its own options.
    argv[1] = argv[0];
    --argc;
    ++argv;
    pointBusesAtNothing();
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    const std::unique_ptr<QObject> test = factory();
    return QTest::qExec(test.get(), argc, argv);
}
