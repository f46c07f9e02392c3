#pragma once
// A front end for tests: records every question and progress call, and answers
// message boxes from a script (first in, first out; AnswerOk/Yes-less default).

#include "core/base/FrontEnd.h"

#include <QList>
#include <QMap>
#include <QStringList>
#include <functional>

namespace tav {

class ScriptedFrontEnd : public FrontEnd {
public:
    struct Asked {
        QString message;
        int style = 0;
        QString title;
        int delay = 0;
        QString key;
    };

    QList<Asked> asked;
    QList<int> answers;           // consumed in order by msgBox
    int defaultAnswer = AnswerOk; // when the script is empty
    QStringList plainErrors;
    QList<QList<bool>> onOff; // every objetOnOff call
    QList<int> progressStarts, progressSteps;
    int progressEnds = 0;
    int eventsProcessed = 0;
    std::function<void()> onProcessEvents; // lets a test act "during" a long operation
    QList<QList<ReviewEntry>> reviews;
    QStringList reviewSuffixes;
    bool reviewAnswer = true;
    QMap<int, QString> metadataLabels;

    ScriptedFrontEnd() { setFrontEnd(this); }
    ~ScriptedFrontEnd() override { setFrontEnd(nullptr); }

    int msgBox(const QString &message, int style, const QString &title, int delay, const QString &key) override {
        asked.append({message, style, title, delay, key});
        return answers.isEmpty() ? defaultAnswer : answers.takeFirst();
    }
    // Prompts for text: each asked prompt is recorded; the script answers in
    // order (an answer that is a null string cancels), then the default stays.
    QList<Asked> prompts;
    QStringList inputs;
    bool inputBox(const QString &prompt, const QString &title, QString &text) override {
        prompts.append({prompt, 0, title, 0, text});
        if (inputs.isEmpty())
            return true;
        const QString answer = inputs.takeFirst();
        if (answer.isNull())
            return false;
        text = answer;
        return true;
    }
    void showPlainError(const QString &text) override { plainErrors << text; }
    void objetOnOff(bool enabled, bool stopShown, bool renaming) override {
        onOff.append({enabled, stopShown, renaming});
    }
    void progressStart(int maximum) override { progressStarts << maximum; }
    void progressStep(int value) override { progressSteps << value; }
    void progressEnd() override { ++progressEnds; }
    void processEvents() override {
        ++eventsProcessed;
        if (onProcessEvents)
            onProcessEvents();
    }
    bool reviewBlocked(const QList<ReviewEntry> &entries, const QString &suffix) override {
        reviews << entries;
        reviewSuffixes << suffix;
        return reviewAnswer;
    }
    void showMetadataLabel(int index, const QString &text) override { metadataLabels[index] = text; }

    QStringList messages() const {
        QStringList l;
        for (const auto &a : asked)
            l << a.message;
        return l;
    }
};

} // namespace tav
