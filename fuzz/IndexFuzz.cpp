// The snapshot index reader on any text: the list holds only numbers the index or its copies
// name, in rising order, whatever the keys say; and an index in the form the program writes is
// extended by its quick path into exactly the bytes the INI rules give.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "platform/IniFile.h"
#include "store/IndexText.h"
#include "store/SnapshotIndex.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const IniFile index = IniFile::FromText(text);
    // A few copy numbers taken from the input's first bytes, as if those copies were beside it.
    std::vector<int> copies;
    for (std::size_t i = 0; i < std::min<std::size_t>(size, 3); ++i) {
        copies.push_back(data[i] % 8 + 1);
    }
    const std::vector<TSnapshotListItem> list = SnapshotListOf(index, copies);
    const std::size_t keys = index.KeyNamesInEvery("DATES").size();
    FUZZ_CHECK(list.size() <= keys + copies.size());
    for (std::size_t i = 1; i < list.size(); ++i) {
        FUZZ_CHECK(list[i - 1].Number < list[i].Number);
    }

    const auto plain = ParsePlainIndex(text);
    const std::string key = std::to_string(size % 13 + 1);
    const std::string entry = "6.12.2026;15:42:23;3";
    if (plain && std::find(plain->Keys.begin(), plain->Keys.end(), key) == plain->Keys.end()) {
        const std::string quick = PlainIndexText(plain->DatesLines, key, entry);
        const auto withCount = index.TextWith("GENERAL", {{"NO", key}});
        FUZZ_CHECK(withCount.has_value());
        const auto byRules = IniFile::FromText(*withCount).TextWith("DATES", {{key, entry}});
        FUZZ_CHECK(byRules.has_value() && *byRules == quick);
    }
    return 0;
}
