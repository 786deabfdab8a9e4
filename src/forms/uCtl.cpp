#include "forms/uCtl.h"

#include "data/uDM.h"
#include "forms/uGrid.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTableView>
#include <QVBoxLayout>

#include <cmath>
#include <limits>

const char* const kSongFamily = "Noto Serif CJK SC";
const char* const kSansFamily = "Noto Sans CJK SC";

namespace {
// Tab leaves the picker for the next box instead of stepping through its date and time parts;
// the arrow keys still move between the parts.
class TDatePicker final : public QDateTimeEdit {
public:
    using QDateTimeEdit::QDateTimeEdit;

protected:
    bool focusNextPrevChild(bool next) override { return QAbstractSpinBox::focusNextPrevChild(next); }
};

QVBoxLayout* ColumnLayout(QWidget* parent) {
    if (auto* layout = qobject_cast<QVBoxLayout*>(parent->layout())) return layout;
    auto* layout = new QVBoxLayout(parent);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return layout;
}
}  // namespace

void ApplyFormFont(QWidget* w, int pointSize) { w->setFont(QFont(kSongFamily, pointSize)); }

void MarkInfoBox(QLineEdit* e) { e->setStyleSheet("QLineEdit { background: #FFFFE1; }"); }

void MarkReadOnlyBox(QLineEdit* e) {
    e->setReadOnly(true);
    e->setFocusPolicy(Qt::ClickFocus);
    e->setStyleSheet("QLineEdit { background: palette(button); }");
}

void MarkReadOnlyBox(QPlainTextEdit* e) {
    e->setReadOnly(true);
    e->setFocusPolicy(Qt::ClickFocus);
    e->setStyleSheet("QPlainTextEdit { background: palette(button); }");
}

QLabel* MakeLabel(QWidget* parent, const QString& caption, int left, int top, int width, int height) {
    auto* label = new QLabel(caption, parent);
    label->setGeometry(left, top + 4, width, height);
    return label;
}

QLineEdit* MakeEdit(QWidget* parent, int left, int top, int width, const QString& text) {
    auto* edit = new QLineEdit(text, parent);
    edit->setGeometry(left, top, width, 22);
    // No column of the centre holds more than a one-line box allows; a pasted page of text would
    // otherwise reach the engines, which answer a search for it differently.
    edit->setMaxLength(kLineEditMaxChars);
    return edit;
}

QPlainTextEdit* MakeMemo(QWidget* parent, int left, int top, int width, int height, const QString& text) {
    auto* memo = new QPlainTextEdit(text, parent);
    memo->setGeometry(left, top, width, height);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    return memo;
}

QComboBox* MakeCombo(QWidget* parent, int left, int top, int width, TComboStyle style) {
    auto* combo = new QComboBox(parent);
    combo->setEditable(style == TComboStyle::Editable);
    combo->setGeometry(left, top, width, 26);
    return combo;
}

QDateTimeEdit* MakeDatePicker(QWidget* parent, int left, int top, int width, bool dateOnly,
                              const QDateTime& initial) {
    auto* picker = new TDatePicker(initial.isValid() ? initial : QDateTime::currentDateTime(), parent);
    picker->setDisplayFormat(dateOnly ? "yyyy-MM-dd" : "yyyy-MM-dd HH:mm");
    picker->setCalendarPopup(true);
    picker->setGeometry(left, top, width, 22);
    return picker;
}

QPushButton* MakeButton(QWidget* parent, const QString& caption, int left, int top, int width, int height,
                        std::function<void()> onClick) {
    auto* button = new QPushButton(caption, parent);
    button->setGeometry(left, top, width, height);
    button->setAutoDefault(false);
    if (onClick) QObject::connect(button, &QPushButton::clicked, button, [onClick] { onClick(); });
    return button;
}

QPushButton* TButtonRow::Add(const QString& caption, int width, std::function<void()> onClick) {
    QPushButton* button = MakeButton(bar_, caption, x_, top_, width, 28, std::move(onClick));
    x_ += width + 6;
    return button;
}

