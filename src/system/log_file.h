// The program's log, "log.txt" in the current folder: one entry per saved or
// uploaded stats file and per failed upload. Nothing in the program reads it.
#pragma once

#include <string>

// Local date and time as "dd.MM HH:mm:ss", e.g. "21.11 12:06:46".
std::string logTimestamp();

// Appends a plain entry: time stamp, a space, the message, an empty line.
void writeLog(const std::string& message);

// Appends text as it is. The file is opened in append text mode for this one
// write and closed again. When it cannot be written the text is dropped and
// the reason goes to the error output; the program carries on. False then.
bool appendToLog(const std::string& text);
