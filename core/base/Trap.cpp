#include "core/base/Trap.h"
#include "core/base/FrontEnd.h"

#include <new>

namespace tav {

TavError::TavError(int number, const QString &description)
    : std::runtime_error(description.toStdString()), m_number(number), m_description(description) {}

QString errorReportText(int number, const QString &description, const QString &procedure) {
    return QStringLiteral("Error %1 (%2)\r\ndans la procédure %3").arg(number).arg(description, procedure);
}

QString plainErrorText(int number, const QString &description, const QString &name, const QString &form) {
    return QStringLiteral("Error %1 (%2) in procedure %3 of Feuille %4").arg(number).arg(description, name, form);
}

void reportError(int number, const QString &description, const QString &procedure) {
    if (number <= 0)
        return;
    frontEnd().msgBox(errorReportText(number, description, procedure), StyleInformation,
                      QStringLiteral("Erreur rencontrée"));
}

void reportPlainError(int number, const QString &description, const QString &name, const QString &form) {
    if (number <= 0)
        return;
    frontEnd().showPlainError(plainErrorText(number, description, name, form));
}

void currentError(int &number, QString &description) {
    try {
        throw;
    } catch (const TavError &e) {
        number = e.number();
        description = e.description();
    } catch (const std::bad_alloc &) {
        number = ErrOutOfMemory;
        description = QStringLiteral("Out of memory");
    } catch (const std::overflow_error &e) {
        number = ErrOverflow;
        description = QString::fromUtf8(e.what());
    } catch (const std::out_of_range &e) {
        number = ErrSubscript;
        description = QString::fromUtf8(e.what());
    } catch (const std::exception &e) {
        number = ErrInvalidCall;
        description = QString::fromUtf8(e.what());
    } catch (...) {
        number = ErrUnexpected;
        description = QStringLiteral("Unexpected error");
    }
}

} // namespace tav
