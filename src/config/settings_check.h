// Network settings that cannot work, said in words: a port of 0, out of
// range or not a number, and a missing [network] section. loadSettings reads
// the values all the same; these lines only tell the user what is used.
// Called at start-up on the main thread.
#pragma once

#include <string>
#include <vector>

class IniFile;

// One line per problem (no line end), each beginning with fileName and
// naming the key, its text and the value used; none when all is well.
std::vector<std::string> networkSettingProblems(const IniFile& ini, const std::string& fileName);
