#pragma once
// Account passwords are kept as salted, deliberately slow hashes (Argon2id through libsodium),
// so that whoever reads the user table, a station's database account or a backup copy, learns
// no password from it. Accounts saved by earlier versions still hold the typed text in Pwd;
// such a password is accepted once and replaced by its hash at that login.

#include <QString>

// The stored form of a password: a self-describing hash text with its own random salt.
// Raises TDbError when the memory the hash needs cannot be had.
QString PasswordHash(const QString& password);

// Whether the typed password is the one an account keeps: its hash when one is stored, else the
// plain text left by an earlier version.
bool PasswordMatches(const QString& storedHash, const QString& storedPlain, const QString& typed);

// Why a new password cannot be set, or empty: too short (blanks around it not counted), or the
// second typing differs from the first.
QString NewPasswordRefusal(const QString& password, const QString& confirm);

// The starting administrator's password, "846", as stored in every new database. That password
// is printed on the login window, so a hash shared by all new databases gives nothing away; the
// first change of it draws a fresh salt.
extern const char* const kStartingAdminHash;
