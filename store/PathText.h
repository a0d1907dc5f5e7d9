#pragma once
// Small path helpers shared by the store's files.
#include <string>

// folder + "/" + name, without doubling a '/' that folder already ends with.
std::string JoinPath(const std::string& folder, const std::string& name);
// The path without trailing '/' characters ("/" itself stays).
std::string WithoutTrailingSlash(std::string path);
// True for an existing regular file (symbolic links followed), never for a folder.
bool IsExistingFile(const std::string& path);
// True for an existing folder (symbolic links followed).
bool IsExistingFolder(const std::string& path);