TButtonRow::TSearch TButtonRow::AddSearch(const QString& filterCaption, const QStringList& filters,
                                          const QString& keywordCaption, int keywordCaptionWidth,
                                          const std::function<void()>& query) {
    MakeLabel(bar_, filterCaption, x_ + 10, top_ + 2, 40);
    QComboBox* filter = MakeCombo(bar_, x_ + 50, top_ + 1, 100);
    filter->addItems(filters);
    MakeLabel(bar_, keywordCaption, x_ + 166, top_ + 2, keywordCaptionWidth);
    QLineEdit* keyword = MakeEdit(bar_, x_ + 166 + keywordCaptionWidth, top_ + 3, 150);
    x_ += 166 + keywordCaptionWidth + 160;
    Add(QStringLiteral("查询"), 64, query);
    QObject::connect(filter, &QComboBox::currentIndexChanged, filter, query);
    QObject::connect(keyword, &QLineEdit::returnPressed, keyword, query);
    return {filter, keyword};
}

QCheckBox* MakeCheck(QWidget* parent, const QString& caption, int left, int top, bool checked) {
    auto* check = new QCheckBox(caption, parent);
    check->setGeometry(left, top, 120, 20);
    check->setChecked(checked);
    return check;
}

QWidget* MakeToolbar(QWidget* parent, int height) {
    auto* bar = new QWidget(parent);
    bar->setFixedHeight(height);
    ColumnLayout(parent)->addWidget(bar);
    return bar;
}

QTableView* MakeGrid(QWidget* parent, TQueryModel* model) {
    auto* grid = new QTableView(parent);
    grid->setModel(model);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    grid->verticalHeader()->setDefaultSectionSize(22);
    grid->setStyleSheet("QTableView { selection-background-color: #316AC5; selection-color: white; }");
    ColumnLayout(parent)->addWidget(grid, 1);
    return grid;
}

namespace {
// A Chinese input method types digits, signs and points in their full-width forms; the staff
// mean the plain ones.
QString AsciiForms(const QString& text) {
    QString s = text;
    for (QChar& c : s) {
        const char16_t u = c.unicode();
        if (u >= 0xFF01 && u <= 0xFF5E)
            c = QChar(char16_t(u - 0xFEE0));
        else if (u == 0x3000)
            c = QLatin1Char(' ');
        else if (u == 0x3002)  // 。 typed for the decimal point
            c = QLatin1Char('.');
        else if (u == 0x2212)  // − minus sign
            c = QLatin1Char('-');
    }
    s = s.trimmed();
    s.remove(QLatin1Char(','));
    return s;
}

enum class TRead { Blank, Number, Garbage, Unmeasurable };

// Nothing at the centre is weighed, measured or priced finer than this; a smaller number
// that is not 0 is a slip of the keyboard (and would show as hundreds of digits).
constexpr double kFinest = 1e-6;

// The number in the text, telling a numeral too large or too fine for any measurement apart
// from text that is no number at all. A numeral too large for a double reads as an infinity
// of its sign, one too fine as 0.
TRead ReadNumber(const QString& text, double& value) {
    static const QRegularExpression numeral(
        QStringLiteral(R"(^([+-]?)(\d*)(?:\.(\d*))?(?:[eE]([+-]?)\d+)?$)"));
    value = 0;
    const QString s = AsciiForms(text);
    if (s.isEmpty()) return TRead::Blank;
    bool ok = false;
    const double d = s.toDouble(&ok);
    if (ok && std::isfinite(d)) {
        value = d + 0.0;  // -0 is 0
        return value == 0 || std::fabs(value) >= kFinest ? TRead::Number : TRead::Unmeasurable;
    }
    const QRegularExpressionMatch m = numeral.match(s);
    const QString whole = m.captured(2);
    if (!m.hasMatch() || (whole.isEmpty() && m.captured(3).isEmpty())) return TRead::Garbage;
    const bool enormous = whole.contains(QRegularExpression(QStringLiteral("[1-9]"))) && m.captured(4) != "-";
    if (enormous) value = (m.captured(1) == "-" ? -1 : 1) * std::numeric_limits<double>::infinity();
    return TRead::Unmeasurable;
}

struct TBounds {
    double min;
    bool minIncluded;
    double max;
    bool maxIncluded;
};

TBounds BoundsOf(TNumRange range) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    switch (range) {
    case TNumRange::Unbounded: return {-inf, true, inf, true};
    case TNumRange::Percent: return {0, true, 100, false};
    case TNumRange::ReDryRate: return {0, true, 1000, true};
    case TNumRange::Weight: return {0, true, 1e6, true};
    case TNumRange::NetWeight: return {0.01, false, 1e6, true};
    case TNumRange::Money: return {0, true, 1e8, true};
    case TNumRange::Hours: return {0, true, 1000, true};
    case TNumRange::Temperature: return {-50, true, 300, true};
    case TNumRange::Days: return {0, true, 3650, true};
    case TNumRange::Capacity: return {0, true, 1e8, true};
    case TNumRange::Energy: return {0, true, 1e7, true};
    }
    return {-inf, true, inf, true};
}

