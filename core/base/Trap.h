#pragma once
// Error handling of the program's procedures: a failure inside the core is a
// TavError (or any std::exception); no exception crosses a handler. Each
// handler runs its body inside trap(), which reports the failure through the
// common error reporter with the handler's procedure text and returns.

#include <QString>

#include <stdexcept>
#include <utility>

namespace tav {

// Error numbers of the program's run-time errors.
enum ErrorNumber : int {
    ErrInvalidCall = 5,
    ErrOverflow = 6,
    ErrOutOfMemory = 7,
    ErrSubscript = 9,
    ErrDivisionByZero = 11,
    ErrTypeMismatch = 13,
    ErrFileNotFound = 53,
    ErrFileAlreadyExists = 58,
    ErrDiskFull = 61,
    ErrPermissionDenied = 70,
    ErrPathAccess = 75,
    ErrPathNotFound = 76,
    ErrLibraryNotFound = 48,
    ErrEntryPointNotFound = 453,
    ErrUnexpected = 51,
};

class TavError : public std::runtime_error {
public:
    TavError(int number, const QString &description);
    int number() const { return m_number; }
    const QString &description() const { return m_description; }

private:
    int m_number;
    QString m_description;
};

// "Error N (description)" CR LF "dans la procédure " procedure.
QString errorReportText(int number, const QString &description, const QString &procedure);
// "Error N (description) in procedure NAME of Feuille FORM".
QString plainErrorText(int number, const QString &description, const QString &name, const QString &form);

// The common error reporter: a message box titled "Erreur rencontrée", style 64,
// when number > 0.
void reportError(int number, const QString &description, const QString &procedure);
void reportPlainError(int number, const QString &description, const QString &name, const QString &form);

// Converts the exception in flight into (number, description).
void currentError(int &number, QString &description);

// Runs body; on failure reports it with the procedure text that procedure()
// gives at that moment (a body may move on as it goes) and returns false.
template <class Procedure, class Body> bool trapWith(Procedure &&procedure, Body &&body) {
    try {
        body();
        return true;
    } catch (...) {
        int number = 0;
        QString description;
        currentError(number, description);
        reportError(number, description, procedure());
        return false;
    }
}

// Runs body; on failure reports it with the procedure text and returns false.
template <class Body> bool trap(const QString &procedure, Body &&body) {
    return trapWith([&procedure] { return procedure; }, std::forward<Body>(body));
}

} // namespace tav
