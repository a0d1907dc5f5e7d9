#include "store/StoreContents.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <set>

#include "platform/DiskUsage.h"
#include "store/SnapshotIndex.h"

namespace fs = std::filesystem;

namespace {

void AddFile(TStoreContents& contents, const fs::path& path) {
    const std::optional<TFileUsage> usage = UsageOf(path.string());
    if (!usage || !usage->Regular) {
        return;
    }
    const TDataKey key{usage->Device, usage->Inode};
    TDataUse& use = contents.Data[key];
    if (use.Names++ == 0) {
        use.DiskBytes = usage->DiskBytes;
        contents.DiskBytes += usage->DiskBytes;
    }
    const std::optional<int> number = SnapshotCopyNumber(path.filename().string());
    if (number && *number > 0) {
        contents.Copies.push_back(
            {path.parent_path().string(), *number, usage->ModifiedSeconds, key});
    }
}

}  // namespace

TStoreContents ReadStoreContents(const std::string& storeFolder) {
    TStoreContents contents;
    if (storeFolder.empty()) {
        return contents;
    }
    std::error_code ec;
    const auto options = fs::directory_options::skip_permission_denied;
    for (fs::recursive_directory_iterator it(storeFolder, options, ec), end; !ec && it != end;
         it.increment(ec)) {
        if (!it->is_directory(ec)) {
            AddFile(contents, it->path());
        }
        ec.clear();
    }
    std::sort(contents.Copies.begin(), contents.Copies.end(),
              [](const TStoredCopy& a, const TStoredCopy& b) {
                  return a.Folder != b.Folder ? a.Folder < b.Folder : a.Number < b.Number;
              });
    return contents;
}

TStoreFigures MeasureStore(const std::string& storeFolder) {
    const TStoreContents contents = ReadStoreContents(storeFolder);
    TStoreFigures figures;
    figures.DiskBytes = contents.DiskBytes;
    figures.Snapshots = static_cast<std::int64_t>(contents.Copies.size());
    std::set<std::string> folders;
    for (const TStoredCopy& copy : contents.Copies) {
        folders.insert(copy.Folder);
    }
    figures.Files = static_cast<std::int64_t>(folders.size());
    const TDiskSpace space = storeFolder.empty() ? TDiskSpace{} : DiskSpaceOf(storeFolder);
    figures.FreeKnown = space.Known;
    figures.FreeBytes = space.FreeBytes;
    return figures;
}
