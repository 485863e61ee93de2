#include "platform/qt/german_qt_texts.h"

#include "platform/diagnostics.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <memory>

bool InstallGermanQtTexts(QCoreApplication& app) {
    const QLocale german(QLocale::German, QLocale::Germany);
    QLocale::setDefault(german);
    // "qt" is the catalogue of all of Qt's modules; its German one comes with Qt's
    // translations package.
    auto translator = std::make_unique<QTranslator>(&app);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(german, QStringLiteral("qt"), QStringLiteral("_"), folder)) {
        DiagnoseFormat("Quillmere: Qt's German texts (qt_de.qm) are not in %s", qPrintable(folder));
        return false;
    }
    if (!QCoreApplication::installTranslator(translator.get()))
        return false;
    translator.release(); // the application owns it from here
    return true;
}
