#include "road/RoadUi.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDialog>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace {
bool IsInput(QWidget* w) {
    return qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractSpinBox*>(w) ||
           qobject_cast<QPlainTextEdit*>(w) || qobject_cast<QCheckBox*>(w);
}

// Chinese is typed through an input method, which hands the widget whole committed words.
void Type(QWidget* w, const QString& text) {
    bool ascii = true;
    for (const QChar c : text) ascii = ascii && c.unicode() < 128;
    if (ascii) {
        QTest::keyClicks(w, text);
        return;
    }
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QApplication::sendEvent(w, &commit);
}
}  // namespace

QWidget* ShownWindow(const QString& title) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle() == title) return w;
    return nullptr;
}

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
            if (!IsInput(w) || g.left() < at.left() || !(level || std::abs(g.top() - at.top()) <= 8)) continue;
            if (!nearest || g.left() < nearest->geometry().left()) nearest = w;
        }
        return nearest;
    }
    return nullptr;
}

void Click(QWidget* window, const QString& caption) {
    QPushButton* b = ButtonOf(window, caption);
    if (!b) {
        ADD_FAILURE() << "no button " << qPrintable(caption) << " in " << qPrintable(window->windowTitle());
        return;
    }
    EXPECT_TRUE(b->isEnabled()) << qPrintable(caption) << " is disabled";
    QTest::mouseClick(b, Qt::LeftButton);
}

void TypeInto(QWidget* form, const QString& label, const QString& text) {
    QWidget* w = FieldOf(form, label);
    if (!w) {
        ADD_FAILURE() << "no box beside " << qPrintable(label);
        return;
    }
    if (auto* combo = qobject_cast<QComboBox*>(w); combo && combo->lineEdit()) w = combo->lineEdit();
    w->setFocus();
    QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty())
        QTest::keyClick(w, Qt::Key_Delete);
    else
        Type(w, text);
}

void Choose(QWidget* form, const QString& label, const QString& itemStart) {
    auto* combo = qobject_cast<QComboBox*>(FieldOf(form, label));
    if (!combo) {
        ADD_FAILURE() << "no list beside " << qPrintable(label);
        return;
    }
    combo->setFocus();
    // A list matches what was typed in one breath; a new search starts after a pause, which the
    // empty search stands for.
    combo->view()->keyboardSearch({});
    QInputMethodEvent commit;
    commit.setCommitString(itemStart);
    QApplication::sendEvent(combo, &commit);
    EXPECT_TRUE(combo->currentText().startsWith(itemStart))
        << qPrintable(label) << " shows " << qPrintable(combo->currentText()) << ", wanted " << qPrintable(itemStart);
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

void SetTime(QWidget* form, const QString& label, const QString& when) {
    auto* picker = qobject_cast<QDateTimeEdit*>(FieldOf(form, label));
    if (!picker) {
        ADD_FAILURE() << "no date picker beside " << qPrintable(label);
        return;
    }
    picker->setDateTime(QDateTime::fromString(when, "yyyy-MM-dd HH:mm"));
}

QTableView* GridOf(QWidget* window, int index) {
    QList<QTableView*> grids;
    for (QTableView* g : window->findChildren<QTableView*>())
        if (g->isVisibleTo(window)) grids << g;
    std::sort(grids.begin(), grids.end(), [window](QTableView* a, QTableView* b) {
        return a->mapTo(window, QPoint()).y() < b->mapTo(window, QPoint()).y();
    });
    return index < grids.size() ? grids[index] : nullptr;
}

QStringList ColumnOf(QTableView* grid, const QString& heading) {
    const QAbstractItemModel* m = grid->model();
    int column = -1;
    for (int c = 0; c < m->columnCount(); ++c)
        if (m->headerData(c, Qt::Horizontal).toString() == heading) column = c;
    if (column < 0) {
        ADD_FAILURE() << "no column " << qPrintable(heading);
        return {};
    }
    QStringList texts;
    for (int r = 0; r < m->rowCount(); ++r) texts << m->index(r, column).data().toString();
    return texts;
}

QString CellOf(QTableView* grid, int row, const QString& heading) { return ColumnOf(grid, heading).value(row); }

void WithDialog(const std::function<void()>& open, const std::function<void(QDialog&)>& act, int limitMs) {
    bool acted = false;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dlg = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dlg || acted) return;
        acted = true;
        poll.stop();
        act(*dlg);
    });
    QTimer limit;
    limit.setInterval(limitMs);
    QObject::connect(&limit, &QTimer::timeout, [&] {
        if (QWidget* stuck = QApplication::activeModalWidget()) {
            ADD_FAILURE() << "dialog still open after " << limitMs << " ms: " << qPrintable(stuck->windowTitle());
            stuck->close();
        }
    });
    poll.start();
    limit.start();
    open();
    EXPECT_TRUE(acted) << "no dialog appeared";
}

void WorkDialog(QWidget* window, const QString& button, const std::function<void(QDialog&)>& act) {
    WithDialog([&] { Click(window, button); }, act);
}
