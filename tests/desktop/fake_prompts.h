#pragma once
// Answers the desktop's questions in place of the user and keeps what was asked and told.

#include <QDialog>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "desktop/prompts.h"

namespace tg::test {

class FakePrompts final : public Prompts {
public:
    bool ask(QWidget*, const QString& text, const QString& caption) override {
        asked.push_back(text.toStdString());
        captions.push_back(caption.toStdString());
        if (answers.empty()) return false;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void tell(QWidget*, const QString& text) override { told.push_back(text.toStdString()); }
    QString openFile(QWidget*, const QString& filter) override {
        filters.push_back(filter.toStdString());
        return chosenFile;
    }
    QString saveFile(QWidget*, const QString& filter) override {
        filters.push_back(filter.toStdString());
        return chosenFile;
    }
    bool runEditor(QDialog& editor) override {
        ++editorsRun;
        return editorBody ? editorBody(editor) : false;
    }

    std::deque<bool> answers;  // No when none is left
    std::vector<std::string> asked, captions, told, filters;
    QString chosenFile;
    std::function<bool(QDialog&)> editorBody;
    int editorsRun = 0;
};

}  // namespace tg::test
