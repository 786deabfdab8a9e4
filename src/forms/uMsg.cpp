#include "forms/uMsg.h"

#include "data/uDM.h"
#include "data/uDbText.h"
#include "forms/uCtl.h"

#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>

namespace {
// The file list's dates in the interface's language: Qt writes them in the system's locale,
// which on a station set up in English reads "8 Dec 2026".
class TLocalDates final : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex& index, int role) const override {
        if (role == Qt::DisplayRole && index.column() == 3)
            if (const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel()))
                return QLocale().toString(files->lastModified(mapToSource(index)), QStringLiteral("yyyy-MM-dd HH:mm"));
        return QIdentityProxyModel::data(index, role);
    }
};

// Qt's own file dialog, so every word in it comes from the Chinese translations.
void MakeChinese(QFileDialog& dlg) {
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    dlg.setProxyModel(new TLocalDates(&dlg));
}

class TQtPrompter final : public TPrompter {
public:
    void Message(TMsgKind kind, const QString& caption, const QString& text) override {
        QWidget* parent = QApplication::activeWindow();
        switch (kind) {
        case TMsgKind::Warn: QMessageBox::warning(parent, caption, text); break;
        case TMsgKind::Info: QMessageBox::information(parent, caption, text); break;
        case TMsgKind::Error: QMessageBox::critical(parent, caption, text); break;
        }
    }

    bool AskYesNo(const QString& text, TDefaultAnswer byDefault) override {
        const auto defaultButton = byDefault == TDefaultAnswer::Yes ? QMessageBox::Yes : QMessageBox::No;
        return QMessageBox::question(QApplication::activeWindow(), QStringLiteral("确认"), text,
                                     QMessageBox::Yes | QMessageBox::No, defaultButton) == QMessageBox::Yes;
    }

    QString SaveFileName(const QString& proposedName, const QString& filter) override {
        QFileDialog dlg(QApplication::activeWindow(), QString(), QString(), filter);
        MakeChinese(dlg);
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setOption(QFileDialog::DontConfirmOverwrite);
        dlg.selectFile(proposedName);
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return {};
        return dlg.selectedFiles().constFirst();
    }

    bool InputMemo(const QString& title, const QString& prompt, QString& text) override {
        QDialog dlg(QApplication::activeWindow());
        dlg.setWindowTitle(title);
        dlg.setFixedSize(420, 260);
        CentreOnScreen(&dlg);
        ApplyFormFont(&dlg);
        MakeLabel(&dlg, prompt, 16, 10, 388, 20);
        QPlainTextEdit* memo = MakeMemo(&dlg, 16, 36, 388, 150, text);
        QPushButton* ok = MakeButton(&dlg, QStringLiteral("确定"), 224, 200, 85, 28, [&dlg] { dlg.accept(); });
        MakeButton(&dlg, QStringLiteral("取消"), 319, 200, 85, 28, [&dlg] { dlg.reject(); });
        ok->setDefault(true);
        memo->setFocus();
        if (dlg.exec() != QDialog::Accepted) return false;
        text = memo->toPlainText();
        return true;
    }

    bool ChoosePrinter(QPrinter& printer, const QString& title) override {
        if (QPrinterInfo::availablePrinterNames().isEmpty()) return ChoosePdfFile(printer, title);
        QPrintDialog dlg(&printer, QApplication::activeWindow());
        dlg.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize |
                       QAbstractPrintDialog::PrintCollateCopies);
        return dlg.exec() == QDialog::Accepted;
    }

    void Preview(QPrinter& printer, const QString& title, const std::function<void(QPrinter&)>& paint) override {
        QPrintPreviewDialog dlg(&printer, QApplication::activeWindow());
        dlg.setWindowTitle(QStringLiteral("打印预览 - ") + title);
        QObject::connect(&dlg, &QPrintPreviewDialog::paintRequested, &dlg, [&paint](QPrinter* p) { paint(*p); });
        dlg.resize(900, 700);
        CentreOnScreen(&dlg);
        dlg.exec();
    }

private:
    // A station without an installed printer keeps the document as a PDF file, to print elsewhere.
    static bool ChoosePdfFile(QPrinter& printer, const QString& title) {
        QFileDialog dlg(QApplication::activeWindow(), QStringLiteral("打印到PDF文件"));
        MakeChinese(dlg);
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setNameFilter(QStringLiteral("PDF文件 (*.pdf)"));
        dlg.setDefaultSuffix(QStringLiteral("pdf"));
        dlg.selectFile(title + QDateTime::currentDateTime().toString("yyyyMMdd_HHmmss") + ".pdf");
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return false;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dlg.selectedFiles().constFirst());
        return true;
    }
};

TQtPrompter& QtPrompter() {
    static TQtPrompter prompter;
    return prompter;
}

TPrompter* installed = nullptr;
}  // namespace

TPrompter& Prompter() { return installed ? *installed : QtPrompter(); }

void SetPrompter(TPrompter* prompter) { installed = prompter; }

void ShowWarn(const QString& text) { Prompter().Message(TMsgKind::Warn, QStringLiteral("警告"), text); }

void ShowInfo(const QString& text) { Prompter().Message(TMsgKind::Info, QStringLiteral("提示"), text); }

void ShowError(const QString& text, const QString& caption) { Prompter().Message(TMsgKind::Error, caption, text); }

bool AskYesNo(const QString& text, TDefaultAnswer byDefault) { return Prompter().AskYesNo(text, byDefault); }

bool InputMemo(const QString& title, const QString& prompt, QString& text) {
    return Prompter().InputMemo(title, prompt, text);
}

bool ChoosePrinter(QPrinter& printer, const QString& title) { return Prompter().ChoosePrinter(printer, title); }

void PreviewPages(QPrinter& printer, const QString& title, const std::function<void(QPrinter&)>& paint) {
    Prompter().Preview(printer, title, paint);
}

bool RunGuarded(const std::function<void()>& action, const QString& failurePrefix) {
    try {
        action();
        return true;
    } catch (const TDbError& e) {
        ShowError(DbFailureText(failurePrefix, e));
    } catch (const std::exception& e) {
        ShowError(failurePrefix + QString::fromUtf8(e.what()));
    }
    return false;
}
