// Splits one line of a race script into its words: the command, bare or
// quoted values, key=value fields and bracketed groups such as car(...).
#pragma once

#include <string>
#include <utility>
#include <vector>

using ScriptFields = std::vector<std::pair<std::string, std::string>>;

struct ScriptGroup {
  std::string name;
  ScriptFields fields;
};

struct ScriptTokens {
  std::string command;
  std::vector<std::string> values;  // words without '=', in order
  ScriptFields fields;              // key=value, in order
  std::vector<ScriptGroup> groups;  // name(key=value ...), in order
  std::string source;               // the line without its comment, trimmed
};

// False with error set when the line is malformed (an open quote or group, a
// stray bracket). A blank or comment-only line gives an empty command.
bool splitScriptLine(const std::string& line, ScriptTokens& tokens, std::string& error);
