#include "report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string shortestFloat(float value) {
    char text[32];
    for (int digits = 1; digits <= 9; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(value));
        if (std::strtof(text, nullptr) == value) break;
    }
    return text;
}

std::string jsonNumber(float value) { return std::isfinite(value) ? shortestFloat(value) : "null"; }

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string table(const std::vector<std::vector<std::string>>& rows,
                  const std::vector<bool>& right) {
    std::vector<std::size_t> width;
    for (const auto& row : rows)
        for (std::size_t c = 0; c < row.size(); ++c) {
            if (width.size() <= c) width.push_back(0);
            width[c] = std::max(width[c], row[c].size());
        }
    std::string out;
    for (const auto& row : rows) {
        out += ' ';
        for (std::size_t c = 0; c < row.size(); ++c) {
            const std::size_t pad = width[c] - row[c].size();
            const bool last = c + 1 == row.size();
            out += ' ';
            if (c < right.size() && right[c]) out.append(pad, ' ');
            out += row[c];
            if (!(c < right.size() && right[c]) && !last) out.append(pad, ' ');
            if (!last) out += ' ';
        }
        out += '\n';
    }
    return out;
}
