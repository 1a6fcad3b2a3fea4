#pragma once
// The information log saved as a plain-text file: UTF-8, one line each, "\n" line ends. The
// file is written beside its final name and renamed over it only when complete, so a failed
// save never destroys an earlier file.

#include <QString>

class QWidget;

namespace window {

// `log` is the log as the window keeps it ("\r\n" after every line). Empty on success, else
// why the file could not be written.
QString WriteLogFile(const QString& path, const QString& log);

// A file name for a log saved now: "vorloader-log-YYYYMMDD-HHMMSS.txt".
QString DefaultLogFileName();

// The "Save Log..." command's question: where to save, offered in the user's documents under
// DefaultLogFileName(). Empty when the user cancels.
QString AskLogFilePath(QWidget* parent);

// What a box says when the log could not be saved: its text, and as the detail the path as
// the system writes it and why.
inline constexpr const char* kLogNotSavedText = "The log could not be saved.";
QString LogNotSavedDetail(const QString& path, const QString& why);

}  // namespace window
