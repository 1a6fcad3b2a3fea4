#include "window/log_file.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QSaveFile>
#include <QStandardPaths>

namespace window {

namespace {

QString Why(const QSaveFile& file) {
  return file.errorString().isEmpty() ? QStringLiteral("the file could not be written") : file.errorString();
}

}  // namespace

QString WriteLogFile(const QString& path, const QString& log) {
  QString text = log;
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  const QByteArray bytes = text.toUtf8();
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return Why(file);
  if (file.write(bytes) != bytes.size()) {
    QString why = Why(file);
    file.cancelWriting();
    return why;
  }
  if (!file.commit()) return Why(file);
  return {};
}

QString DefaultLogFileName() {
  return QStringLiteral("vorloader-log-%1.txt")
      .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
}

QString AskLogFilePath(QWidget* parent) {
  QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (folder.isEmpty()) folder = QDir::homePath();
  return QFileDialog::getSaveFileName(parent, QStringLiteral("Save Log"),
                                      folder + QLatin1Char('/') + DefaultLogFileName(),
                                      QStringLiteral("Text files (*.txt);;All files (*)"));
}

QString LogNotSavedDetail(const QString& path, const QString& why) {
  return QDir::toNativeSeparators(path) + QStringLiteral(": ") + why;
}

}  // namespace window
