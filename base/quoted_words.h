// A line split into words: any of the separators ends a word, double quotes group
// separators into one word and are dropped ("" alone is an empty word). Command lines
// and the zip library's item lists are split so.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kvx {

inline std::vector<std::string> SplitQuotedWords(std::string_view line, std::string_view separators) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false, quoted = false;
  for (const char c : line) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if (!quoted && separators.find(c) != std::string_view::npos) {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

}  // namespace kvx
