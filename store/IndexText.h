#pragma once
// The index text in the form this program writes it, so that a snapshot can be recorded with one
// write: "[GENERAL]", "NO=<count>", a line of one space (part of the format), "[DATES]", then only
// the key lines "<number>=<date>;<time>;<code>", every line ended by CR LF.
#include <optional>
#include <string>
#include <vector>

struct TPlainIndex {
    std::string Count;              // the text of NO, digits only
    std::string DatesLines;         // the key lines of DATES, each with its CR LF
    std::vector<std::string> Keys;  // their keys, in file order
};

// The parts of an index in that form; nullopt for any other form (an index edited by hand),
// which is then written through the general INI rules.
std::optional<TPlainIndex> ParsePlainIndex(const std::string& content);

// The index with the key lines of keys left out, NO and every other line as they are.
std::string PlainIndexTextWithout(const TPlainIndex& index, const std::vector<std::string>& keys);

// The index with NO = key and the key line key=entry after datesLines. For a plain index that
// does not hold key yet, these are the very bytes that writing NO and then the new DATES key
// under the INI rules gives; with empty datesLines it is a new index with its first entry.
std::string PlainIndexText(const std::string& datesLines, const std::string& key,
                           const std::string& entry);

struct TIndexLine {
    std::string Key;    // the snapshot number in decimal
    std::string Entry;  // "<date>;<time>;<code>"
};
// The index with every line of added after datesLines and NO = the last added key: several
// snapshots recorded with one write.
std::string PlainIndexWithLines(const std::string& datesLines,
                                const std::vector<TIndexLine>& added);
