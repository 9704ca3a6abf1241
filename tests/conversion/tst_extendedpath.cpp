// SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
// SPDX-License-Identifier: GPL-3.0-or-later

// The paths Tessel hands Windows' own file calls, in the form that passes
// MAX_PATH: what each kind of folder path becomes.
#include "support/testregistry.h"
#include <QTest>

#include "conversion/extendedpath.h"

class ExtendedPathTest : public QObject
{
    Q_OBJECT

private slots:
    void mapping_data();
    void mapping();
};

void ExtendedPathTest::mapping_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("extended");

    const QString deep = QStringLiteral("\\Clips").repeated(40); // 280 characters
    QTest::newRow("drive") << "C:\\Videos\\00001.MTS"
                           << "\\\\?\\C:\\Videos\\00001.MTS";
    QTest::newRow("drive, as Qt writes it") << "C:/Videos/Trip/"
                                            << "\\\\?\\C:\\Videos\\Trip";
    QTest::newRow("past MAX_PATH") << "D:" + deep << "\\\\?\\D:" + deep;
    QTest::newRow("drive root") << "C:/"
                                << "\\\\?\\C:\\";
    QTest::newRow("share") << "\\\\server\\share\\Clips"
                           << "\\\\?\\UNC\\server\\share\\Clips";
    QTest::newRow("share, as Qt writes it") << "//server/share/Clips/a.mts"
                                            << "\\\\?\\UNC\\server\\share\\Clips\\a.mts";
    QTest::newRow("share root") << "//server/share"
                                << "\\\\?\\UNC\\server\\share\\";
    // Windows would resolve these in a plain path; it takes an extended one literally.
    QTest::newRow("steps and doubled separators") << "C:\\a\\.\\b\\..\\c\\\\d"
                                                  << "\\\\?\\C:\\a\\c\\d";
    QTest::newRow("no climbing above the drive") << "C:/../../a"
                                                 << "\\\\?\\C:\\a";
    QTest::newRow("no climbing above the share") << "//server/share/../x"
                                                 << "\\\\?\\UNC\\server\\share\\x";
    QTest::newRow("already extended") << "\\\\?\\C:\\a\\..\\b"
                                      << "\\\\?\\C:\\a\\..\\b";
    QTest::newRow("a device") << "\\\\.\\pipe\\x"
                              << "\\\\.\\pipe\\x";
    QTest::newRow("relative: left to Windows") << "Videos/Trip"
                                               << "Videos\\Trip";
}

void ExtendedPathTest::mapping()
{
    QFETCH(QString, path);
    QFETCH(QString, extended);
    QCOMPARE(extendedLengthPath(path), extended);
}

TESSEL_TEST(ExtendedPathTest)
#include "tst_extendedpath.moc"
