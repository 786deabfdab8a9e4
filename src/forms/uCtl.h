#pragma once
// Control builders, lookup lists and number input shared by every window.

#include "data/uValue.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableView;
class QWidget;
class TDM;
class TQueryModel;

// The windows' 宋体 in its Simplified Chinese form, and the interface's sans face.
extern const char* const kSongFamily;
extern const char* const kSansFamily;
void ApplyFormFont(QWidget* w, int pointSize = 9);

// Pale yellow behind computed values that stay editable; button face behind read-only boxes,
// which Tab passes over.
void MarkInfoBox(QLineEdit* e);
void MarkReadOnlyBox(QLineEdit* e);
void MarkReadOnlyBox(QPlainTextEdit* e);

QLabel* MakeLabel(QWidget* parent, const QString& caption, int left, int top, int width, int height = 20);
// A one-line box holds at most kLineEditMaxChars characters (a keyword included).
constexpr int kLineEditMaxChars = 200;
QLineEdit* MakeEdit(QWidget* parent, int left, int top, int width, const QString& text = {});
QPlainTextEdit* MakeMemo(QWidget* parent, int left, int top, int width, int height, const QString& text = {});
enum class TComboStyle { PickOnly, Editable };
QComboBox* MakeCombo(QWidget* parent, int left, int top, int width, TComboStyle style = TComboStyle::PickOnly);
// An invalid initial value means now.
QDateTimeEdit* MakeDatePicker(QWidget* parent, int left, int top, int width, bool dateOnly,
                              const QDateTime& initial = {});
QPushButton* MakeButton(QWidget* parent, const QString& caption, int left, int top, int width, int height,
                        std::function<void()> onClick = {});

// A ledger's toolbar buttons, placed left to right with a small gap; X() is where the next
// control goes.
class TButtonRow {
public:
    TButtonRow(QWidget* bar, int top) : bar_(bar), top_(top) {}
    QPushButton* Add(const QString& caption, int width, std::function<void()> onClick);
    int X() const { return x_; }
    void Skip(int width) { x_ += width; }
    // A ledger's search after its buttons: a filter list, a keyword box and 查询. Choosing a
    // filter, pressing 查询 and Enter in the keyword box all run the query.
    struct TSearch {
        QComboBox* Filter;
        QLineEdit* Keyword;
    };
    TSearch AddSearch(const QString& filterCaption, const QStringList& filters, const QString& keywordCaption,
                      int keywordCaptionWidth, const std::function<void()>& query);

private:
    QWidget* bar_;
    int top_;
    int x_ = 8;
};
QCheckBox* MakeCheck(QWidget* parent, const QString& caption, int left, int top, bool checked);
// A panel along the whole top edge of a window laid out top to bottom; controls are placed on it.
QWidget* MakeToolbar(QWidget* parent, int height);
// A read-only, whole-row grid over the model, filling the rest of the parent's layout.
QTableView* MakeGrid(QWidget* parent, TQueryModel* model);
// Sizes the columns to the rows read so far, none wider than maxChars characters: a long text
// is one drag of the column edge away.
void FitColumns(QTableView* grid, int maxChars);

// Full-width forms typed with a Chinese input method (１２３, －, ．, ，, 。) read as their
// ASCII forms; blanks and "," removed; empty or invalid text gives 0. For live previews.
double ParseNum(const QString& text);
// Null for blank text, otherwise ParseNum.
TValue NumOrNull(const QString& text);

// What a number box may hold. Every dialog picks the range of what its box stands for, so the
// same quantity is refused alike everywhere.
enum class TNumRange {
    Unbounded,    // any finite number
    Percent,      // moisture, impurity, loss rate, target moisture: 0 to below 100
    ReDryRate,    // 0 to 1000 percent
    Weight,       // kilograms of one load, where 0 is allowed (tare, loss): 0 to 1,000,000
    NetWeight,    // kilograms of one load that must be there: above 0.01, at most 1,000,000
    Money,        // yuan of one item or price: 0 to 100,000,000
    Hours,        // 0 to 1000
    Temperature,  // degrees Celsius: -50 to 300
    Days,         // 0 to 3650
    Capacity,     // kilograms a warehouse position holds: 0 to 100,000,000
    Energy,       // kilowatt-hours: 0 to 10,000,000
};

enum class TNumState { Blank, Number, NotANumber, OutOfRange };

// A number box as read on save.
struct TNumEntry {
    TNumState State = TNumState::Blank;
    double Value = 0;  // the number typed; 0 when blank or not a number
    QString Refusal;   // "请输入有效的数字：" or "数值超出范围：" + caption; empty when acceptable
    bool Ok() const { return Refusal.isEmpty(); }
    bool IsBlank() const { return State == TNumState::Blank; }
    TValue OrNull() const { return IsBlank() ? TValue() : TValue(Value); }
};

// The one way a dialog reads a number box on save: full-width forms read as ASCII, a blank box
// is accepted as nothing (required boxes refuse it themselves), text that is still not a number
// and numbers outside the range are refused with the box's caption.
TNumEntry CheckNum(const QString& text, TNumRange range, const QString& caption);

// What a live preview shows in place of a figure it cannot work out.
inline const QString kNoFigure = QStringLiteral("—");
// A number box as a live preview reads it, by the same rule as the save: a blank box counts as
// 0, and while the box holds text that is no number or a number out of range there is nothing,
// so no preview shows a figure the save would refuse.
std::optional<double> PreviewNum(const QString& text, TNumRange range);
// Whether a figure worked out from several boxes lies within the range its quantity allows.
bool NumInRange(double value, TNumRange range);

// Lookup lists carry an integer ID with each item; 0 means none.
void AddComboItem(QComboBox* combo, const QString& text, int id);
int ComboID(const QComboBox* combo);
void SetComboID(QComboBox* combo, int id);

void FillFarmerCombo(TDM& dm, QComboBox* combo, const QString& firstItem = {});
void FillGrainCombo(TDM& dm, QComboBox* combo);
void FillOperatorCombo(TDM& dm, QComboBox* combo);
void FillEquipCombo(TDM& dm, QComboBox* combo);
void FillWhCombo(TDM& dm, QComboBox* combo, const QString& zoneType = {});
// The shifts in the order of the working day; lists of shifts show them so, others after.
QStringList ShiftNames();
void FillShiftCombo(QComboBox* combo);
// An ORDER BY term putting the shift column's values in that order, unknown ones last by text.
QString ShiftOrderSql(const QString& column);
// Items from a query whose first column is the ID and second the text.
void FillLookupCombo(TDM& dm, QComboBox* combo, const QString& sql, const TParams& params = {});

QString FarmerItemText(const QString& name, const QString& phone, bool blacklisted);

// Shows a single-instance window: restored when minimised and brought to the front.
void BringToFront(QWidget* window);
// Places a window, sized but not yet shown, in the middle of its screen.
void CentreOnScreen(QWidget* window);
