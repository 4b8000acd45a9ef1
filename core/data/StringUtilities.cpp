// Escaping, unescaping and whitespace compaction of byte strings.
#include "core/data/StringUtilities.h"

namespace Quorvin {

void EscapeString(std::string_view input, std::string& output) {
    output.reserve(output.size() + input.size());
    for (const char c : input) {
        char escaped = 0;
        switch (c) {
        case '\t': escaped = 't'; break;
        case '\n': escaped = 'n'; break;
        case '\r': escaped = 'r'; break;
        case '"': escaped = '"'; break;
        case '\'': escaped = '\''; break;
        case '\\': escaped = '\\'; break;
        default: output.push_back(c); continue;
        }
        output.push_back('\\');
        output.push_back(escaped);
    }
}

void UnescapeString(std::string_view input, std::string& output) {
    output.reserve(output.size() + input.size());
    const size_t size = input.size();
    for (size_t i = 0; i < size; ++i) {
        const char c = input[i];
        if (c != '\\' || i + 1 == size) {
            output.push_back(c);
            continue;
        }
        switch (input[++i]) {
        case '"': output.push_back('"'); break;
        case '\'': output.push_back('\''); break;
        case '\\': output.push_back('\\'); break;
        case 'n': output.push_back('\n'); break;
        case 'r': output.push_back('\r'); break;
        case 't': output.push_back('\t'); break;
        default: break;  // an unknown escape is dropped with its backslash
        }
    }
}

std::string CompactWhitespace(std::string_view input) {
    std::string result;
    result.reserve(input.size());
    char remembered = 0;  // the whitespace byte last appended, 0 after any other byte
    const size_t size = input.size();
    for (size_t i = 0; i < size; ++i) {
        const char c = input[i];
        if (c == '\r') {
            // Always a line break of its own: it neither collapses nor resets the remembered byte.
            result.push_back('\n');
            continue;
        }
        char space;
        if (c == '\t') {
            if (i + 1 < size && input[i + 1] == '\n') {
                space = '\n';
                ++i;
            } else {
                space = ' ';
            }
        } else if (c == '\n' || c == ' ') {
            space = c;
        } else {
            remembered = 0;
            result.push_back(c);
            continue;
        }
        if (result.empty() || result.back() == ',' || space == remembered) {
            continue;
        }
        remembered = space;
        result.push_back(space);
    }
    result.shrink_to_fit();
    return result;
}

}  // namespace Quorvin
