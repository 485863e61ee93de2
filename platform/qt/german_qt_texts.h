// Qt's own texts (file chooser, message box buttons, edit box menus) in German, as the
// program's own are, whatever the locale of the session.
#pragma once

class QCoreApplication;

// Installs Qt's German catalogue on app and makes German the default locale, so that dates
// and sizes in the file chooser read as German too. False when the catalogue is not installed
// (then Qt's texts stay English, and standard error says where it looked).
bool InstallGermanQtTexts(QCoreApplication& app);
