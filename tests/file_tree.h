// Test support: what a directory holds, to compare whole trees after a run.
#pragma once

#include <filesystem>
#include <map>
#include <string>

// Every file, directory and link under root by relative path, "/" between names and each name
// as the tools' own listing gives it: a file's content, "<dir>" for a directory, "<link>" for a
// link (never followed).
std::map<std::string, std::string> file_tree(const std::filesystem::path& root);
