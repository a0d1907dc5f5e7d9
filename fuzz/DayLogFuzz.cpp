// The day-log reader on any file: every record reads back without fault, the compact reader
// agrees with a plain split of the text, and a line appended to any file is read back as one
// record of its own.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "platform/FileAccess.h"
#include "store/DayLog.h"

namespace {

// A file of this process only, on memory when the system offers it.
std::string ScratchPath() {
    const std::filesystem::path folder =
        std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
    return (folder / ("ostrevan-fuzz-daylog-" + std::to_string(getpid()) + ".log")).string();
}

// The non-empty lines of text split at LF, each without one CR before its LF.
std::vector<std::string> PlainLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        const std::size_t next = end == std::string::npos ? text.size() : end + 1;
        end = end == std::string::npos ? text.size() : end;
        if (end > pos && text[end - 1] == '\r') {
            --end;
        }
        if (end > pos) {
            lines.push_back(text.substr(pos, end - pos));
        }
        pos = next;
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string path = ScratchPath();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;

    const std::vector<std::string> expected = PlainLines(text);
    TDayLog day;
    FUZZ_CHECK(day.Open(path));
    FUZZ_CHECK(day.Size() == expected.size());
    for (std::size_t i = 0; i < day.Size(); ++i) {
        const TLogLine line = day.Line(i);
        const TLogLine plain = ParseLogLine(expected[i]);
        FUZZ_CHECK(line.TimeText == plain.TimeText && line.FileText == plain.FileText);
        FUZZ_CHECK(line.Code == plain.Code && line.ImageIndex == plain.ImageIndex);
        SubstituteFile("Copied $FILE$ ($file$)", line.FileText);
    }

    AppendLineToRegularFile(path, "9:00:00;12;7;/w/a;b.txt\r\n");
    std::vector<TLogLine> records;
    FUZZ_CHECK(ReadDayLog(path, records));
    FUZZ_CHECK(!records.empty());
    FUZZ_CHECK(records.back().WellFormed && records.back().TimeText == "9:00:00");
    FUZZ_CHECK(records.back().FileText == "/w/a;b.txt");
    std::filesystem::remove(path);
    return 0;
}
