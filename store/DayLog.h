#pragma once
// The day logs: one file per date in LogsDir, one line "time;code;image;file" per event.
#include <string>
#include <vector>

// Appends one line to today's log file; creates LogsDir when missing. Failures are silent. Any
// thread.
void WriteLogLine(int code, int image, const std::string& fileText);

// Full paths of the entries of folder matching mask ("*.log"; empty means every entry), in the
// order the file system lists them. Empty when the folder does not exist.
std::vector<std::string> ListFiles(const std::string& folder, const std::string& mask);

// Path of a day's file: LogsDir + "/" + day + ".log".
std::string DayLogPath(const std::string& day);
// File name part of a date text: each '/' becomes '-'.
std::string DayFileName(const std::string& dateText);

// One record of a day's file as read back.
struct TLogRecord {
    std::string TimeText;
    int Code = 0;        // 0 when the field is not a number
    int ImageIndex = 0;  // -1 when the field is not a number
    std::string FileText;
    bool WellFormed = true;  // false for a line that does not hold three ';' or valid numbers
};

// Reads a day's file; false when it does not exist. Empty lines are skipped; malformed lines
// become records with WellFormed false, never an error.
bool ReadDayLog(const std::string& path, std::vector<TLogRecord>& records);

// Replaces every "$FILE$" (any letter case) by fileText; inserted text is not searched again.
std::string SubstituteFile(const std::string& templ, const std::string& fileText);
