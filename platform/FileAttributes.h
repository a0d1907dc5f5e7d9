#pragma once
// Who may read what the program writes: the store's folders and its own files are for their
// owner only, a copy is never readable by more people than its source, and a file that is
// replaced keeps its owner, permissions and extended attributes.
#include <string>

inline constexpr unsigned kPrivateFolderMode = 0700;
inline constexpr unsigned kPrivateFileMode = 0600;

// Creates folder and its missing parents; each folder made here gets mode 0700, folders that
// exist already stay as they are. True when folder exists as a folder afterwards.
bool CreatePrivateFolders(const std::string& folder);

// The read, write and execute bits of the file open at fd (no set-id or sticky bits); 0600 when
// they cannot be read.
unsigned PermissionBitsOf(int fd);

// Gives the file open at fd exactly these permission bits, whatever the umask says.
void SetPermissionBits(int fd, unsigned bits);

// Copies every extended attribute of the file at path (access lists included) onto the file open
// at fd. Attributes that may not be set here (another namespace's, or a file system without
// them) are left out: best effort, silently.
void CopyExtendedAttributes(const std::string& path, int fd);
