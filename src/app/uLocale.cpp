#include "app/uLocale.h"

#include "forms/uCtl.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace {
// Words Qt's own Chinese catalogue lacks: the file dialog's type column names a folder through a
// context added after the catalogue was last translated.
class TMissingWords final : public QTranslator {
public:
    using QTranslator::QTranslator;

    QString translate(const char* context, const char* sourceText, const char* /*disambiguation*/,
                      int /*n*/) const override {
        if (qstrcmp(context, "QAbstractFileIconProvider") != 0) return {};
        static const struct {
            const char* source;
            const char* chinese;
        } words[] = {{"Folder", "文件夹"}, {"Drive", "驱动器"}, {"Alias", "替身"}, {"Shortcut", "快捷方式"},
                     {"File", "文件"}};
        for (const auto& w : words)
            if (qstrcmp(sourceText, w.source) == 0) return QString::fromUtf8(w.chinese);
        return {};
    }

    bool isEmpty() const override { return false; }
};
}  // namespace

bool InstallChineseInterface(QApplication& app) {
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    QLocale::setDefault(chinese);
    // Message boxes and menus follow the application font: Simplified Chinese glyphs throughout.
    QApplication::setFont(QFont(kSansFamily, 9));
    auto* translator = new QTranslator(&app);
    if (!translator->load(chinese, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    // Installed first, so it is asked last: Qt's catalogue answers whatever it knows.
    QApplication::installTranslator(new TMissingWords(&app));
    return QApplication::installTranslator(translator);
}
