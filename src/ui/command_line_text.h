// The process arguments as the one command-line text the start-up procedure and the
// hand-over work with.
#pragma once

#include <QStringList>
#include <string>

namespace vantrel::ui {

// Joins arguments (without the program itself) into one text: an argument with a
// blank is put in double quotes, a relative path that exists becomes absolute (a first
// instance started elsewhere must find it), and "/exec" statements pass unchanged.
std::string CommandLineText(const QStringList& arguments, const QString& workingFolder);

}  // namespace vantrel::ui
