#include "production/tab_fields.h"

namespace ostrel {

std::string escapedField(const std::string& field) {
    std::string out;
    for (const char c : field) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

bool unescapedField(const std::string& field, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            out += field[i];
            continue;
        }
        if (++i == field.size()) return false;
        const char c = field[i];
        if (c != '\\' && c != 't' && c != 'n') return false;
        out += c == 't' ? '\t' : c == 'n' ? '\n' : '\\';
    }
    return true;
}

}  // namespace ostrel
