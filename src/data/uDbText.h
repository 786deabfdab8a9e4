#pragma once
// What the staff read when the database refuses: engine failures said in Chinese, and the
// length of the centre's text columns, so that a long entry is refused before it is saved.

#include <QString>

class TDbError;

// A database failure in words the staff can act on (a locked, read-only, full or damaged
// file; a text longer than its column); any other failure keeps the engine's own text behind
// a Chinese lead. Callers put their own prefix ("保存失败：") in front.
QString DbErrorText(const TDbError& error);
QString DbErrorText(const QString& engineMessage);

// A save whose COMMIT went unanswered and whose outcome the server could not be asked about: it
// may be kept or not. Such a save is neither reported as saved nor as failed.
bool OutcomeUnknown(const TDbError& error);
// What a save shows when the database refused it: the caller's prefix ("保存失败：") and the
// reason, or, when nobody can tell whether it was kept, only that (and not to type it again).
QString DbFailureText(const QString& failurePrefix, const TDbError& error);

// The length a TEXT(n) column of the centre's schema holds, in characters; 0 when the column
// has no declared length (memo columns) or is unknown.
int TextLimit(const QString& table, const QString& column);
// "车牌号最多 15 个字" when the text is longer than its column holds, else empty.
QString TextLengthRefusal(const QString& table, const QString& column, const QString& caption,
                          const QString& text);
QString TextTooLongText(const QString& caption, int limit);

// "车牌号中不能有控制字符（如制表符、换行或不可见字符）" when the text holds a character below
// U+0020, else empty. The engines would store such text differently (the server ends a text at
// a NUL): none is ever saved. Memo boxes (memo columns, and columns named …Memo) may hold tab and
// line breaks.
QString ControlCharRefusal(const QString& table, const QString& column, const QString& caption,
                           const QString& text);
// The one check of a typed text before it is saved: control characters, then the length.
QString TextEntryRefusal(const QString& table, const QString& column, const QString& caption,
                         const QString& text);
