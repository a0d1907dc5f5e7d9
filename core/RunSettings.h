#pragma once
// The settings in force, read from Settings.ini.
#include <cstdint>
#include <string>

struct TRunSettings {
    std::string SOURCE;          // the watched folder
    std::string DESTINATION;     // the store folder
    bool SUBFOLDERS = false;     // watch the whole tree
    bool SKIPLIKETASKS = false;  // drop repeats within one batch
    int32_t BYSIZE = 1032;       // size limit in kilobytes of 1000 bytes
    int32_t BYEXTMODE = 1;       // 1: only listed extensions pass; 2: listed extensions are dropped
    std::string BYEXT;           // the extension list, matched by substring
    bool SKIPTRANSIENT = true;   // leave out lock, swap and other files programs make to work
    // Keeping rules of the store ([STORE]); 0 means the rule is off.
    int32_t KEEPCOUNT = 0;  // keep at most this many snapshots per file
    int32_t KEEPDAYS = 0;   // remove snapshots older than this many days
    int32_t KEEPMB = 0;     // keep the store under this many megabytes (of 1000000 bytes)
};

extern TRunSettings RunSettings;

// Conversions of the texts read from the file.
bool SettingFlag(const std::string& text);           // "TRUE" in any ASCII case
int32_t SettingSizeLimit(const std::string& text);   // empty or not a whole number: 1032
int32_t SettingExtMode(const std::string& text);     // exactly "2" gives 2, else 1
bool SettingOnUnlessFalse(const std::string& text);  // off only for "FALSE" in any ASCII case
// A keeping rule's limit: a whole number from 1 up; anything else (missing, 0, negative, not a
// number) turns the rule off and reads as 0.
int32_t SettingKeepLimit(const std::string& text);

// Reads the keys of Settings.ini in their fixed order (through ReadIniValue), then the keeping
// rules of [STORE].
TRunSettings ReadSettingsFile(const std::string& path);
