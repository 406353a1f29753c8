#include "forms/question_display.h"

#include <QApplication>
#include <QMessageBox>

#include <utility>

namespace {

QuestionHandler& questionHandler()
{
    static QuestionHandler handler;
    return handler;
}

} // namespace

void SetQuestionHandler(QuestionHandler handler)
{
    questionHandler() = std::move(handler);
}

bool AskQuestion(const QString& question)
{
    if (questionHandler())
        return questionHandler()(question);
    return QMessageBox::question(QApplication::activeWindow(), QApplication::applicationName(), question,
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes)
        == QMessageBox::Yes;
}
