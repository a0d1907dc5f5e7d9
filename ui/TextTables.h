#pragma once
// The window's text tables, filled once by TGUI_Form::LoadStrings and read by the events and
// recovery panels until the program ends.
#include <string>
#include <vector>

struct TTextTables {
    std::string NoLogText;                 // day list item when there is no log
    std::vector<std::string> LogMessages;  // entry n-1 is the text of log message code n
    std::string NoInfoText;                // snapshot list item when there is nothing to show
};

extern TTextTables TextTables;

// Largest number of log message texts read; a count above it is taken as this many, so a broken
// language file cannot make the start-up look up millions of keys.
inline constexpr int kMaxLogMessages = 1000;

// Number of log message texts from the text of VALUES/VALUES_LOGS_NO: empty gives 3, a whole
// decimal number gives itself (capped at kMaxLogMessages), any other text (a marker, a word, a
// fraction, a number out of range) gives 0, so the table stays empty.
int LogMessageCount(const std::string& text);

// Text of log message code n (counted from 1); empty when the table holds no such entry.
std::string LogMessageText(int code);
