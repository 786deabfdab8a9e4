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

// The length a TEXT(n) column of the centre's schema holds, in characters; 0 when the column
// has no declared length (memo columns) or is unknown.
int TextLimit(const QString& table, const QString& column);
// "车牌号最多 15 个字" when the text is longer than its column holds, else empty.
QString TextLengthRefusal(const QString& table, const QString& column, const QString& caption,
                          const QString& text);
QString TextTooLongText(const QString& caption, int limit);
