// The shared library exports the KV_ functions and nothing else.

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

namespace {

QStringList DefinedDynamicSymbols(const QString &library)
{
    QProcess nm;
    nm.start("nm", { "-D", "--defined-only", library });
    EXPECT_TRUE(nm.waitForFinished(30000));
    EXPECT_EQ(nm.exitCode(), 0) << nm.readAllStandardError().toStdString();
    QStringList names;
    for (const QString &line : QString::fromUtf8(nm.readAllStandardOutput()).split('\n')) {
        const QStringList parts = line.split(' ', Qt::SkipEmptyParts);
        if (parts.size() == 3)
            names << parts[2];
    }
    return names;
}

// The functions the public header declares: every "KV_EXPORT <type> KV_Name(".
QStringList DeclaredFunctions(const QString &header)
{
    QFile file(header);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << header.toStdString();
    const QString text = QString::fromUtf8(file.readAll());
    static const QRegularExpression declaration(R"(KV_EXPORT\s+[^;(]*?\b(KV_\w+)\s*\()");
    QStringList names;
    for (auto match = declaration.globalMatch(text); match.hasNext();)
        names << match.next().captured(1);
    return names;
}

TEST(ExportedSymbols, AreExactlyTheFunctionsOfTheHeader)
{
    QStringList exported = DefinedDynamicSymbols(KV_LIB_DIR "/libKestrovaAlerts.so");
    QStringList declared = DeclaredFunctions(KV_SOURCE_DIR "/include/kestrova/KestrovaAlerts.h");
    exported.sort();
    declared.sort();
    EXPECT_GE(declared.size(), 23);
    EXPECT_EQ(declared.removeDuplicates(), 0);
    EXPECT_EQ(exported.join(' ').toStdString(), declared.join(' ').toStdString());
    for (const char *name : { "KV_ProcessMessages", "KV_SetVendorID", "KV_ReadListOfLists" })
        EXPECT_TRUE(declared.contains(name)) << name;
}

} // namespace
