#include "core/base/FrontEnd.h"

namespace tav {

namespace {

const MsgButton ButtonOk{AnswerOk, "cmdOK", "OK", "ok", "oui"};
const MsgButton ButtonCancel{AnswerCancel, "cmdAnnuler", "Annuler", "cancel", "annuler"};
const MsgButton ButtonYes{AnswerYes, "cmdOui", "Oui", "yes", "oui"};
const MsgButton ButtonNo{AnswerNo, "cmdNon", "Non", "no", "non"};
const MsgButton ButtonModify{AnswerModify, "cmdModifier", "Modifier", "modify", "modifier"};

class SilentFrontEnd : public FrontEnd {
public:
    int msgBox(const QString &, int style, const QString &, int, const QString &) override {
        // No one to ask: a question is declined, an information acknowledged.
        return msgEscapeAnswer(style);
    }
};

SilentFrontEnd g_silent;
FrontEnd *g_current = &g_silent;

} // namespace

const QList<MsgButton> &msgAllButtons() {
    static const QList<MsgButton> all = {ButtonOk, ButtonCancel, ButtonYes, ButtonNo, ButtonModify};
    return all;
}

int msgButtonSetValue(int style) {
    for (int icon : {64, 48, 32, 16})
        if (style >= icon)
            style -= icon;
    return style;
}

const MsgButtonSet &msgButtonSet(int style) {
    static const MsgButtonSet okCancel{{ButtonOk, ButtonCancel}, AnswerOk, AnswerCancel};
    static const MsgButtonSet yesNoCancel{{ButtonYes, ButtonNo, ButtonCancel}, AnswerYes, AnswerCancel};
    static const MsgButtonSet yesNo{{ButtonYes, ButtonNo}, AnswerYes, AnswerNo};
    static const MsgButtonSet yesNoModify{{ButtonYes, ButtonNo, ButtonModify}, AnswerYes, AnswerModify};
    static const MsgButtonSet okOnly{{ButtonOk}, AnswerOk, AnswerOk};
    switch (msgButtonSetValue(style)) {
    case StyleOkCancel:
        return okCancel;
    case StyleYesNoCancel:
        return yesNoCancel;
    case StyleYesNo:
        return yesNo;
    case 6:
        return yesNoModify;
    default:
        return okOnly;
    }
}

int msgEscapeAnswer(int style) {
    return msgButtonSet(style).escapeAnswer;
}

FrontEnd &frontEnd() {
    return *g_current;
}

void setFrontEnd(FrontEnd *frontEnd) {
    g_current = frontEnd ? frontEnd : &g_silent;
}

} // namespace tav
