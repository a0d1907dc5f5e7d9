#pragma once
// The user's regional short date and long time text (LC_TIME), taken at the moment of the call.
#include <string>

// Sets the time locale from the environment; called once at start. Safe to call again.
void InitRegionalFormats();
std::string ShortDateText();
std::string LongTimeText();
