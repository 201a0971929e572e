#pragma once
// The application object of the dialog run: Qt's own texts in the user's
// language, and window titles exactly as each window sets them.

class QLocale;
class QTranslator;

namespace diroze {

// Installs Qt's translation of its own texts (the message boxes' buttons,
// the print dialog) for aLocale from Qt's translations directory, owned by
// the application. Returns it, or nullptr when Qt ships no translation for
// aLocale (the texts then stay English). Needs a running QApplication.
QTranslator* InstallQtTranslations(const QLocale& aLocale);

// Prepares the running QApplication for the dialog in the user's locale
// (QLocale()). No application display name is set: Qt would append it to
// every window title, and the message boxes and the save dialog carry
// exactly their own captions. Returns the translator installed, if any.
QTranslator* SetUpDialogApplication();

} // namespace diroze
