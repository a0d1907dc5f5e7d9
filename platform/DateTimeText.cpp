#include "platform/DateTimeText.h"

#include <langinfo.h>

#include <clocale>
#include <ctime>

namespace {

bool regionalFormatsSet = false;

std::string FormatNow(nl_item format) {
    if (!regionalFormatsSet) {
        InitRegionalFormats();
    }
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (::localtime_r(&now, &local) == nullptr) {
        return {};
    }
    char text[256];
    const std::size_t length = std::strftime(text, sizeof text, ::nl_langinfo(format), &local);
    return std::string(text, length);
}

}  // namespace

void InitRegionalFormats() {
    std::setlocale(LC_TIME, "");
    regionalFormatsSet = true;
}

std::string ShortDateText() {
    return FormatNow(D_FMT);
}

std::string LongTimeText() {
    return FormatNow(T_FMT);
}
