// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QFileInfo>
#include <QMap>
#include <QObject>
#include <QString>

#include <memory>

// The tests of one executable, each known by its source file's base name
// ("tst_conversionrun"): CTest runs `tessel_tests tst_conversionrun`. One
// executable for many tests saves a link and a moc pass per test.
class TestRegistry
{
public:
    using Factory = std::unique_ptr<QObject> (*)();

    static QMap<QString, Factory> &tests()
    {
        static QMap<QString, Factory> registered;
        return registered;
    }

    struct Entry
    {
        Entry(const char *sourceFile, Factory factory)
        {
            tests().insert(QFileInfo(QString::fromUtf8(sourceFile)).completeBaseName(), factory);
        }
    };
};

// In place of QTEST_MAIN at the end of a test's source file.
#define TESSEL_TEST(TestClass)                                                                     \
    static const TestRegistry::Entry tesselTestEntry(                                              \
        __FILE__, []() -> std::unique_ptr<QObject> { return std::make_unique<TestClass>(); });
