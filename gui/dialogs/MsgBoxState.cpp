#include "gui/dialogs/MsgBoxState.h"

#include <cstdint>

namespace tav::KobMesgBox {

namespace {
int g_lastAnswer = 0;
int g_countdown = 0;
QString g_key;
} // namespace

int lastAnswer() {
    return g_lastAnswer;
}
void setLastAnswer(int answer) {
    g_lastAnswer = static_cast<std::int16_t>(answer);
}
int &countdown() {
    return g_countdown;
}
QString &keyOnScreen() {
    return g_key;
}
QString dialogBoxGroup() {
    return QStringLiteral("DialogBox");
}

} // namespace tav::KobMesgBox
