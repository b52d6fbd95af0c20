// Tokens of a race script line. Quoted texts keep every character; a
// backslash makes the next character literal, so names may hold quotes.
#include "script_tokens.h"

#include <cctype>

namespace {

bool isBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

bool readQuoted(const std::string& line, std::size_t& at, std::string& text, std::string& error) {
  ++at;  // opening quote
  while (at < line.size()) {
    char c = line[at++];
    if (c == '"') return true;
    if (c == '\\' && at < line.size()) c = line[at++];
    text += c;
  }
  error = "unterminated quoted text";
  return false;
}

// A bare word ends at a blank, a bracket or a quote.
std::string readWord(const std::string& line, std::size_t& at) {
  std::string word;
  while (at < line.size() && !isBlank(line[at]) && line[at] != '(' && line[at] != ')' && line[at] != '"' &&
         line[at] != '#') {
    word += line[at++];
  }
  return word;
}

std::string trimmed(const std::string& text) {
  std::size_t first = 0;
  while (first < text.size() && isBlank(text[first])) ++first;
  std::size_t last = text.size();
  while (last > first && isBlank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

}  // namespace

bool splitScriptLine(const std::string& line, ScriptTokens& tokens, std::string& error) {
  tokens = ScriptTokens();
  ScriptGroup* group = nullptr;
  std::size_t at = 0;
  std::size_t end = line.size();
  while (at < line.size()) {
    char c = line[at];
    if (isBlank(c)) {
      ++at;
      continue;
    }
    if (c == '#') {
      end = at;
      break;
    }
    if (c == ')') {
      if (group == nullptr) {
        error = "')' without an open group";
        return false;
      }
      group = nullptr;
      ++at;
      continue;
    }
    std::string word;
    bool quoted = false;
    if (c == '"') {
      if (!readQuoted(line, at, word, error)) return false;
      quoted = true;
    } else if (c == '(') {
      error = "'(' must follow a group name, as in car(...)";
      return false;
    } else {
      word = readWord(line, at);
    }
    if (!quoted && at < line.size() && line[at] == '(') {
      if (group != nullptr) {
        error = "groups cannot be nested";
        return false;
      }
      ++at;
      tokens.groups.push_back(ScriptGroup{word, {}});
      group = &tokens.groups.back();
      continue;
    }
    std::string::size_type equals = quoted ? std::string::npos : word.find('=');
    if (equals != std::string::npos) {
      std::string key = word.substr(0, equals);
      std::string value = word.substr(equals + 1);
      if (value.empty() && at < line.size() && line[at] == '"') {
        if (!readQuoted(line, at, value, error)) return false;
      }
      if (key.empty()) {
        error = "'=' without a field name";
        return false;
      }
      (group != nullptr ? group->fields : tokens.fields).emplace_back(key, value);
    } else if (group != nullptr) {
      error = "group " + group->name + "(...) holds only key=value fields, not '" + word + "'";
      return false;
    } else if (tokens.command.empty() && !quoted) {
      tokens.command = word;
    } else {
      tokens.values.push_back(word);
    }
  }
  if (group != nullptr) {
    error = "group " + group->name + "( is not closed";
    return false;
  }
  tokens.source = trimmed(line.substr(0, end));
  if (tokens.command.empty() && !tokens.source.empty()) {
    error = "a line must start with a command";
    return false;
  }
  return true;
}
