#include "gui/dialogs/KobMesgBox.h"

#include "core/base/Trap.h"
#include "gui/dialogs/frmKobMsgBox.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>
#include <memory>

namespace tav::KobMesgBox {

bool isOpen() {
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (const QWidget *w : windows)
        if (w->objectName().compare(QLatin1String("frmKobMsgBox"), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

int show(const QString &message, int &style, const QString &title, int delay, const QString &key, bool *answered) {
    if (answered)
        *answered = false;
    if (isOpen())
        return lastAnswer();
    trap(QStringLiteral("KoblmesgBox"), [&] {
        QWidget *parent = QApplication::activeWindow();
        auto box = std::make_unique<frmKobMsgBox>(parent);
        box->setWindowModality(Qt::ApplicationModal);
        box->load();
        box->prepare(message, style, title, delay, key);
        // A button closes the box with its answer (1 to 8); anything else
        // leaves the result at 0.
        const int result = box->exec();
        if (answered)
            *answered = result > 0;
    });
    return lastAnswer();
}

} // namespace tav::KobMesgBox
