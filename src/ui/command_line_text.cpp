#include "ui/command_line_text.h"

#include <QDir>
#include <QFileInfo>

namespace vantrel::ui {

std::string CommandLineText(const QStringList& arguments, const QString& workingFolder) {
  if (!arguments.isEmpty() && arguments.front().startsWith(QStringLiteral("/exec"), Qt::CaseInsensitive)) {
    return arguments.join(QLatin1Char(' ')).toStdString();
  }
  QStringList parts;
  for (QString argument : arguments) {
    if (argument.isEmpty()) continue;
    if (QFileInfo(argument).isRelative()) {
      const QString absolute = QDir(workingFolder).absoluteFilePath(argument);
      if (QFileInfo::exists(absolute)) argument = QDir::cleanPath(absolute);
    }
    parts << (argument.contains(QLatin1Char(' ')) ? QLatin1Char('"') + argument + QLatin1Char('"') : argument);
  }
  return parts.join(QLatin1Char(' ')).toStdString();
}

}  // namespace vantrel::ui