bool InRange(double x, const TBounds& b) {
    const bool aboveMin = b.minIncluded ? x >= b.min : x > b.min;
    const bool belowMax = b.maxIncluded ? x <= b.max : x < b.max;
    return aboveMin && belowMax;
}
}  // namespace

void FitColumns(QTableView* grid, int maxChars) {
    grid->resizeColumnsToContents();
    const int widest = maxChars * grid->fontMetrics().averageCharWidth();
    for (int col = 0; col < grid->horizontalHeader()->count(); ++col)
        if (grid->columnWidth(col) > widest) grid->setColumnWidth(col, widest);
}

double ParseNum(const QString& text) {
    double value = 0;
    return ReadNumber(text, value) == TRead::Number ? value : 0;
}

TValue NumOrNull(const QString& text) {
    if (text.trimmed().isEmpty()) return {};
    return ParseNum(text);
}

TNumEntry CheckNum(const QString& text, TNumRange range, const QString& caption) {
    TNumEntry entry;
    switch (ReadNumber(text, entry.Value)) {
    case TRead::Blank: return entry;
    case TRead::Garbage:
        entry.State = TNumState::NotANumber;
        entry.Refusal = QStringLiteral("请输入有效的数字：") + caption;
        return entry;
    case TRead::Unmeasurable: entry.State = TNumState::OutOfRange; break;
    case TRead::Number:
        entry.State = InRange(entry.Value, BoundsOf(range)) ? TNumState::Number : TNumState::OutOfRange;
        break;
    }
    if (entry.State == TNumState::OutOfRange) entry.Refusal = QStringLiteral("数值超出范围：") + caption;
    return entry;
}

std::optional<double> PreviewNum(const QString& text, TNumRange range) {
    const TNumEntry entry = CheckNum(text, range, {});
    if (!entry.Ok()) return std::nullopt;
    return entry.Value;
}

bool NumInRange(double value, TNumRange range) { return InRange(value, BoundsOf(range)); }

void AddComboItem(QComboBox* combo, const QString& text, int id) { combo->addItem(text, id); }

int ComboID(const QComboBox* combo) {
    const int index = combo->currentIndex();
    return index < 0 ? 0 : combo->itemData(index).toInt();
}

void SetComboID(QComboBox* combo, int id) {
    for (int i = 0; i < combo->count(); ++i) {
        if (combo->itemData(i).toInt() == id && combo->itemData(i).isValid()) {
            combo->setCurrentIndex(i);
            return;
        }
    }
    combo->setCurrentIndex(-1);
}

QString FarmerItemText(const QString& name, const QString& phone, bool blacklisted) {
    return QStringLiteral("%1  %2%3").arg(name, phone, blacklisted ? QStringLiteral("  [黑名单]") : QString());
}

