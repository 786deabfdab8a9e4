#pragma once
// The interface speaks Simplified Chinese throughout, Qt's own dialogs included.

class QApplication;

// Sets the Chinese (China) locale, the interface font with Simplified glyphs, and loads Qt's
// own translations so standard buttons read 确定/取消/是/否 and the file and print dialogs are
// Chinese. False when the translations are not installed: the dialogs then stay in English.
bool InstallChineseInterface(QApplication& app);
