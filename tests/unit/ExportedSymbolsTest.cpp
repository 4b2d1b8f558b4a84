// The shared library exports the KV_ functions and nothing else.

#include <QProcess>
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

TEST(ExportedSymbols, OnlyKvFunctionsAreVisible)
{
    const QStringList names = DefinedDynamicSymbols(KV_LIB_DIR "/libKestrovaAlerts.so");
    for (const QString &name : names)
        EXPECT_TRUE(name.startsWith("KV_")) << "unexpected exported symbol " << name.toStdString();
}

} // namespace
