#pragma once
// Master-data maintenance without a screen: the definition records that drive the generic
// list window and edit dialog, the statements built from them, and the rules that keep a
// save or a deletion from damaging the centre's records.

#include "data/uRowStamp.h"
#include "data/uValue.h"
#include "forms/uCtl.h"

#include <QHash>
#include <QList>
#include <QString>
#include <cstdint>

class TDM;
struct TSession;

// How a column is edited; the numbers order the kinds.
enum TColKind : std::uint8_t {
    ckText = 0,
    ckInteger = 1,
    ckDecimal = 2,
    ckMoney = 3,
    ckDate = 4,
    ckDateTime = 5,
    ckMemo = 6,
    ckYesNo = 7,
    ckChoice = 8,
};

struct TColDef {
    QString ListField;  // column of the list query's result (letter case ignored)
    QString EditField;  // table column edited and searched; empty: listed only
    QString Caption;
    TColKind Kind = ckText;
    int Width = 0;  // list column width in pixels
    bool Required = false;
    QString LookupSQL;  // ckChoice: first column ID, second column text
    QString Items;      // ckChoice without a lookup: fixed choices separated by ";"
    TValue DefaultValue;
    TNumRange Range = TNumRange::Unbounded;  // number kinds: what the box may hold
};

TColDef MakeCol(const QString& listField, const QString& editField, const QString& caption, TColKind kind,
                int width, bool required = false, const QString& lookupSQL = {}, const QString& items = {},
                const TValue& defaultValue = {});
// A number column with the range its box may hold.
TColDef MakeNumCol(const QString& listField, const QString& editField, const QString& caption, TColKind kind,
                   int width, TNumRange range, bool required = false);

struct TCrudDef {
    QString Title;  // identifies an open list window and prefixes exported file names
    QString TableName;
    QString KeyField;  // integer counter key, never edited
    QString ListSQL;   // without ORDER BY; first column the key, second the row's name
    QString OrderBy;   // result columns, unique together: the grid pages by them
    // Instead of OrderBy, for a short table ordered by an expression: a plain ORDER BY, read
    // by row count rather than by key.
    QString SortSql;
    QList<TColDef> Cols;
    bool ReadOnly = false;
    bool AllowDelete = true;
    // Accounts: the dialog has two password boxes, whose text is stored only as a hash (PwdHash).
    bool SetsPassword = false;
};

// The list query with the keyword filter over the searched text columns and the order.
// The keyword is bound, never pasted, so any quote in it is harmless.
TSqlText BuildListSql(TDbEngine engine, const TCrudDef& def, const QString& keyword);
// The list column width in characters that a definition's pixel width stands for.
int DisplayChars(int widthPx);

// The columns the edit dialog shows, in layout order: every edited column but the key.
QList<TColDef> EditedCols(const TCrudDef& def);
// Values by EditField. What the dialog collects is what its controls hold: the text of a
// text box or memo, the picked ID of a lookup list, the picked text of a fixed list, the
// picker's date-time, the check box's state.
using TFieldValues = QHash<QString, TValue>;

// The text a text box shows for a stored value (numbers in their column's format).
QString EditText(const TColDef& col, const TValue& stored);
// The value stored for what a control holds: text trimmed, a blank number null, a date at
// 00:00, yes/no as -1/0, an unpicked lookup 0, an unpicked fixed choice the empty text.
TValue StoredValue(const TColDef& col, const TValue& entered);

// INSERT for a null key, else UPDATE of the row with that key (bound as "wkey"), binding
// the stored values.
TSqlText BuildSaveSql(const TCrudDef& def, const TValue& key, const TFieldValues& stored);

struct TSaveOutcome {
    bool Saved = false;
    QString Message;  // why it was refused or failed
    int Field = -1;   // index into EditedCols of the field to put the cursor in
    TValue Key;       // the saved row's key
};

// What the edit dialog adds to the entered values.
struct TCrudSaveExtra {
    TRowStamp Read;           // the edited row as the dialog read it
    QString NewPassword;      // SetsPassword: empty keeps an account's password
    QString ConfirmPassword;  // the second typing
};
// TSaveOutcome::Field of a refusal about the password boxes.
constexpr int kPasswordField = -2;

// Checks what was entered, and that the row is still as the dialog read it, writes the row and
// its "新增"/"修改" log row. A new account needs a password.
TSaveOutcome SaveCrudRow(TDM& dm, const TCrudDef& def, const TValue& key, const TFieldValues& entered,
                         const TCrudSaveExtra& extra = {});

// The stamp of a row read for the edit dialog: its edited columns as the query holds them.
TRowStamp CrudRowStamp(const TCrudDef& def, const TValue& key, const TQuery& row);

// What business records still refer to a master row, e.g. "批次 12 条、库存 3 条"; empty
// when nothing does.
QString ReferencesTo(TDM& dm, const QString& table, qint64 key);

// Why the row may not be deleted, or an empty text: the account guards, then references.
QString DeleteRefusal(TDM& dm, const TCrudDef& def, qint64 key, const TSession& session);
// Locks the row, checks again, deletes the row and logs "删除" with its name; the message when
// refused or when the database fails, else an empty text. A save referring to the row at the
// same moment either finishes first (and the reference is found) or finds the row gone.
QString DeleteCrudRow(TDM& dm, const TCrudDef& def, qint64 key, const QString& name, const TSession& session);
