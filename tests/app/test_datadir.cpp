#include "app/uDataDir.h"

#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(DataDir, ABuildTreeKeepsItsDataBesideTheProgramAndAnInstalledOneInTheSharedFolder) {
    QTemporaryDir etc;
    const QString named = etc.filePath("Movelkar.ini");
    QSettings(named, QSettings::IniFormat).setValue("paths/DataDir", "/srv/grain");
    const QString empty = etc.filePath("empty.ini");
    QSettings(empty, QSettings::IniFormat).setValue("paths/Other", "x");
    const QString relative = etc.filePath("relative.ini");
    QSettings(relative, QSettings::IniFormat).setValue("paths/DataDir", "grain");

    struct TCase {
        QString exeDir, ini, dir;
        bool shared;
    };
    const TCase cases[] = {
        {"/home/li/movelkar/build/src", named, "/home/li/movelkar/build/src/", false},  // the ini is not read
        {"/usr/bin", etc.filePath("missing.ini"), "/var/lib/movelkar/", true},
        {"/usr/bin/", named, "/srv/grain/", true},
        {"/usr/local/bin", empty, "/var/lib/movelkar/", true},
        {"/usr/bin", relative, "/var/lib/movelkar/", true},  // a relative folder would follow the current one
    };
    for (const TCase& c : cases) {
        const TDataDir d = ChooseDataDir(c.exeDir, c.ini);
        EXPECT_EQ(d.Dir, c.dir) << qPrintable(c.exeDir + " " + c.ini);
        EXPECT_EQ(d.Shared, c.shared) << qPrintable(c.exeDir);
    }
}
