// Build-time generator: reads the version description and writes the
// embedded block source and the Windows resource script from it.
//
// quorvel_versiongen <description> <block.cpp> <resource.rc> <icon> <manifest>

#include "VersionScripts.h"
#include "VersionSerializer.h"

#include <QFile>
#include <QSaveFile>
#include <QTextStream>

#include <cstdio>
#include <stdexcept>

namespace {

int fail(const QString& message)
{
    std::fprintf(stderr, "quorvel_versiongen: %s\n", qPrintable(message));
    return 1;
}

bool writeText(const QString& path, const QString& text)
{
    // QSaveFile leaves the old file in place if writing fails half-way.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(text.toUtf8());
    return file.commit();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 6)
        return fail(
            QStringLiteral("usage: quorvel_versiongen <description> <block.cpp> <resource.rc> <icon> <manifest>"));
    const QString descriptionPath = QString::fromLocal8Bit(argv[1]);
    const QString cppPath = QString::fromLocal8Bit(argv[2]);
    const QString rcPath = QString::fromLocal8Bit(argv[3]);
    const QString iconPath = QString::fromLocal8Bit(argv[4]);
    const QString manifestPath = QString::fromLocal8Bit(argv[5]);

    QFile input(descriptionPath);
    if (!input.open(QIODevice::ReadOnly | QIODevice::Text))
        return fail(QStringLiteral("cannot read %1: %2").arg(descriptionPath, input.errorString()));
    QString error;
    const auto description = ParseVersionDescription(QString::fromUtf8(input.readAll()), &error);
    if (!description)
        return fail(QStringLiteral("%1: %2").arg(descriptionPath, error));

    QByteArray block;
    try {
        block = SerializeVersionInfo(*description);
    } catch (const std::length_error& e) {
        return fail(QString::fromStdString(e.what()));
    }

    const auto script = MakeResourceScript(*description, iconPath, manifestPath, &error);
    if (!script)
        return fail(QStringLiteral("%1: %2").arg(descriptionPath, error));

    if (!writeText(cppPath, MakeEmbeddedBlockSource(block)))
        return fail(QStringLiteral("cannot write %1").arg(cppPath));
    if (!writeText(rcPath, *script))
        return fail(QStringLiteral("cannot write %1").arg(rcPath));
    return 0;
}
