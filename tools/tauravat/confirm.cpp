#include "confirm.hpp"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <istream>
#include <ostream>

namespace tauravat::cli {

bool IsYes(std::string_view answer) {
  const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
  while (!answer.empty() && blank(answer.front())) answer.remove_prefix(1);
  while (!answer.empty() && blank(answer.back())) answer.remove_suffix(1);
  std::string word(answer);
  std::transform(word.begin(), word.end(), word.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return word == "y" || word == "yes";
}

bool AskYesNo(const std::string& question, std::istream& in, std::ostream& out) {
  out << question << " [y/N] " << std::flush;
  std::string answer;
  if (!std::getline(in, answer)) {
    out << '\n';
    return false;
  }
  return IsYes(answer);
}

bool InputIsTerminal() {
  return ::isatty(STDIN_FILENO) == 1;
}

}  // namespace tauravat::cli
