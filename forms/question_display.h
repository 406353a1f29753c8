#pragma once
// A question to the operator, answered yes or no: a message box by default;
// tests answer it themselves.

#include <QString>

#include <functional>

using QuestionHandler = std::function<bool(const QString& question)>;

// Replaces the message box; an empty handler brings it back.
void SetQuestionHandler(QuestionHandler handler);
// True for yes.
bool AskQuestion(const QString& question);
