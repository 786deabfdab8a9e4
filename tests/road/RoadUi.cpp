#include "road/RoadUi.h"

#include <QtTest>
#include <QtWidgets>
#include <gtest/gtest.h>

namespace {
// Chinese comes through an input method, which hands the widget whole committed words.
void Commit(QWidget* w, const QString& text) {
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QApplication::sendEvent(w, &commit);
}

void Type(QWidget* w, const QString& text) {
    w->setFocus();
    QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty()) return QTest::keyClick(w, Qt::Key_Delete);
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 128; }))
        return QTest::keyClicks(w, text);
    Commit(w, text);
}

QString ShotPath(const QString& name) {
    const QString dir = qEnvironmentVariable("MOVELKAR_SCREENSHOTS");
    QDir().mkpath(dir);
    return QDir(dir).filePath(name);
}
}  // namespace

QPushButton* ButtonOf(QWidget* window, const QString& caption) {
    for (QPushButton* b : window->findChildren<QPushButton*>())
        if (b->text() == caption) return b;
    return nullptr;
}

QWidget* FieldOf(QWidget* form, const QString& label) {
    for (QLabel* l : form->findChildren<QLabel*>()) {
        if (l->text() != label) continue;
        const QRect at = l->geometry();
        QWidget* nearest = nullptr;
        for (QWidget* w : l->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            const QRect g = w->geometry();
            // A box stands on the label's line: level with it, or starting there when it is tall.
            const bool level = g.center().y() >= at.top() - 8 && g.center().y() <= at.bottom() + 8;
            const bool input = qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) || qobject_cast<QCheckBox*>(w) ||
                               qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QPlainTextEdit*>(w);
            if (!input || g.left() < at.left() || !(level || std::abs(g.top() - at.top()) <= 8)) continue;
            if (!nearest || g.left() < nearest->geometry().left()) nearest = w;
        }
        return nearest;
    }
    return nullptr;
}

void Click(QWidget* window, const QString& caption) {
    QPushButton* b = ButtonOf(window, caption);
    if (!b) return ADD_FAILURE() << "no button " << qPrintable(caption) << " in " << qPrintable(window->windowTitle());
    EXPECT_TRUE(b->isEnabled()) << qPrintable(caption) << " is disabled";
    QTest::mouseClick(b, Qt::LeftButton);
}

void Fill(QWidget* form, TFields fields) {
    for (const auto& [label, text] : fields) {
        QWidget* w = FieldOf(form, label);
        auto* combo = qobject_cast<QComboBox*>(w);
        if (!w) {
            ADD_FAILURE() << "no box beside " << qPrintable(label);
        } else if (auto* picker = qobject_cast<QDateTimeEdit*>(w)) {
            picker->setDateTime(QDateTime::fromString(text, "yyyy-MM-dd HH:mm"));
        } else if (combo && !combo->lineEdit()) {
            combo->setFocus();
            // A list matches what was typed in one breath; the empty search stands for the pause before.
            combo->view()->keyboardSearch({});
            Commit(combo, text);
            EXPECT_TRUE(combo->currentText().startsWith(text)) << qPrintable(label) << " shows " << qPrintable(combo->currentText());
        } else {
            Type(combo ? combo->lineEdit() : w, text);
        }
    }
}

QString TextOf(QWidget* form, const QString& label) {
    QWidget* w = FieldOf(form, label);
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText();
    if (auto* s = qobject_cast<QAbstractSpinBox*>(w)) return s->text();
    if (auto* m = qobject_cast<QPlainTextEdit*>(w)) return m->toPlainText();
    ADD_FAILURE() << "no box beside " << qPrintable(label);
    return {};
}

void ExpectShown(QWidget* form, TFields fields) {
    for (const auto& [label, text] : fields) EXPECT_EQ(TextOf(form, label), text) << qPrintable(label);
}

QTableView* GridOf(QWidget* window, int index) {
    QList<QTableView*> grids;
    for (QTableView* g : window->findChildren<QTableView*>())
        if (g->isVisibleTo(window)) grids << g;
    std::ranges::sort(grids, {}, [window](QTableView* g) { return g->mapTo(window, QPoint()).y(); });
    return grids.value(index);
}

QStringList ColumnOf(QTableView* grid, const QString& heading) {
    const QAbstractItemModel* m = grid->model();
    QStringList texts;
    for (int c = 0; c < m->columnCount(); ++c)
        if (m->headerData(c, Qt::Horizontal).toString() == heading) {
            for (int r = 0; r < m->rowCount(); ++r) texts << m->index(r, c).data().toString();
            return texts;
        }
    ADD_FAILURE() << "no column " << qPrintable(heading);
    return texts;
}

void WithDialog(const std::function<void()>& open, const std::function<void(QDialog&)>& act) {
    bool acted = false;
    QTimer poll, limit;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dlg = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dlg || acted) return;
        acted = true;
        poll.stop();
        act(*dlg);
    });
    QObject::connect(&limit, &QTimer::timeout, [&] {
        if (QWidget* stuck = QApplication::activeModalWidget()) {
            ADD_FAILURE() << "dialog still open: " << qPrintable(stuck->windowTitle());
            stuck->close();
        }
    });
    poll.start(5);
    limit.start(10000);
    open();
    EXPECT_TRUE(acted) << "no dialog appeared";
}

void WorkDialog(QWidget* window, const QString& button, const std::function<void(QDialog&)>& act) {
    WithDialog([&] { Click(window, button); }, act);
}

bool ShotsOn() { return !qEnvironmentVariable("MOVELKAR_SCREENSHOTS").isEmpty(); }

void Shot(QWidget* window, const QString& name) {
    if (!ShotsOn()) return;
    QApplication::processEvents();
    EXPECT_TRUE(window->grab().save(ShotPath(name + ".png"))) << qPrintable(name);
}

void ShotPdfPage(const QString& pdfPath, const QString& name) {
    if (!ShotsOn()) return;
    const QStringList args{"-png", "-r", "80", "-f", "1", "-l", "1", "-singlefile", pdfPath, ShotPath(name)};
    EXPECT_EQ(QProcess::execute("pdftoppm", args), 0) << "pdftoppm " << qPrintable(pdfPath);
}

void ShotShown(QWidget* window, const QString& name) {
    if (!ShotsOn()) return;
    window->show();
    QTest::qWait(300);  // a file dialog reads its folder in the background before it lists it
    Shot(window, name);
    window->close();
}
