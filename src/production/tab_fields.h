#pragma once
// The files a station keeps (its spool, its journal) hold one record a line
// and one field a tab. A field's tabs, newlines and backslashes are escaped
// ("\t", "\n", "\\"), so that neither ever splits a record or a field.

#include <string>

namespace ostrel {

// The field with its tabs, newlines and backslashes escaped.
std::string escapedField(const std::string& field);
// The field as it was before escapedField(); false (and `out` unusable) for a
// backslash that ends the field or starts anything but the three escapes.
bool unescapedField(const std::string& field, std::string& out);

}  // namespace ostrel
