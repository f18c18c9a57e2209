// Text for people and for scripts: JSON strings and numbers, and floats as
// the shortest text that reads back as the same value.
#pragma once

#include <string>
#include <vector>

// A JSON string; bytes outside ASCII are read as Latin-1, so every byte a
// module wrote comes through.
std::string jsonString(const std::string& text);
// A JSON number as shortestFloat() writes it; null for a value that is not finite.
std::string jsonNumber(float value);
// The shortest decimal text that reads back as the same float: 0.1, not 0.100000001.
std::string shortestFloat(float value);
// The text without blanks at either end.
std::string trimmed(const std::string& text);

// Rows as columns of equal width, two blanks apart, each line indented by
// two blanks; a column marked in `right` is aligned to the right.
std::string table(const std::vector<std::vector<std::string>>& rows,
                  const std::vector<bool>& right);
