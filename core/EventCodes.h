#pragma once
// The numbers that log lines and lists share: the window's small images and the day log's codes.

// Images of the window's small image list, by index.
enum TImageIndex {
    kImageWatching = 0,
    kImageStopped = 1,
    kImageCopying = 2,
    kImageInformation = 3,
    kImageWarning = 4,
    kImageError = 5,
    kImageDay = 6,
    kImageSnapshot = 7,
};

// Event codes of the day log. 4 and 7 are never written; their texts keep their places.
enum TLogCode {
    kLogProgramStarted = 1,
    kLogWatchingStarted = 2,
    kLogWatchingStopped = 3,
    kLogExtensionException = 5,
    kLogSizeException = 6,
    kLogFolderFailed = 8,
    kLogOpenFailed = 9,
    kLogCreateFailed = 10,
    kLogWriteFailed = 11,
    kLogCopied = 12,
    kLogProgramClosed = 13,
    kLogPathTooLong = 14,        // a file that cannot be snapshotted: its path is too long
    kLogFolderUnwatched = 15,    // a folder without a watch: the system's limit is reached
    kLogOverflowRescanned = 16,  // the kernel's queue overflowed; the file text is the count
    kLogHistoryJoined = 17,  // a file renamed onto another brought its snapshots into its history
    kLogSnapshotRemovedByRule = 18,  // a keeping rule removed the snapshot (file: its copy)
    kLogStoreDiskFull = 19,          // not snapshotted: the store's disk has too little room
    kLogCaughtUp = 20,  // watching began: files found changed while not watched (the count)
};
