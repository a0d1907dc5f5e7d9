// The INI engine on any bytes: reading never fails, and a key written into any text reads back
// as written while the keys of another section keep their values.
#include <cstdint>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "platform/IniFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const IniFile file = IniFile::FromText(text);
    const auto before = file.Read("GENERAL", "SOURCE");
    file.ReadSection("FILTERS");
    file.KeyNamesInEvery("FILTERS");

    // The key's name comes from the input, so that names met in the text are written too.
    const std::string key =
        size > 0 ? std::string(1 + data[0] % 4, static_cast<char>('A' + data[0] % 3)) : "K";
    const std::string value = "v=1;x \"y\"";
    const auto updated = file.TextWith("FILTERS", {{key, value}, {"BYEXT", ".doc;.xls"}});
    FUZZ_CHECK(updated.has_value());
    const IniFile written = IniFile::FromText(*updated);
    FUZZ_CHECK(written.Read("FILTERS", key) == value);
    FUZZ_CHECK(written.Read("FILTERS", "BYEXT") == std::string(".doc;.xls"));
    FUZZ_CHECK(written.Read("GENERAL", "SOURCE") == before);

    FUZZ_CHECK(!file.TextWith("FILTERS", {{"OK", "fine"}, {"BAD", "a\nb"}}).has_value());
    return 0;
}