void FillFarmerCombo(TDM& dm, QComboBox* combo, const QString& firstItem) {
    const TQuery q = dm.OpenSQL("SELECT FarmerID,Name,Phone,Blacklist FROM T_Farmer ORDER BY FarmerID");
    combo->clear();
    if (!firstItem.isEmpty()) AddComboItem(combo, firstItem, 0);
    for (int r = 0; r < q.RowCount(); ++r)
        AddComboItem(combo,
                     FarmerItemText(VarToStr(q.Value(r, 1)), VarToStr(q.Value(r, 2)), q.Value(r, 3).AsBool()),
                     VarToInt(q.Value(r, 0)));
}

void FillGrainCombo(TDM& dm, QComboBox* combo) {
    FillLookupCombo(dm, combo, "SELECT GrainID,GrainName FROM T_Grain ORDER BY GrainID");
}

void FillOperatorCombo(TDM& dm, QComboBox* combo) {
    const TQuery q = dm.OpenSQL("SELECT OpID,OpName,Team FROM T_Operator ORDER BY " + ShiftOrderSql("Team") + ",OpID");
    combo->clear();
    AddComboItem(combo, QStringLiteral("(未指定)"), 0);
    for (int r = 0; r < q.RowCount(); ++r)
        AddComboItem(combo, QStringLiteral("%1 (%2)").arg(VarToStr(q.Value(r, 1)), VarToStr(q.Value(r, 2))),
                     VarToInt(q.Value(r, 0)));
}

void FillEquipCombo(TDM& dm, QComboBox* combo) {
    const TQuery q = dm.OpenSQL("SELECT EquipID,EquipNo,Model FROM T_Equip WHERE Status<>'停用' ORDER BY EquipID");
    combo->clear();
    for (int r = 0; r < q.RowCount(); ++r)
        AddComboItem(combo, QStringLiteral("%1 %2").arg(VarToStr(q.Value(r, 1)), VarToStr(q.Value(r, 2))),
                     VarToInt(q.Value(r, 0)));
}

void FillWhCombo(TDM& dm, QComboBox* combo, const QString& zoneType) {
    QString sql = "SELECT WhID,WhName,WhType FROM T_Wh";
    TParams params;
    if (!zoneType.isEmpty()) {
        sql += " WHERE WhType=:t";
        params.push_back({"t", zoneType});
    }
    const TQuery q = dm.OpenSQLP(sql + " ORDER BY WhID", params);
    combo->clear();
    for (int r = 0; r < q.RowCount(); ++r)
        AddComboItem(combo, QStringLiteral("%1(%2)").arg(VarToStr(q.Value(r, 1)), VarToStr(q.Value(r, 2))),
                     VarToInt(q.Value(r, 0)));
}

QStringList ShiftNames() { return {QStringLiteral("早班"), QStringLiteral("中班"), QStringLiteral("晚班")}; }

void FillShiftCombo(QComboBox* combo) {
    combo->clear();
    combo->addItems(ShiftNames());
}

QString ShiftOrderSql(const QString& column) {
    QString sql = "CASE " + column;
    const QStringList shifts = ShiftNames();
    for (int i = 0; i < shifts.size(); ++i) sql += QStringLiteral(" WHEN '%1' THEN %2").arg(shifts[i]).arg(i);
    return sql + QStringLiteral(" ELSE %1 END,").arg(shifts.size()) + column;
}

void FillLookupCombo(TDM& dm, QComboBox* combo, const QString& sql, const TParams& params) {
    const TQuery q = dm.OpenSQLP(sql, params);
    combo->clear();
    for (int r = 0; r < q.RowCount(); ++r) AddComboItem(combo, VarToStr(q.Value(r, 1)), VarToInt(q.Value(r, 0)));
}

void BringToFront(QWidget* window) {
    window->show();
    if (window->isMinimized()) window->showNormal();
    window->raise();
    window->activateWindow();
}

void CentreOnScreen(QWidget* window) {
    if (const QScreen* screen = window->screen())
        window->move(screen->availableGeometry().center() - window->rect().center());
}
