#pragma once
// The command-line front end, the only one of travoline-cli: notices and
// questions are written to standard error. A question takes the preset answer
// (--yes); without one it is asked on the terminal when standard input is
// one, and otherwise answered as Escape would (declined).

#include "core/base/FrontEnd.h"

#include <QElapsedTimer>
#include <cstdio>

namespace tav {

class CliFrontEnd : public FrontEnd {
public:
    enum class Preset { None, Yes, No };

    explicit CliFrontEnd(std::FILE *in = stdin, std::FILE *err = stderr);

    void setPreset(Preset preset) { m_preset = preset; }
    Preset preset() const { return m_preset; }
    // Whether questions may be asked on the input (default: it is a terminal).
    void setInteractive(bool interactive) { m_interactive = interactive; }
    bool interactive() const { return m_interactive; }

    int msgBox(const QString &message, int style, const QString &title, int delaySeconds = 0,
               const QString &key = QString()) override;
    void showPlainError(const QString &text) override;
    void progressStart(int maximum) override;
    void progressStep(int value) override;
    void progressEnd() override;
    void progressText(const QString &text) override { m_progressText = text; }
    void processEvents() override;
    bool reviewBlocked(const QList<ReviewEntry> &entries, const QString &captionSuffix) override;

    // How many errors the common error reporter has shown.
    int errorsReported() const { return m_errorsReported; }

private:
    void write(const QString &text);
    // The one prompt: the buttons of the style, answered by the preset, the
    // terminal, or as Escape.
    int ask(int style);

    std::FILE *m_in;
    std::FILE *m_err;
    Preset m_preset = Preset::None;
    bool m_interactive = false;
    bool m_progressOnTerminal = false;
    int m_progressMax = 0;
    QString m_progressText;        // written before the counts
    QElapsedTimer m_progressShown; // when the progress line was last written
    int m_errorsReported = 0;
};

} // namespace tav
