#pragma once
// The day logs: one file per date in LogsDir, one line "time;code;image;file" per event.
#include <cstddef>
#include <cstdint>
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

// One record of a day's file with its texts.
struct TLogLine {
    std::string TimeText;
    int Code = 0;        // 0 when the field is not a number
    int ImageIndex = 0;  // -1 when the field is not a number
    std::string FileText;
    bool WellFormed = true;  // false for a line that does not hold three ';' or valid numbers
};

// The record a line of a day's file gives; a malformed line gives a record with WellFormed
// false, never an error.
TLogLine ParseLogLine(const std::string& line);

// A day's file opened for showing. Only where each record's line lies is kept in memory (16
// bytes a record); a record's texts are read back from the file when it is asked for, so a day of
// a million records takes a few tens of megabytes. The file stays open while the object lives:
// records appended meanwhile are not listed, and a removed file still reads.
class TDayLog {
  public:
    TDayLog() = default;
    ~TDayLog();
    TDayLog(TDayLog&& other) noexcept;
    TDayLog& operator=(TDayLog&& other) noexcept;
    TDayLog(const TDayLog&) = delete;
    TDayLog& operator=(const TDayLog&) = delete;

    // Finds the records of the file at path, skipping empty lines; false (and no records) when
    // it is not an existing regular file or cannot be read.
    bool Open(const std::string& path);
    std::size_t Size() const { return lines_.size(); }
    // Record i (below Size()) read back from the file. A line longer than 1 MiB is cut there; a
    // line that can no longer be read gives an empty record that is not well formed.
    TLogLine Line(std::size_t i) const;

  private:
    struct TLineSpan {
        std::uint64_t Start = 0;
        std::uint64_t Length = 0;  // without the line end
    };
    void Close();

    int fd_ = -1;
    std::vector<TLineSpan> lines_;
};

// Every record of a day's file with its texts, for a day small enough to hold whole; false when
// the file does not exist.
bool ReadDayLog(const std::string& path, std::vector<TLogLine>& records);

// Replaces every "$FILE$" (any letter case) by fileText; inserted text is not searched again.
std::string SubstituteFile(const std::string& templ, const std::string& fileText);
