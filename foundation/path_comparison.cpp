#include "foundation/path_comparison.h"

#include <algorithm>
#include <vector>

#include "foundation/ascii_case.h"
#include "foundation/path_grammar.h"

namespace ostrel {
namespace {

// The relative part as a sequence of names and separators, each separator
// run standing as one Separator token. Names never contain a separator.
constexpr std::u16string_view Separator = u"\\";
constexpr std::u16string_view Dot = u".";
constexpr std::u16string_view DotDot = u"..";

std::vector<std::u16string_view> RelativeTokens(const PathParts& parts) {
  std::vector<std::u16string_view> tokens;
  for (std::size_t i = 0; i < parts.names.size(); ++i) {
    if (i > 0) tokens.push_back(Separator);
    if (!parts.names[i].empty()) tokens.push_back(parts.names[i]);
  }
  return tokens;
}

bool IsName(const std::vector<std::u16string_view>& tokens, std::size_t i) {
  return i < tokens.size() && tokens[i] != Separator;
}

bool IsSeparator(const std::vector<std::u16string_view>& tokens, std::size_t i) {
  return i < tokens.size() && tokens[i] == Separator;
}

// Removes the token at i and the separator after it, if there is one.
void EraseWithSeparator(std::vector<std::u16string_view>& tokens, std::size_t i) {
  auto first = tokens.begin() + static_cast<std::ptrdiff_t>(i);
  tokens.erase(first, first + (IsSeparator(tokens, i + 1) ? 2 : 1));
}

void RemoveDotNames(std::vector<std::u16string_view>& tokens) {
  for (std::size_t i = 0; i < tokens.size();) {
    if (tokens[i] == Dot) {
      EraseWithSeparator(tokens, i);
    } else {
      ++i;
    }
  }
}

// Removes one "name\.." pair (with the separator after it); false when there
// is none left.
bool RemoveOneNameDotDotPair(std::vector<std::u16string_view>& tokens) {
  for (std::size_t i = 0; i + 2 < tokens.size(); ++i) {
    if (IsName(tokens, i) && tokens[i] != DotDot && IsSeparator(tokens, i + 1) && tokens[i + 2] == DotDot) {
      tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(i), tokens.begin() + static_cast<std::ptrdiff_t>(i + 2));
      EraseWithSeparator(tokens, i);
      return true;
    }
  }
  return false;
}

}  // namespace

std::u16string NormalizePath(std::u16string_view path) {
  if (path.empty()) return {};
  PathParts parts = SplitPath(path);
  std::u16string normal(parts.rootName);
  std::replace(normal.begin(), normal.end(), u'/', u'\\');
  if (!parts.rootDirectory.empty()) normal += u'\\';

  std::vector<std::u16string_view> tokens = RelativeTokens(parts);
  RemoveDotNames(tokens);
  while (RemoveOneNameDotDotPair(tokens)) {
  }
  if (!parts.rootDirectory.empty()) {
    while (!tokens.empty() && tokens.front() == DotDot) EraseWithSeparator(tokens, 0);
  }
  if (tokens.size() >= 2 && tokens.back() == Separator && tokens[tokens.size() - 2] == DotDot) tokens.pop_back();

  for (std::u16string_view token : tokens) normal += token;
  return normal.empty() ? u"." : normal;
}

bool SamePath(std::u16string_view left, std::u16string_view right) {
  return EqualIgnoringAsciiCase(NormalizePath(left), NormalizePath(right));
}

}  // namespace ostrel
