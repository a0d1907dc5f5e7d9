#include "watch/TransientNames.h"

#include "platform/FileAccess.h"

const std::vector<TTransientPattern>& TransientPatterns() {
    // Keep the help page on exceptions (HELP/general.htm) listing the same names.
    static const std::vector<TTransientPattern> patterns = {
        {".~lock.*#", false},  {"~$*", false},          {"*.swp", false}, {"*.swx", false},
        {"*.kate-swp", false}, {".#*", false},          {"4913", false},  {"*~", false},
        {"*.part", false},     {"*.crdownload", false}, {".git", true},   {".hg", true},
        {".svn", true},
    };
    return patterns;
}

namespace {

bool IsVersionControlFolder(const std::string& component) {
    for (const TTransientPattern& pattern : TransientPatterns()) {
        if (pattern.WholeFolder && NameMatchesMask(component, pattern.Mask)) {
            return true;
        }
    }
    return false;
}

bool IsTransientFileName(const std::string& component) {
    for (const TTransientPattern& pattern : TransientPatterns()) {
        if (!pattern.WholeFolder && NameMatchesMask(component, pattern.Mask)) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool IsTransientName(const std::string& relativeName) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = relativeName.find('/', start);
        const std::string component = relativeName.substr(start, slash - start);
        if (IsVersionControlFolder(component)) {
            return true;
        }
        if (slash == std::string::npos) {
            return IsTransientFileName(component);
        }
        start = slash + 1;
    }
}
