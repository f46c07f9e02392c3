#include "core/base/FrontEnd.h"

namespace tav {

namespace {
class SilentFrontEnd : public FrontEnd {
public:
    int msgBox(const QString &, int style, const QString &, int, const QString &) override
    {
        // No one to ask: a question is declined, an information acknowledged.
        const int buttons = style & 7;
        if (buttons == StyleYesNo || buttons == StyleYesNoCancel)
            return AnswerNo;
        if (buttons == StyleOkCancel)
            return AnswerCancel;
        return AnswerOk;
    }
};

SilentFrontEnd g_silent;
FrontEnd *g_current = &g_silent;
} // namespace

FrontEnd &frontEnd() { return *g_current; }

void setFrontEnd(FrontEnd *frontEnd) { g_current = frontEnd ? frontEnd : &g_silent; }

} // namespace tav
